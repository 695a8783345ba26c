#pragma once
// What the reading dialog does, without widgets: reads a group's items, a user group's entries or
// every item, one request at a time, with the progress and the texts the dialog shows. A read
// that fails after every attempt ends the reading; the value stays what it was, marked failed.
// Cancel withdraws the request still queued, so its reply cannot answer into another reading.

#include "comm/CommManager.h"
#include "paramdb/UserGroup.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vm {

class CGroup;
class CItem;
struct StationRecord;

class ParaReadLogic : public CommClient {
public:
    enum class Kind { Group = 0, UserGroup = 1, All = 2 };

    // group for Kind::Group, userGroup for Kind::UserGroup; All reads the record's data.
    ParaReadLogic(CommManager& comm, const StationRecord& record, Kind kind, CGroup* group = nullptr,
                  CCustom* userGroup = nullptr);
    ~ParaReadLogic() override;

    void Start();
    void Cancel();

    bool Finished() const { return finished_; }
    bool Cancelled() const { return cancelled_; }
    int Total() const { return static_cast<int>(targets_.size()); }
    int Done() const { return static_cast<int>(done_); }
    int Percent() const { return targets_.empty() ? 100 : static_cast<int>(done_ * 100 / targets_.size()); }
    // "[%s Parameter Reading..." and "%d : %s".
    const std::string& GroupText() const { return groupText_; }
    const std::string& ItemText() const { return itemText_; }
    // The error that ended the reading, empty when it ran through.
    const std::string& ErrorText() const { return errorText_; }
    // After such an error: what failed and how far the reading got, for the user; the values
    // read before it are kept.
    std::string FailureMessage() const;

    std::function<void()> onChanged;
    // The dialog closes.
    std::function<void()> onFinished;

    void OnCommReply(int station, const CommReply& reply) override;

private:
    struct Target {
        CItem* item;
        CCustom::Entry* entry;
    };
    void Next();
    void Finish();

    CommManager& comm_;
    const StationRecord& record_;
    std::vector<Target> targets_;
    size_t done_ = 0;
    std::optional<size_t> current_;
    bool finished_ = false;
    bool cancelled_ = false;
    std::string groupText_;
    std::string itemText_;
    std::string errorText_;
    std::string failedGroup_;
    std::string failedItem_;
};

}  // namespace vm
