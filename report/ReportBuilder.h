#pragma once
// Writes the parameter report into a sheet: the header block, then a section per parameter group
// or one user-group section, from what the owning editor holds at the moment of the build.

#include "report/ReportHeaderForm.h"
#include "report/ReportSheet.h"
#include "report/ReportSource.h"

#include <QDateTime>

namespace vm {

class CCustom;
class CGroup;
class CItem;
class ToolHost;

class ReportBuilder {
public:
    static const QColor& LabelFill();
    // Text colour of a parameter row: not read grey, failed red, changed from default blue.
    static QColor StatusInk(const CItem& item);

    ReportBuilder(ToolHost& host, const ReportSource& source) : host_(host), source_(source) {}

    // An empty sheet when the editor has no loaded data or the user group is no longer open;
    // only the header when the group is gone.
    ReportSheet Build(const ReportNode& node, const ReportHeaderForm& header, const QDateTime& now) const;

    // The three header texts again (after the header dialog); nothing on an empty sheet.
    static void RefreshHeader(ReportSheet& sheet, const ReportHeaderForm& header);
    // The device name again, for an online report only.
    void RefreshDeviceName(ReportSheet& sheet) const;

    static constexpr const char* kDateFormat = "yyyy.MM.dd  HH:mm:ss";
    static constexpr int kFirstSectionRow = 8;

private:
    void WriteHeader(ReportSheet& sheet, const ReportHeaderForm& header, const QDateTime& now) const;
    int WriteGroup(ReportSheet& sheet, int row, const CGroup& group) const;
    int WriteUserGroup(ReportSheet& sheet, int row, const CCustom& custom) const;
    QString DeviceName() const;

    ToolHost& host_;
    const ReportSource& source_;
};

}  // namespace vm
