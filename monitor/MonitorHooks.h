#pragma once
// The seams between the main window's network logic and the parts that plug into it: the fault
// history and the tool windows. The main window runs without them until they are installed.

#include "catalogue/StationRecord.h"

#include <QString>

namespace vm {

// The fault history: one record per new fault of a station.
class FaultHistoryHook {
public:
    virtual ~FaultHistoryHook() = default;
    virtual void AddFault(const StationRecord& record, const QString& deviceName) = 0;
};

// Notifications the main window posts to the open tool windows.
enum class ToolNotice { kInvConnected, kInvDisconnected, kInvNameChanged, kGraphWatchChanged };

// Frame kinds of the tool windows.
enum ToolKind : int { kKindKeypad = 131, kKindParameterEditor = 132, kKindGraphMonitor = 133 };

// The list of open tool windows.
class ToolFrameHost {
public:
    virtual ~ToolFrameHost() = default;
    // Delivered later (posted), never from inside the caller.
    virtual void Broadcast(ToolNotice notice, int station) = 0;
    // Opens the kind's window for the station, or brings the existing one to the front.
    virtual void OpenOrActivate(int kind, int station) = 0;
    // Lowest free offline editor slot 256-287, or -1.
    virtual int FreeOfflineStation() const = 0;
    virtual bool AllCanClose() const = 0;
    virtual void CloseAll() = 0;
};

}  // namespace vm
