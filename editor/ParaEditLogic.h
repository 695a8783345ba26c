#pragma once
// What the online edit dialogs (value and bit) decide, without widgets: the read on opening, the
// run lock and the range check before a write, the undo record of each successful change with
// chained old values, and whether closing must ask to save. The dialog only shows what this says.
//
// Use from a dialog: construct with the station's record, the item (or a user group entry), then
// Open(); on Write pressed call Write(value) and act on its result; show the value on onValue;
// at close ask when NeedsSaveQuestion(controlValue) and, on Yes, Write and wait for ReplyHandled()
// at most CloseWaitMs().

#include "comm/CommManager.h"
#include "paramdb/UserGroup.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vm {

class CItem;
struct StationRecord;

namespace edit_text {
inline constexpr const char* kRunLocked = "Can't modify parameter in inverter run status";
inline constexpr const char* kNoItem =
    "The error is occured because of inverter disconnection or no data file";
inline constexpr const char* kSaveQuestion = "Parameter data isn't save to inverter\nDo you want to save ?";
inline constexpr const char* kGraphWatch =
    "Parameters can't be read or written while the graph monitor watches";
}  // namespace edit_text

// One change the user can undo: the value before (old) and after (new) it.
struct EditUndoRecord {
    uint16_t address = 0;
    uint32_t oldValue = 0;
    uint32_t newValue = 0;
    bool entryMode = false;
    CCustom::Entry* entry = nullptr;
};

// The row the edit loop opens next for a dialog's move code (1 next, 2 previous), wrapping at the
// ends; -1 when the loop ends (no move, or no rows).
int NextEditRow(int row, int rowCount, int moveCode);

class ParaEditLogic : public CommClient {
public:
    enum class WriteResult { Sent, RunLocked, RangeError, Refused };

    // item: the parameter (item mode), or null with entry set (entry mode; the item is found by
    // the entry's address).
    ParaEditLogic(CommManager& comm, const StationRecord& record, CItem* item,
                  CCustom::Entry* entry = nullptr);
    ~ParaEditLogic() override;

    // Entry mode shows the entry's value at once; item mode reads the drive.
    void Open();
    void Read();
    // value: entry-field units for numbers (rpm under RPM display), the position of a choice or
    // the bit pattern of a bit field. RunLocked and RangeError read the value again.
    WriteResult Write(double value);

    // Closing: item mode with a value shown that the user changed and did not write.
    bool NeedsSaveQuestion(std::optional<uint32_t> controlRaw) const;
    // The longest a reply can take: every attempt timing out.
    int CloseWaitMs() const;

    CItem* Item() const { return item_; }
    bool EntryMode() const { return entry_ != nullptr; }
    bool ControlsEnabled() const { return !busy_ && item_ != nullptr; }
    bool WriteEnabled() const;
    bool HasValue() const { return hasValue_; }
    // The value last put into the controls (raw).
    uint32_t ShownValue() const { return shown_; }
    uint32_t Baseline() const { return baseline_; }
    const std::string& StatusText() const { return status_; }
    bool ReplyHandled() const { return replyHandled_; }
    void ClearReplyHandled() { replyHandled_ = false; }
    // Graph watch mode: no reading, no writing.
    void SetSuspended(bool on) { suspended_ = on; }
    bool Suspended() const { return suspended_; }
    // Raw value of an entry-field number, nothing when it fails the range check.
    std::optional<uint32_t> RawOf(double value) const;

    std::function<void(uint32_t raw)> onValue;  // show this value
    std::function<void()> onStateChanged;       // enable/disable, status line
    std::function<void(const EditUndoRecord&)> pushUndo;

    void OnCommReply(int station, const CommReply& reply) override;

private:
    bool RunLocked() const;
    void SetBusy(bool busy);

    CommManager& comm_;
    const StationRecord& record_;
    CItem* item_;
    CCustom::Entry* entry_;
    uint32_t baseline_ = 0;
    bool firstRead_ = true;
    uint32_t shown_ = 0;
    bool hasValue_ = false;
    bool busy_ = false;
    bool suspended_ = false;
    bool replyHandled_ = false;
    char pending_ = 0;
    uint16_t pendingAddress_ = 0;
    uint32_t pendingValue_ = 0;
    std::string status_;
};

}  // namespace vm
