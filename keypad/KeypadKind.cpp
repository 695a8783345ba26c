#include "keypad/KeypadKind.h"

#include "frames/ToolFrameList.h"
#include "keypad/KPDFrame.h"

namespace vm {

void RegisterKeypadKind(CToolFrameList& frames)
{
    frames.RegisterKind(kKindKeypad, [](ToolHost& host, int station) -> CFloatFrame* {
        return new CKPDFrame(host, station);
    });
}

}  // namespace vm
