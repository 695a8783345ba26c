#pragma once
// The base of every tool window (keypad, parameter editor, graph monitor): a top-level frame with
// its own menu, tool and status bars, keyed by (kind, station) in the main window's frame list.
// The list opens it, places it, delivers the main window's notices to it and frees it; a frame
// closing itself gives its key back through the list.

#include "frames/RecentFileList.h"
#include "frames/ToolKinds.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

class QAction;
class QDialog;
class QMenu;

namespace vm {

class CToolFrameList;
class ToolHost;

class CFloatFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kCmdExit = 57665;
    static constexpr int kCmdRecentFirst = 57616;  // recent-file entries 1-16

    CFloatFrame(ToolHost& host, int kind, int station);
    ~CFloatFrame() override;

    int Kind() const { return kind_; }
    // 1-255 online, 256-287 an offline editor slot, 1 for the graph monitor.
    int Station() const { return station_; }
    bool Offline() const { return station_ >= 256; }
    ToolHost& Host() const { return host_; }
    CToolFrameList* FrameList() const { return list_; }

    // Runs once the list has placed the frame, before it is shown.
    virtual void InitialUpdate() {}

    // False keeps the main window open; the parameter editor says no while a dialog is open.
    virtual bool CanCloseFrame() { return true; }

    // Recent files; a count of 0 creates no list.
    void CreateRecentFileList(const QString& section, int count);
    RecentFileList* RecentFiles() const { return recent_.get(); }
    void AddRecentFile(const QString& path);
    void SaveRecentFiles();
    // The derived frame opens the file; false removes the entry from the list.
    virtual bool OpenRecentFile(const QString& path) { return false; }
    // Called by the recent-file menu entries.
    void OpenRecentEntry(int index);
    // Fills a menu's recent-file section (before `before`) each time the menu opens.
    void AttachRecentFileMenu(QMenu* menu, QAction* before);

    // "E&xit": closes this frame only.
    QAction* ExitAction();

    // The main window's notices, delivered later (queued) and only while the frame is listed.
    // A frame ignores notices of other stations except graph watch changes.
    void Notify(ToolNotice notice, int station);

    // Closes every modal dialog the frame has open (their exec() returns), then the frame.
    // The frame is deleted once control is back in the event loop, never under a dialog.
    void CloseFrame();
    // True while one of the frame's dialogs or message boxes is open.
    bool HasOpenDialog() const;

protected:
    // True for a frame that watches every station (the graph monitor): it gets every station's
    // connection and name notices, not only its key's.
    virtual bool AllStations() const { return false; }
    virtual void OnInvConnected(int station) {}
    virtual void OnInvDisconnected(int station) {}
    virtual void OnInvNameChanged(int station) {}
    virtual void OnGraphWatchChanged() {}
    // The derived frame's clean-up before it leaves the list; false refuses the close.
    virtual bool AboutToClose() { return true; }

    void closeEvent(QCloseEvent* event) override;

private:
    friend class CToolFrameList;

    ToolHost& host_;
    const int kind_;
    const int station_;
    CToolFrameList* list_ = nullptr;
    std::unique_ptr<RecentFileList> recent_;
    QAction* exit_ = nullptr;
    bool closing_ = false;
};

}  // namespace vm
