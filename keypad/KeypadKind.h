#pragma once
// Makes the keypad (kind 131) one of the tool windows the main window can open.

namespace vm {

class CToolFrameList;

void RegisterKeypadKind(CToolFrameList& frames);

}  // namespace vm
