#include "editor/OnlineUndoWriter.h"

#include "catalogue/Registers.h"
#include "catalogue/StationRecord.h"
#include "paramdb/ParameterData.h"

#include <utility>

namespace vm {

OnlineUndoWriter::OnlineUndoWriter(CommManager& comm, const StationRecord& record)
    : comm_(comm), station_(record)
{}

OnlineUndoWriter::~OnlineUndoWriter()
{
    comm_.DropRequests(this);
}

OnlineUndoWriter::Result OnlineUndoWriter::Write(const EditUndoRecord& record, Direction direction,
                                                 bool graphWatch)
{
    if (pending_)
        return Result::Busy;
    if (graphWatch)
        return Result::GraphWatch;
    const ParameterData* data = station_.paramData.get();
    const CItem* item = data && data->IsLoaded() ? data->FindItem(record.address) : nullptr;
    if (!item || (record.entryMode && !record.entry))
        return Result::NoItem;
    // The same lock as the edit dialog's.
    if (!(station_.status & reg::kStatusStop) && !item->runWritable)
        return Result::RunLocked;
    pending_ = PendingWrite{record, direction};
    comm_.QueueWrite(station_.station, record.address, record.oldValue, this);
    return Result::Sent;
}

void OnlineUndoWriter::OnCommReply(int station, const CommReply& reply)
{
    if (!pending_ || station != station_.station || reply.command != 'W' ||
        static_cast<uint16_t>(reply.addresses[0]) != pending_->record.address || !IsFinalError(reply.error))
        return;
    PendingWrite done = *pending_;
    pending_.reset();
    if (done.forgotten) {
        if (onForgotten)
            onForgotten();
        return;
    }
    if (reply.error != kNoError) {
        if (onFailed)
            onFailed(done.record, done.direction,
                     CommManager::ErrorText(reply.error == kGiveUp ? reply.lastError : reply.error));
        return;
    }
    const uint32_t value = done.record.oldValue;
    if (done.record.entryMode) {
        done.record.entry->value = value;
        done.record.entry->valueStatus = 1;
    } else if (CItem* item =
                   station_.paramData ? station_.paramData->FindItem(done.record.address) : nullptr) {
        item->value = value;
        item->valueStatus = 1;
    }
    std::swap(done.record.oldValue, done.record.newValue);
    if (onDone)
        onDone(done.record, done.direction);
}

void OnlineUndoWriter::ForgetEntry(const CCustom::Entry* entry)
{
    if (pending_ && pending_->record.entryMode && pending_->record.entry == entry) {
        pending_->forgotten = true;
        pending_->record.entry = nullptr;
    }
}

}  // namespace vm
