#include "scope/ScopeKind.h"

#include "frames/ToolFrameList.h"
#include "scope/ScopeFrame.h"

namespace vm {

void RegisterScopeKind(CToolFrameList& list)
{
    list.RegisterKind(kKindGraphMonitor, [](ToolHost& host, int station) -> CFloatFrame* {
        if (station != kGraphMonitorKey)
            return nullptr;
        return new scope::CScopeFrame(host);
    });
}

}  // namespace vm
