#pragma once
// What a tool window (information sheet, keypad, parameter editor, graph monitor, report) needs
// from the main window. The main window implements it; tests use a small fake. Tool windows know
// their station only by key and look its record up here whenever they need it.

#include "catalogue/StationRecord.h"

#include <QString>

class QWidget;

namespace vm {

class CommManager;
class CToolFrameList;
class DataFileVersions;
class MessageSink;
struct ProgramFolders;

class ToolHost {
public:
    virtual ~ToolHost() = default;

    // Records 0-255 are stations on the line, 256-287 the offline editor slots.
    virtual StationRecord& Record(int station) = 0;
    virtual QString DeviceName(int station) const = 0;
    // Stores a station's device name (saved with the settings).
    virtual void SetDeviceName(int station, const QString& name) = 0;
    // Called after SetDeviceName: the list row and the tool windows follow the name.
    virtual void DeviceNameChanged(int station) = 0;

    virtual CommManager& Comm() = 0;

    // The program-wide graph watch flag; only the graph monitor switches it, and every window is
    // told through the frame list.
    virtual bool GraphWatch() const = 0;
    virtual void SetGraphWatch(bool on) = 0;

    // Data file versions found below the Data folder, and the program's folders.
    virtual const DataFileVersions& Versions() const = 0;
    virtual const ProgramFolders& Folders() const = 0;

    // Messages the user must see; message boxes in the program, a log in tests.
    virtual MessageSink& Messages() = 0;
    // The same messages shown once the caller has returned to the event loop: for those raised
    // inside communication callbacks, and for a tool window that is going.
    virtual MessageSink& LaterMessages() { return Messages(); }
    // True when messages are boxes on screen: a tool window then shows its own over itself, so
    // that it can end them when it must close.
    virtual bool MessageBoxes() const { return false; }

    virtual CToolFrameList& Frames() = 0;
    // The main window, as a parent for dialogs that belong to no tool window.
    virtual QWidget* MainWindow() = 0;
};

}  // namespace vm
