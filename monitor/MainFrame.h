#pragma once
// The main window: menus, tool bar, status bar with its seven panes, the "Event Log" pane, the
// tabbed view with the inverter list and the fault history, the information sheet, and the
// network logic it owns for the whole run.

#include "catalogue/DataFileVersions.h"
#include "frames/ToolFrameList.h"
#include "frames/ToolHost.h"
#include "monitor/EventLog.h"
#include "monitor/EventLogView.h"
#include "monitor/FaultListView.h"
#include "monitor/InfoSheet.h"
#include "monitor/InvListView.h"
#include "monitor/LineHealthView.h"
#include "monitor/LinePublisher.h"
#include "monitor/MonitorHooks.h"
#include "monitor/NetworkMonitor.h"
#include "paramdb/MessageSink.h"
#include "platform/CommDriver.h"
#include "platform/PortDiscovery.h"
#include "platform/ProgramFolders.h"
#include "platform/QueuedMessageSink.h"
#include "platform/Settings.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <map>
#include <optional>
#include <vector>

class QAction;
class QDockWidget;
class QLabel;
class QProgressBar;
class QTabWidget;

namespace vm {

// Command numbers tie each command to its menu text and accelerator.
enum Command : int {
    kCmdConnect = 32771,
    kCmdStop = 32772,
    kCmdInformation = 32773,
    kCmdUpdate = 32774,
    kCmdOnlineEditor = 32775,
    kCmdOfflineEditor = 32776,
    kCmdKeypad = 32777,
    kCmdGraphMonitor = 32778,
    kCmdPortSetup = 32779,
    kCmdEraseFaultHistory = 32780,
    kCmdReConnect = 32781,
    kCmdStartEventLog = 32782,
    kCmdStopEventLog = 32783,
    kCmdLogFilePath = 32784,
    kCmdFaultFilePath = 32785,
    kCmdAbout = 57664,
    kCmdExit = 57665,
};

// Status bar panes after the message pane.
enum Pane : int {
    kPaneProgress = 61226,
    kPaneProtocol = 61227,
    kPanePort = 61228,
    kPaneBaud = 61229,
    kPaneLamp = 61230,
    kPaneGraphWatch = 61359,
};

// The RX/TX lamp: each direction stays lit for two 200 ms periods after its last traffic.
class RxTxLamp {
public:
    enum Bit { kTransmit = 1, kReceive = 2 };
    // Frame sent (1), reply accepted (2) or attempt failed (3). True when the bits changed.
    bool Traffic(int kind);
    // The 200 ms lamp timer. True when the bits changed.
    bool Tick();
    int Bits() const { return bits_; }

private:
    int transmit_ = 0;
    int receive_ = 0;
    int bits_ = 0;
};

// What a start may override for this run only, without touching the stored settings.
struct StartOptions {
    QString port;                             // empty: the stored "Port"
    std::optional<std::vector<int>> scanIds;  // instead of the stations of the last run
};

class CMainFrame : public QMainWindow, public NetworkView, public ToolHost {
    Q_OBJECT
public:
    CMainFrame(const ProgramFolders& folders, const StartOptions& options = {}, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Runs once the window is shown: event log, fault history, the port, the re-scan.
    void Startup();

    NetworkMonitor& Network() { return network_; }
    CommManager& Manager() { return driver_.Manager(); }
    CommDriver& Driver() { return driver_; }
    CInvListView& InvList() { return *invList_; }
    CFaultListView& FaultList() { return *faultList_; }
    EventLog& Log() { return log_; }
    CHistory& History() { return history_; }
    CEventLogView& EventLogPane() { return *eventLogView_; }
    InfoSheetOwner& InfoSheet() { return infoSheet_; }
    const MainSettings& Settings() const { return settings_; }
    const QStringList& PortNames() const { return portNames_; }
    QAction* Action(Command command) const;
    QString PaneText(Pane pane) const;
    int LampBits() const { return lamp_.Bits(); }
    int LampRedraws() const { return lampRedraws_; }
    QTabWidget& Tabs() { return *tabs_; }
    LineHealthView& LineHealth() { return *lineHealth_; }
    // One row per drive connected during this run, lost ones marked, with its line health.
    std::vector<LineHealthRow> HealthRows();
    // What the Line Health page says of the line as a whole; empty when nothing is amiss.
    QString HealthNote();
    QDockWidget& EventLogDock() { return *eventLogDock_; }

    // Messages the user must see; message boxes unless replaced (tests record them). Those
    // raised while the line is served reach it queued, after the callback has returned.
    void SetMessageSink(MessageSink* sink);
    // The save-file dialog of the two file path commands: the chosen path, or empty on cancel.
    using SavePathDialog = std::function<QString(const QString& title, const QString& filter,
                                                 const QString& suffix, const QString& current)>;
    void SetSavePathDialog(SavePathDialog dialog) { savePathDialog_ = std::move(dialog); }

    // Command handlers.
    void OnConnect();
    void ConnectWith(const MainSettings& scanChoice);  // the Select ID dialog's Search
    void OnStop() { network_.StopScan(); }
    void OnUpdate();
    void OnReConnect();
    void OnPortSetup();
    // Takes new port settings and restarts the communication manager; false when the port
    // could not be opened (the message has been shown).
    bool ApplyPortSettings(const MainSettings& settings);
    void OnInformation();
    void OnKeypad();
    void OnOnlineEditor();
    void OnOfflineEditor();
    void OnGraphMonitor();
    void OnStartEventLog();
    void OnStopEventLog();
    void OnLogFilePath();
    void OnFaultFilePath();
    void OnEraseFaultHistory();

    // Notifications from other windows.
    void GraphWatchChanged();
    // A device name was changed on the information sheet: list row, settings and tool windows.
    void DeviceNameChanged(int station) override;

    void UpdateCommands();

    // NetworkView.
    void RefreshStation(StationRecord& record) override;
    void RefreshValues(StationRecord& record) override;
    void TitleChanged(int connected) override;
    void ScanProgress(bool visible, int position, int range) override;
    void StatusMessage(const QString& text) override;
    // Queued: it is called from inside communication callbacks.
    void ShowError(const QString& text) override;

    // ToolHost.
    StationRecord& Record(int station) override { return network_.Record(station); }
    QString DeviceName(int station) const override { return network_.DeviceName(station); }
    void SetDeviceName(int station, const QString& name) override;
    CommManager& Comm() override { return Manager(); }
    bool GraphWatch() const override { return network_.GraphWatch(); }
    void SetGraphWatch(bool on) override;
    const DataFileVersions& Versions() const override { return versions_; }
    const ProgramFolders& Folders() const override { return folders_; }
    MessageSink& Messages() override { return *messages_; }
    MessageSink& LaterMessages() override { return queuedMessages_; }
    bool MessageBoxes() const override { return true; }
    CToolFrameList& Frames() override { return frames_; }
    QWidget* MainWindow() override { return this; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateViews();
    void LoadSettings();
    void SaveSettings();
    void UpdatePanes();
    void UpdateLampPane();
    bool StartComm();
    void OnPortLost();
    void OnPortRestored();
    void RecheckListed();
    // Forgets the rows of stations not connected; letLostGo also stops asking after them.
    void CleanList(bool letLostGo);
    void ShowErrorNow(const QString& text);
    void ShowFailure(const Result<void>& result);
    StationRecord* SelectedConnected() const;
    QString AskSavePath(const QString& title, const QString& filter, const QString& suffix,
                        const QString& current);
    QString ChooseSavePath(const QString& title, const QString& filter, const QString& suffix,
                           const QString& current);

    ProgramFolders folders_;
    StartOptions options_;
    MainSettings settings_;
    QString storedPort_;  // what is saved while the port is overridden for this run
    DataFileVersions versions_;
    std::vector<PortRecord> ports_;
    QStringList portNames_;

    EventLog log_;
    CHistory history_;
    LinePublisher publisher_;  // between the network logic and the history: faults pass it
    CommDriver driver_;        // before network_: clients go before their manager
    NetworkMonitor network_;
    // After the manager and the records: the sheet's pages unregister while both still exist.
    InfoSheetOwner infoSheet_{*this, this};
    // Last of the members that use the manager: the tool windows are its clients and are freed
    // first.
    CToolFrameList frames_{*this};

    MessageSink* messages_ = nullptr;
    std::unique_ptr<MessageSink> messageBoxes_;
    QueuedMessageSink queuedMessages_{nullptr};
    SavePathDialog savePathDialog_;

    std::map<int, QAction*> actions_;
    QTabWidget* tabs_ = nullptr;
    CInvListView* invList_ = nullptr;
    CFaultListView* faultList_ = nullptr;
    LineHealthView* lineHealth_ = nullptr;
    QDockWidget* eventLogDock_ = nullptr;
    CEventLogView* eventLogView_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* graphWatchPane_ = nullptr;
    QLabel* protocolPane_ = nullptr;
    QLabel* portPane_ = nullptr;
    QLabel* baudPane_ = nullptr;
    QLabel* lampPane_ = nullptr;

    RxTxLamp lamp_;
    QTimer lampTimer_;
    int lampRedraws_ = 0;
    bool recheckPending_ = false;  // the port came back while a scan ran
};

}  // namespace vm
