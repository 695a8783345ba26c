#pragma once
// The parameter editor window: the parameter list in the middle, the group tree in a docking
// pane, the status panes, and the File, Edit, Operation and Setup commands. One frame serves an
// online editor (a station on the line) and an offline editor (a slot with a chosen data file);
// the online half, the report window and the report header come in as ParaFrameParts.

#include "editor/EditorMessages.h"
#include "editor/FileChooser.h"
#include "editor/ParaFrameLogic.h"
#include "editor/ParaModeLogic.h"
#include "editor/ParaOnlineSide.h"
#include "frames/FloatFrame.h"
#include "report/ReportSource.h"

#include <QPointer>

#include <functional>
#include <map>
#include <memory>

class QDockWidget;
class QLabel;

namespace vm {

class CParaFrame;
class CParaListView;
class CParaTreeView;

// What an editor frame is made with besides its station. A part left empty keeps its commands
// disabled.
struct ParaFrameParts {
    ModeRunner modeRunner;
    // Makes the online half of an online editor.
    std::function<std::unique_ptr<ParaOnlineSide>(CParaFrame& editor)> online;
    // Opens the report window of a node, reusing the existing one; returns the window.
    std::function<QWidget*(CParaFrame& editor, const ReportNode& node, QWidget* existing)> report;
    // Runs "Report &Header..."; true when it ended with OK.
    std::function<bool(CParaFrame& editor)> reportHeader;
};

class CParaFrame : public CFloatFrame, public ParaFrameObserver, public ReportSource, public FileChooser {
    Q_OBJECT
public:
    enum Command : int {
        kNewUserGroup = 32814,
        kOpenUserGroup = 32815,
        kSaveUserGroup = 32816,
        kCloseUserGroup = 32817,
        kUpload = 32818,
        kDownload = 32819,
        kCompare = 32820,
        kSaveParaFile = 32821,
        kSaveTextFile = 32822,
        kOnlineEdit = 32823,
        kUpdateList = 32824,
        kParaMode = 32825,
        kReport = 32826,
        kReportHeader = 32827,
        kReadParaFile = 32831,
        kUndo = 32833,
        kRedo = 32834,
        kAddToUserGroup = 32835,
    };

    // The station's parameter data must be loaded; the frame keeps its own reference.
    CParaFrame(ToolHost& host, int station, ParaFrameParts parts);
    ~CParaFrame() override;

    ParaFrameLogic& Logic() { return *logic_; }
    CParaListView& List() { return *list_; }
    CParaTreeView& Tree() { return *tree_; }
    // The online half; null for an offline editor or without the part.
    ParaOnlineSide* Online() const { return online_.get(); }
    EditorMessages& Messages() { return messages_; }
    // The editor's boxes shown once the caller has returned to the event loop (communication
    // callbacks).
    EditorMessages& LaterMessages() { return laterMessages_; }
    const std::shared_ptr<ParameterData>& Data() const { return data_; }
    uint64_t Identity() const { return identity_; }
    // Re-evaluates every command's enabled state.
    void UpdateCommands();
    ParaPaneTexts PaneTexts() const;
    // After "Report &Header..." ended with OK: the open report takes the new header.
    void ReportHeaderChanged();
    QWidget* ReportWindow() const { return report_; }
    // The file dialogs; tests put a script here.
    void SetFileChooser(FileChooser* chooser);

    bool CanCloseFrame() override;
    bool OpenRecentFile(const QString& path) override;

    // ReportSource
    int ReportStation() const override { return Station(); }
    bool ReportOnline() const override { return !Offline(); }
    std::shared_ptr<ParameterData> ReportData() const override { return data_; }
    const CCustom* ReportUserGroup(const std::string& name) const override;
    void ReportClosed() override;

    // ParaFrameObserver
    void UserGroupAdded(CCustom& group, bool select) override;
    void UserGroupRenamed(CCustom& group) override;
    void UserGroupFilled(CCustom& group) override;
    void UserGroupClosing(CCustom& group) override;
    void ValuesChanged() override;
    void RecentFileUsed(const QString& path) override;

protected:
    void OnInvDisconnected(int station) override;
    void OnInvNameChanged(int station) override;
    void OnGraphWatchChanged() override;
    bool AboutToClose() override;

private:
    // FileChooser through file dialogs owned by this frame.
    QString OpenFileName(const QString& title, const QString& filter, const QString& folder) override;
    QString SaveFileName(const QString& title, const QString& filter, const QString& folder,
                         bool promptOverwrite) override;

    void CommandDone() override { UpdateCommands(); }
    void BuildCommands();
    void BuildStatusBar();
    void UpdatePanes();
    void ShowSelectedNode();
    void CloseSelectedUserGroup();
    void AddSelectedToUserGroup();
    void ParameterMode();
    void Report();
    void StopOnlineActivity();
    bool Loaded() const;

    std::shared_ptr<ParameterData> data_;
    const uint64_t identity_;
    ParaFrameParts parts_;
    EditorMessages messages_;
    QueuedMessageSink laterSink_{&messages_, this};
    EditorMessages laterMessages_{laterSink_};
    FileChooser* files_;
    std::unique_ptr<ParaFrameLogic> logic_;
    std::unique_ptr<ParaOnlineSide> online_;
    CParaListView* list_ = nullptr;
    CParaTreeView* tree_ = nullptr;
    QDockWidget* dock_ = nullptr;
    std::map<int, QLabel*> panes_;
    QPointer<QWidget> report_;
    bool editorClosing_ = false;
    bool closeAfterReport_ = false;
};

}  // namespace vm
