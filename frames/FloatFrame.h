#pragma once
// The base of every tool window (keypad, parameter editor, graph monitor): a top-level frame with
// its own menu, tool and status bars, keyed by (kind, station) in the main window's frame list.
// The list opens it, places it, delivers the main window's notices to it and frees it; a frame
// closing itself gives its key back through the list.
//
// A frame may be told to close at any moment (its drive drops, the main window closes) while one
// of its dialogs, message boxes or nested loops runs. Every such loop runs through RunModal or a
// ModalScope: a close request then ends those loops, waits until the last has returned, and only
// then closes and frees the frame.

#include "frames/FrameMessages.h"
#include "frames/RecentFileList.h"
#include "frames/ToolKinds.h"
#include "platform/QueuedMessageSink.h"

#include <QColor>
#include <QKeySequence>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QAction;
class QDialog;
class QEventLoop;
class QFileDialog;
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
    virtual bool CanCloseFrame() { return modalDepth_ == 0; }

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
    // A menu command added with AddCommand, by its id; nullptr for none.
    QAction* CommandAction(int id) const;

    // The main window's notices, delivered later (queued) and only while the frame is listed.
    // A frame ignores notices of other stations except graph watch changes.
    void Notify(ToolNotice notice, int station);

    // Closes the frame. Under an open dialog or loop of the frame it ends them first and closes
    // once the last has returned; the frame is deleted only after that.
    void CloseFrame();
    // True while one of the frame's dialogs or message boxes is open.
    bool HasOpenDialog() const;
    // A close waits for the frame's dialogs to return: code after a dialog should give up.
    bool CloseRequested() const { return closeRequested_ || closing_; }
    // Dialogs, boxes and loops of this frame running now.
    int ModalDepth() const { return modalDepth_; }

    // Runs a dialog of this frame modally. Refused (Rejected at once) once a close is requested.
    int RunModal(QDialog& dialog);
    // The frame a widget belongs to (itself or the nearest ancestor), or none.
    static CFloatFrame* Of(QWidget* widget);
    // RunModal of the owner's frame; a plain exec() for a widget outside any frame.
    static int RunModal(QWidget* owner, QDialog& dialog);
    // File dialogs run as RunModal; empty when cancelled or refused.
    static QString OpenFileName(QWidget* owner, const QString& title, const QString& folder,
                                const QString& filter, QString* selectedFilter = nullptr);
    static QString SaveFileName(QWidget* owner, const QString& title, const QString& folder,
                                const QString& filter, QString* selectedFilter = nullptr,
                                bool promptOverwrite = true);

    // A colour dialog run as RunModal; invalid when cancelled or refused.
    static QColor ChooseColour(QWidget* owner, const QColor& initial);

    // Held around any other modal step of the frame (a nested event loop, a box of the host).
    class ModalScope {
    public:
        // loop: ended by a close request; may be null.
        explicit ModalScope(QWidget* owner, QEventLoop* loop = nullptr);
        ~ModalScope();
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;
        // False when the frame is closing: do not start the step.
        bool Allowed() const { return allowed_; }

    private:
        QPointer<CFloatFrame> frame_;
        QEventLoop* loop_;
        bool allowed_ = true;
    };

    // Message boxes of this frame: over the frame, ended by a close (a question then answers
    // No). In tests the host's log.
    MessageSink& Messages() { return messages_; }
    // The frame's messages shown once the caller has returned to the event loop: for those
    // raised inside communication callbacks.
    MessageSink& LaterMessages() { return laterMessages_; }
    // The messages of the owner's frame, or the host's for a widget outside any frame.
    static MessageSink& MessagesFor(QWidget* owner, ToolHost& host);

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
    // The one way the tool windows build their menus: a command with its id, caption, shortcut
    // (for this window only) and action, found again by CommandAction(id). CommandDone follows every
    // command, for the frame to bring its commands' states up to date.
    QAction* AddCommand(QMenu* menu, int id, const QString& text, const QKeySequence& key,
                        std::function<void()> action);
    virtual void CommandDone() {}

    void closeEvent(QCloseEvent* event) override;

private:
    friend class CToolFrameList;
    void EndModalLoops();
    void LeaveModal();

    ToolHost& host_;
    const int kind_;
    const int station_;
    CToolFrameList* list_ = nullptr;
    std::unique_ptr<RecentFileList> recent_;
    QAction* exit_ = nullptr;
    bool closing_ = false;
    bool closeRequested_ = false;
    int modalDepth_ = 0;
    std::vector<QPointer<QDialog>> dialogs_;
    std::vector<QEventLoop*> loops_;
    FrameMessages messages_;
    std::map<int, QAction*> commands_;
    QueuedMessageSink laterMessages_{&messages_, this};
};

}  // namespace vm
