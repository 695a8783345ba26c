#include "editor/ParaEditLogic.h"

#include "catalogue/Registers.h"
#include "catalogue/StationRecord.h"
#include "paramdb/ParameterData.h"

namespace vm {

int NextEditRow(int row, int rowCount, int moveCode)
{
    if (rowCount <= 0 || (moveCode != 1 && moveCode != 2))
        return -1;
    const int step = moveCode == 1 ? 1 : -1;
    return ((row + step) % rowCount + rowCount) % rowCount;
}

ParaEditLogic::ParaEditLogic(CommManager& comm, const StationRecord& record, CItem* item,
                             CCustom::Entry* entry)
    : comm_(comm), record_(record), item_(entry ? entry->Item() : item), entry_(entry)
{}

ParaEditLogic::~ParaEditLogic()
{
    comm_.DropRequests(this);
}

void ParaEditLogic::Open()
{
    if (!item_) {
        status_ = edit_text::kNoItem;
        if (onStateChanged)
            onStateChanged();
        return;
    }
    if (entry_) {
        baseline_ = entry_->value;
        firstRead_ = false;
        shown_ = entry_->value;
        hasValue_ = true;
        if (onValue)
            onValue(shown_);
        if (onStateChanged)
            onStateChanged();
        return;
    }
    Read();
}

void ParaEditLogic::Read()
{
    if (!item_ || suspended_)
        return;
    pending_ = 'R';
    pendingAddress_ = item_->address;
    SetBusy(true);
    comm_.QueueRead(record_.station, item_->address, this);
}

bool ParaEditLogic::WriteEnabled() const
{
    return ControlsEnabled() && item_->writable && !suspended_;
}

bool ParaEditLogic::RunLocked() const
{
    return !(record_.status & reg::kStatusStop) && !item_->runWritable;
}

std::optional<uint32_t> ParaEditLogic::RawOf(double value) const
{
    if (!item_)
        return std::nullopt;
    if (item_->IsChoice() || (item_->Type() && item_->Type()->IsBitField())) {
        if (!item_->InRange(value))
            return std::nullopt;
        return static_cast<uint32_t>(value);
    }
    return item_->AcceptEntry(value);
}

ParaEditLogic::WriteResult ParaEditLogic::Write(double value)
{
    if (!item_ || busy_ || suspended_ || !item_->writable)
        return WriteResult::Refused;
    if (RunLocked()) {
        Read();
        return WriteResult::RunLocked;
    }
    const std::optional<uint32_t> raw = RawOf(value);
    if (!raw) {
        status_ = std::string("*** ") + CommManager::ErrorText(kDataRangeError) + " ***";
        Read();
        return WriteResult::RangeError;
    }
    status_.clear();
    if (entry_ && *raw != entry_->value) {
        entry_->value = *raw;
        if (entry_->owner)
            entry_->owner->SetModified(true);
    }
    // The item's value changes when the drive has taken it, not before.
    pending_ = 'W';
    pendingAddress_ = item_->address;
    pendingValue_ = *raw;
    SetBusy(true);
    comm_.QueueWrite(record_.station, item_->address, *raw, this);
    return WriteResult::Sent;
}

void ParaEditLogic::OnCommReply(int station, const CommReply& reply)
{
    if (!pending_ || station != record_.station || reply.command != pending_ ||
        static_cast<uint16_t>(reply.addresses[0]) != pendingAddress_ || !IsFinalError(reply.error))
        return;
    const char command = pending_;
    pending_ = 0;
    if (reply.error == kNoError) {
        const uint32_t value = command == 'W' ? pendingValue_ : reply.values[0];
        if (entry_) {
            entry_->valueStatus = 1;
            if (entry_->value != value && entry_->owner)
                entry_->owner->SetModified(true);
            entry_->value = value;
        } else {
            item_->valueStatus = 1;
            item_->value = value;
        }
        if (command == 'W' && value != baseline_) {
            if (pushUndo)
                pushUndo({item_->address, baseline_, value, entry_ != nullptr, entry_});
            baseline_ = value;
        }
        if (command == 'R' && firstRead_) {
            firstRead_ = false;
            baseline_ = value;
        }
        shown_ = value;
        hasValue_ = true;
        if (onValue)
            onValue(value);
        replyHandled_ = true;
        return SetBusy(false);
    }
    status_ = std::string("*** ") +
              CommManager::ErrorText(reply.error == kGiveUp ? reply.lastError : reply.error) + " ***";
    if (command == 'W') {
        const std::string kept = status_;
        Read();
        status_ = kept;
        return;
    }
    // The value in the item is not the drive's any more; it is kept, marked failed.
    if (entry_)
        entry_->valueStatus = 2;
    else
        item_->valueStatus = 2;
    hasValue_ = false;
    replyHandled_ = true;
    SetBusy(false);
}

bool ParaEditLogic::NeedsSaveQuestion(std::optional<uint32_t> controlRaw) const
{
    if (entry_ || !ControlsEnabled() || !hasValue_ || !item_->writable)
        return false;
    return !controlRaw || *controlRaw != shown_;
}

int ParaEditLogic::CloseWaitMs() const
{
    const int ticks = comm_.TimeoutTicks() > 0 ? comm_.TimeoutTicks() : 1;
    return (comm_.RetryLimit() + 1) * ticks * 30 + 100;
}

void ParaEditLogic::SetBusy(bool busy)
{
    busy_ = busy;
    if (onStateChanged)
        onStateChanged();
}

}  // namespace vm
