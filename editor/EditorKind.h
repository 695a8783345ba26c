#pragma once
// Registers the parameter editor (kind 132) with the main window's frame list: the mode setup
// dialog runs first, and "&Close" opens nothing.

#include "editor/ParaModeLogic.h"

namespace vm {

class CToolFrameList;

void RegisterEditorKind(CToolFrameList& frames);
// The same with another way of running the mode setup (tests answer it without a dialog).
void RegisterEditorKind(CToolFrameList& frames, ModeRunner runner);

}  // namespace vm
