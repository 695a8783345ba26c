#pragma once
// The application: command line, single instance, folders, the main window's life.

#include "base/Result.h"
#include "monitor/MainFrame.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vm {

// Options of a start: "--port DEVICE" uses that port for this run only; "--scan IDS" (e.g.
// "1-5,9") scans those IDs at start instead of the stations connected last time. Unknown
// options and bad ID lists fail with the text to print (and exit code 2).
Result<StartOptions> ParseStartOptions(const QStringList& arguments);

// Station IDs from "1-5,9"; nothing for an empty or malformed list or IDs outside 1-255.
std::optional<std::vector<int>> ParseIdList(const QString& text);

// Registers the program's tool window kinds with the main window's frame list.
using ToolKindRegistration = std::function<void(CToolFrameList&)>;

// Runs the program: returns the exit code.
int RunVarimon(int argc, char** argv, const ToolKindRegistration& registerTools = {});

}  // namespace vm
