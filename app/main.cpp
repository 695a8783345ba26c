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

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kHelp =
    "Usage: varimon [--port DEVICE] [--scan IDS]\n"
    "Commissions and supervises variable-frequency inverters on one RS-485 line.\n"
    "\n"
    "Options:\n"
    "  --port DEVICE  use this serial port for this run only (e.g. /dev/ttyUSB0)\n"
    "  --scan IDS     scan these station IDs at start (e.g. 1-5,9) instead of the\n"
    "                 stations connected last time\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n"
    "\n"
    "Environment:\n"
    "  VARIMON_CONFIG_DIR  folder of the settings file instead of ~/.config\n";

bool Asked(int argc, char** argv, const char* shortName, const char* longName)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], shortName) == 0 || std::strcmp(argv[i], longName) == 0)
            return true;
    }
    return false;
}

}  // namespace

// The tool windows are registered here, so that the main window's library knows none of them.
// --help and --version are answered before any window or display is touched.
int main(int argc, char** argv)
{
    if (Asked(argc, argv, "-h", "--help")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (Asked(argc, argv, "-v", "--version")) {
        std::printf("varimon %s\n", VARIMON_VERSION);
        return 0;
    }
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
