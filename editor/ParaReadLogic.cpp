#include "editor/ParaReadLogic.h"

#include "catalogue/StationRecord.h"
#include "paramdb/ParameterData.h"

namespace vm {

ParaReadLogic::ParaReadLogic(CommManager& comm, const StationRecord& record, Kind kind, CGroup* group,
                             CCustom* userGroup)
    : comm_(comm), record_(record)
{
    if (kind == Kind::Group && group) {
        for (const auto& item : group->items)
            targets_.push_back({item.get(), nullptr});
    } else if (kind == Kind::UserGroup && userGroup) {
        const bool loaded = record.paramData && record.paramData->IsLoaded();
        for (size_t i = 0; i < userGroup->Count(); ++i) {
            CCustom::Entry* entry = userGroup->EntryAt(i);
            targets_.push_back({loaded ? entry->Item() : nullptr, entry});
        }
    } else if (kind == Kind::All && record.paramData) {
        for (const auto& g : record.paramData->Groups())
            for (const auto& item : g->items)
                targets_.push_back({item.get(), nullptr});
    }
}

ParaReadLogic::~ParaReadLogic()
{
    comm_.DropRequests(this);
}

void ParaReadLogic::Start()
{
    done_ = 0;
    Next();
}

void ParaReadLogic::Next()
{
    // Entries without a parameter count as done.
    while (done_ < targets_.size() && !targets_[done_].item)
        ++done_;
    if (done_ >= targets_.size())
        return Finish();
    current_ = done_;
    const CItem* item = targets_[done_].item;
    groupText_ = "[" + (item->Group() ? item->Group()->name : std::string()) + " Parameter Reading...";
    itemText_ = std::to_string(item->address & 0xFF) + " : " + item->displayName;
    comm_.QueueRead(record_.station, item->address, this);
    if (onChanged)
        onChanged();
}

void ParaReadLogic::OnCommReply(int station, const CommReply& reply)
{
    if (finished_ || !current_ || !IsFinalError(reply.error) || reply.command != 'R')
        return;
    Target& t = targets_[*current_];
    if (station != record_.station || static_cast<uint16_t>(reply.addresses[0]) != t.item->address)
        return;
    current_.reset();
    ++done_;
    if (reply.error == kNoError) {
        const uint32_t value = reply.values[0];
        if (t.entry) {
            t.entry->valueStatus = 1;
            if (t.entry->value != value && t.entry->owner)
                t.entry->owner->SetModified(true);
            t.entry->value = value;
        } else {
            t.item->valueStatus = 1;
            t.item->value = value;
        }
        return Next();
    }
    // Failed: the value is kept (it is not the drive's, and the mark says so).
    if (t.entry)
        t.entry->valueStatus = 2;
    else
        t.item->valueStatus = 2;
    if (reply.error == kGiveUp) {
        errorText_ = CommManager::ErrorText(reply.lastError);
        failedGroup_ = t.item->Group() ? t.item->Group()->name : std::string();
        failedItem_ = itemText_;
        return Finish();
    }
    Next();  // the drive refused this one parameter
}

std::string ParaReadLogic::FailureMessage() const
{
    if (errorText_.empty())
        return {};
    // done_ counts the failed one too.
    return "[" + failedGroup_ + "] " + failedItem_ + "\nCommunication error is occured\n\n*** " + errorText_ +
           " ***\n\nThe reading stopped here: " + std::to_string(done_ - 1) + " of " +
           std::to_string(targets_.size()) + " parameters were read and are shown.";
}

void ParaReadLogic::Cancel()
{
    if (finished_)
        return;
    cancelled_ = true;
    comm_.DropRequests(this);
    current_.reset();
    Finish();
}

void ParaReadLogic::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    if (onChanged)
        onChanged();
    if (onFinished)
        onFinished();
}

}  // namespace vm
