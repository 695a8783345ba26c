#pragma once
// Registers the parameter editor (kind 132) with the main window's frame list: the mode setup
// dialog runs first, and "&Close" opens nothing.

#include "editor/ParaFrame.h"

namespace vm {

class CToolFrameList;

// The program's parts: the online dialogs, the report window and its header dialog, with the
// given way of running the mode setup (tests answer it without a dialog).
ParaFrameParts EditorParts(ModeRunner runner);

void RegisterEditorKind(CToolFrameList& frames);
void RegisterEditorKind(CToolFrameList& frames, ModeRunner runner);
// With other parts (tests leave some out or put a fake in).
void RegisterEditorKind(CToolFrameList& frames, ParaFrameParts parts);

}  // namespace vm
