#pragma once
// The write behind an online Undo or Redo: the record's old value goes to the drive and the list
// shows it only when the drive has taken it. One write at a time: Undo and Redo stay disabled
// while it is pending. The frame pops the record, calls Write, and on onDone pushes the exchanged
// record onto the other stack; on onFailed it pushes the record back where it came from and shows
// the error (after the reply callback has returned).

#include "comm/CommManager.h"
#include "editor/ParaEditLogic.h"

#include <functional>
#include <optional>
#include <string>

namespace vm {

class OnlineUndoWriter : public CommClient {
public:
    enum class Direction { Undo, Redo };
    // NoItem: nothing to write (entry's group closed, no data); the record moves as usual.
    enum class Result { Sent, Busy, RunLocked, GraphWatch, NoItem };

    OnlineUndoWriter(CommManager& comm, const StationRecord& record);
    ~OnlineUndoWriter() override;

    // graphWatch: the graph monitor holds the line.
    Result Write(const EditUndoRecord& record, Direction direction, bool graphWatch);
    bool Pending() const { return pending_.has_value(); }
    // For the frame's command states.
    bool CanUndoRedo() const { return !Pending(); }
    // A user-group entry is being deleted: a pending write for it still ends, but touches the
    // entry no more and reports through onForgotten instead of moving its record.
    void ForgetEntry(const CCustom::Entry* entry);

    // Success: the record with old and new exchanged, ready for the other stack.
    std::function<void(const EditUndoRecord&, Direction)> onDone;
    // Final failure: the record as it was, and the error text.
    std::function<void(const EditUndoRecord&, Direction, const std::string&)> onFailed;
    // The write of a forgotten entry has ended; nothing is left to move.
    std::function<void()> onForgotten;

    void OnCommReply(int station, const CommReply& reply) override;

private:
    struct PendingWrite {
        EditUndoRecord record;
        Direction direction;
        bool forgotten = false;
    };
    CommManager& comm_;
    const StationRecord& station_;
    std::optional<PendingWrite> pending_;
};

}  // namespace vm
