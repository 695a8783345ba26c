#pragma once
// The editor's undo and redo stacks: eight records each, the oldest dropped first. A new edit
// goes onto the undo stack and leaves the redo stack as it is, so an undone value stays redoable.

#include "paramdb/UserGroup.h"

#include <cstdint>
#include <deque>
#include <optional>

namespace vm {

struct UndoRecord {
    uint16_t address = 0;
    uint32_t oldValue = 0;
    uint32_t newValue = 0;
    bool entryMode = false;
    CCustom::Entry* entry = nullptr;  // entry mode only
};

class ParaUndoStacks {
public:
    static constexpr size_t kDepth = 8;

    void PushUndo(const UndoRecord& r) { Push(undo_, r); }
    void PushRedo(const UndoRecord& r) { Push(redo_, r); }
    std::optional<UndoRecord> PopUndo() { return Pop(undo_); }
    std::optional<UndoRecord> PopRedo() { return Pop(redo_); }
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    size_t UndoCount() const { return undo_.size(); }
    size_t RedoCount() const { return redo_.size(); }

    // Forgets the records of an entry that is being deleted.
    void DiscardEntry(const CCustom::Entry* entry);
    void DiscardGroup(const CCustom& group);
    void Clear()
    {
        undo_.clear();
        redo_.clear();
    }

private:
    static void Push(std::deque<UndoRecord>& s, const UndoRecord& r)
    {
        s.push_back(r);
        if (s.size() > kDepth)
            s.pop_front();
    }
    static std::optional<UndoRecord> Pop(std::deque<UndoRecord>& s)
    {
        if (s.empty())
            return std::nullopt;
        UndoRecord r = s.back();
        s.pop_back();
        return r;
    }

    std::deque<UndoRecord> undo_;
    std::deque<UndoRecord> redo_;
};

}  // namespace vm
