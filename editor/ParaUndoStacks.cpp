#include "editor/ParaUndoStacks.h"

#include <algorithm>

namespace vm {

void ParaUndoStacks::DiscardEntry(const CCustom::Entry* entry)
{
    const auto of = [entry](const UndoRecord& r) { return r.entryMode && r.entry == entry; };
    undo_.erase(std::remove_if(undo_.begin(), undo_.end(), of), undo_.end());
    redo_.erase(std::remove_if(redo_.begin(), redo_.end(), of), redo_.end());
}

void ParaUndoStacks::DiscardGroup(const CCustom& group)
{
    for (size_t i = group.Count(); i-- > 0;)
        DiscardEntry(group.EntryAt(i));
}

}  // namespace vm
