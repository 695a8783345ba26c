#include "monitor/Application.h"

#ifdef VARIMON_HAVE_KEYPAD
#include "keypad/KeypadKind.h"
#endif
#ifdef VARIMON_HAVE_EDITOR
#include "editor/EditorKind.h"
#endif
#ifdef VARIMON_HAVE_SCOPE
#include "scope/ScopeKind.h"
#endif

// The tool windows are registered here, so that the main window's library knows none of them.
int main(int argc, char** argv)
{
    return vm::RunVarimon(argc, argv, [](vm::CToolFrameList& frames) {
#ifdef VARIMON_HAVE_KEYPAD
        vm::RegisterKeypadKind(frames);
#endif
#ifdef VARIMON_HAVE_EDITOR
        vm::RegisterEditorKind(frames);
#endif
#ifdef VARIMON_HAVE_SCOPE
        vm::RegisterScopeKind(frames);
#endif
        (void)frames;
    });
}
