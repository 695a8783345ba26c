#pragma once
// The online half of a parameter editor: reading from the drive, the edit dialogs, transfers and
// the writes behind an online undo. The editor frame calls it when it has one; an offline editor,
// or an online editor without it, leaves these commands disabled.

#include "editor/ParaNode.h"
#include "editor/ParaUndoStacks.h"

namespace vm {

class ParaOnlineSide {
public:
    virtual ~ParaOnlineSide() = default;
    // Reads the node's parameters (reading dialog); a running read is cancelled first.
    virtual void ReadNode(const ParaNode& node) = 0;
    virtual void ReadAllGroups() = 0;
    virtual void CancelRead() = 0;
    // The edit dialog loop, starting at a row of the list.
    virtual void EditRow(int row) = 0;
    virtual void StopEditing() = 0;
    // 0 upload, 1 download, 2 compare.
    virtual void Transfer(int operation) = 0;
    // Online Undo/Redo: the top record's old value goes to the drive; the record moves to the
    // other stack and the list's value changes only on the reply. False when nothing was sent.
    virtual bool Undo() = 0;
    virtual bool Redo() = 0;
    // A write is on its way: Undo and Redo stay disabled.
    virtual bool UndoPending() const = 0;
    // A user-group entry is about to be deleted.
    virtual void EntryGone(const CCustom::Entry* entry) = 0;
};

}  // namespace vm
