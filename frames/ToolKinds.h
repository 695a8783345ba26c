#pragma once
// Frame kinds of the tool windows and the notices the main window sends them. A kind numbers the
// frame's resources and is the first half of a frame's key, e.g. placement "132-3".

namespace vm {

enum ToolKind : int {
    kKindKeypad = 131,
    kKindParameterEditor = 132,
    kKindGraphMonitor = 133,
    kKindReport = 134,
};

// The graph monitor's station key: there is one graph monitor at a time.
inline constexpr int kGraphMonitorKey = 1;

enum class ToolNotice { InvConnected, InvDisconnected, InvNameChanged, GraphWatchChanged };

}  // namespace vm
