#pragma once
// Registers the graph monitor (kind 133) with the program's frame list.

namespace vm {

class CToolFrameList;

void RegisterScopeKind(CToolFrameList& list);

}  // namespace vm
