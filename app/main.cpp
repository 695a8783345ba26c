#include "monitor/Application.h"

// The tool windows are registered here, so that the main window's library knows none of them.
int main(int argc, char** argv)
{
    return vm::RunVarimon(argc, argv, [](vm::CToolFrameList& frames) {
        (void)frames;
    });
}
