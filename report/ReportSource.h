#pragma once
// What a parameter report reads from the parameter editor that owns it. The report keeps no data
// of its own: every build asks its editor again, so the editor library depends on this one and
// never the reverse.

#include <memory>
#include <string>

namespace vm {

class CCustom;
class ParameterData;

// The tree node a report is made for.
enum class ReportNodeKind : int { Group = 0, UserGroup = 1, AllGroups = 2 };

struct ReportNode {
    ReportNodeKind kind = ReportNodeKind::AllGroups;
    std::string name;  // group or user group name; empty for all groups
};

class ReportSource {
public:
    virtual ~ReportSource() = default;
    // The editor's station key (1-255 online, 256-287 offline slot).
    virtual int ReportStation() const = 0;
    virtual bool ReportOnline() const = 0;
    // The editor's parameter data; null or not loaded gives an empty sheet.
    virtual std::shared_ptr<ParameterData> ReportData() const = 0;
    // The editor's open user group of that name, or nothing when none is open.
    virtual const CCustom* ReportUserGroup(const std::string& name) const = 0;
    // The report window closed: the editor forgets it and comes to the top.
    virtual void ReportClosed() = 0;
};

}  // namespace vm
