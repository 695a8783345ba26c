#include "monitor/MainFrame.h"

#include "catalogue/Models.h"
#include "comm/SerialPort.h"
#include "monitor/Dialogs.h"
#include "monitor/StationIcons.h"
#include "platform/WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace vm {

namespace {

constexpr int kLampPeriodMs = 200;
constexpr QSize kMainMinimumSize(560, 400);
const char* const kCaption = "Varimon";

// Message boxes over the main window.
class MessageBoxSink final : public MessageSink {
public:
    explicit MessageBoxSink(QWidget* parent) : parent_(parent) {}
    void Show(MessageKind kind, const std::string& text, const std::string& caption) override
    {
        const QString t = QString::fromStdString(text), c = QString::fromStdString(caption);
        switch (kind) {
        case MessageKind::Error:
            QMessageBox::critical(parent_, c, t);
            break;
        case MessageKind::Information:
            QMessageBox::information(parent_, c, t);
            break;
        case MessageKind::Plain:
            QMessageBox(QMessageBox::NoIcon, c, t, QMessageBox::Ok, parent_).exec();
            break;
        default:
            QMessageBox::warning(parent_, c, t);
            break;
        }
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override
    {
        return QMessageBox::question(parent_, QString::fromStdString(caption),
                                     QString::fromStdString(text)) == QMessageBox::Yes;
    }

private:
    QWidget* parent_;
};

QLabel* MakePane(QWidget* parent, int width, const QString& tip)
{
    auto* l = new QLabel(parent);
    l->setMinimumWidth(width);
    l->setAlignment(Qt::AlignCenter);
    l->setToolTip(tip);
    return l;
}

}  // namespace

// --- RX/TX lamp ------------------------------------------------------------------------------

bool RxTxLamp::Traffic(int kind)
{
    const int before = bits_;
    if (kind == CommManager::kFrameSent) {
        transmit_ = 2;
        bits_ |= kTransmit;
    } else if (kind == CommManager::kReplyAccepted) {
        receive_ = 2;
        bits_ |= kReceive;
    }
    return bits_ != before;
}

bool RxTxLamp::Tick()
{
    const int before = bits_;
    if (transmit_ > 0 && --transmit_ == 0)
        bits_ &= ~kTransmit;
    if (receive_ > 0 && --receive_ == 0)
        bits_ &= ~kReceive;
    return bits_ != before;
}

// --- creation --------------------------------------------------------------------------------

CMainFrame::CMainFrame(const ProgramFolders& folders, const StartOptions& options, QWidget* parent)
    : QMainWindow(parent), folders_(folders), options_(options), network_(driver_.Manager(), *this),
      messageBoxes_(std::make_unique<MessageBoxSink>(this))
{
    setObjectName(QStringLiteral("MainFrame"));
    // Below this the list and the panes cannot be used; a placement smaller is a damaged one.
    setMinimumSize(kMainMinimumSize);
    messages_ = messageBoxes_.get();
    queuedMessages_.SetTarget(messages_);
    // The history saves every new fault from inside the line's callbacks.
    history_.SetMessageSink(&queuedMessages_);
    network_.SetEventLog(&log_);
    publisher_.Attach(&history_);
    network_.SetFaultHistory(&publisher_);
    network_.SetDataFolder(folders_.data);
    network_.SetToolFrames(&frames_);
    log_.SetLineHandler([this](const QString& line) {
        if (eventLogView_)
            eventLogView_->AppendLine(line);
        publisher_.EventLine(line);
    });
    log_.SetStopHandler([this] {
        settings_.logEnable = 0;
        UpdateCommands();
    });

    CreateActions();
    CreateStatusBar();
    CreateMenus();
    CreateToolBar();
    CreateViews();
    {
        QSettings s(kCompanyKey, kApplicationKey);
        RestorePaneLayout(s, QStringLiteral("Main PaneLayout"), *this);
    }

    versions_.Scan(QFileInfo(folders_.data).absolutePath().toStdString());
    TitleChanged(0);
    ports_ = DiscoverPorts();
    portNames_ = PortNameList(ports_);
    LoadSettings();
    network_.SetLostRecheck(settings_.lostRecheck != 0);
    {
        CommManager::LostProbeTiming timing = Manager().LostTiming();
        timing.intervalMs = settings_.lostRecheckInterval * 1000;
        timing.slowIntervalMs = timing.intervalMs * 10;
        Manager().SetLostProbeTiming(timing);
    }
    UpdatePanes();

    connect(&driver_, &CommDriver::traffic, this, [this](int kind) {
        if (lamp_.Traffic(kind))
            UpdateLampPane();
    });
    connect(&driver_, &CommDriver::portError, this, [this](const QString& caption, const QString& text) {
        queuedMessages_.Show(MessageKind::Error, text.toStdString(), caption.toStdString());
    });
    connect(&driver_, &CommDriver::portLost, this, &CMainFrame::OnPortLost);
    connect(&driver_, &CommDriver::portRestored, this, &CMainFrame::OnPortRestored);
    lampTimer_.setInterval(kLampPeriodMs);
    connect(&lampTimer_, &QTimer::timeout, this, [this] {
        if (lamp_.Tick())
            UpdateLampPane();
    });
    lampTimer_.start();
    UpdateLampPane();
    UpdateCommands();
}

CMainFrame::~CMainFrame()
{
    lampTimer_.stop();
    log_.SetLineHandler({});
    log_.SetStopHandler({});
    // The list points into the records; it goes before them.
    delete tabs_;
    tabs_ = nullptr;
    invList_ = nullptr;
    faultList_ = nullptr;
    lineHealth_ = nullptr;
    network_.SetFaultHistory(nullptr);
}

void CMainFrame::CreateActions()
{
    struct Spec {
        Command id;
        const char* text;
        QKeySequence key;
        const char* tip;
        std::function<void()> handler;
    };
    const Spec specs[] = {
        {kCmdConnect, "&Connect...", Qt::Key_F2, "Scan the line for inverters by ID",
         [this] { OnConnect(); }},
        {kCmdStop, "&Stop", Qt::Key_F3, "Stop the connection scan", [this] { OnStop(); }},
        {kCmdUpdate, "&Update", Qt::Key_F5, "Check the listed inverters again", [this] { OnUpdate(); }},
        {kCmdReConnect, "&Re-Connect", {}, "Check the selected inverter again", [this] { OnReConnect(); }},
        {kCmdInformation, "&Information...", Qt::Key_F4, "Show the selected inverter's information",
         [this] { OnInformation(); }},
        {kCmdKeypad, "&KeyPad", Qt::Key_F6, "Run and stop the selected inverter", [this] { OnKeypad(); }},
        {kCmdOnlineEditor, "Online &Parameter Editor", Qt::Key_F7, "Edit the selected inverter's parameters",
         [this] { OnOnlineEditor(); }},
        {kCmdOfflineEditor, "O&ffline Parameter Editor", QKeySequence(Qt::CTRL | Qt::Key_F7),
         "Edit parameters without an inverter", [this] { OnOfflineEditor(); }},
        {kCmdGraphMonitor, "&Graph Monitor", Qt::Key_F8, "Watch values over time",
         [this] { OnGraphMonitor(); }},
        {kCmdPortSetup, "&Communication Port...", QKeySequence(Qt::CTRL | Qt::Key_O),
         "Set up the serial port and protocol", [this] { OnPortSetup(); }},
        {kCmdFaultFilePath, "&Fault File Path...", QKeySequence(Qt::CTRL | Qt::Key_F),
         "Choose the fault history file", [this] { OnFaultFilePath(); }},
        {kCmdLogFilePath, "Event &Log File Path...", QKeySequence(Qt::CTRL | Qt::Key_L),
         "Choose the event log file", [this] { OnLogFilePath(); }},
        {kCmdEraseFaultHistory,
         "&Erase Fault History",
         {},
         "Erase every fault history record",
         [this] { OnEraseFaultHistory(); }},
        {kCmdStartEventLog, "Start Event &Log", Qt::Key_F9, "Write events to the event log file",
         [this] { OnStartEventLog(); }},
        {kCmdStopEventLog, "Stop &Event Log", Qt::Key_F10, "Stop writing the event log file",
         [this] { OnStopEventLog(); }},
        {kCmdExit, "E&xit", {}, "Quit Varimon", [this] { close(); }},
        {kCmdAbout,
         "&About Varimon...",
         {},
         "Program information",
         [this] {
             QMessageBox::about(this, QStringLiteral("About Varimon"),
                                QStringLiteral("<b>Varimon 3.0</b><p>Commissioning and supervision of "
                                               "variable-frequency inverters on one RS-485 line.</p>"));
         }},
    };
    const std::map<Command, ToolIcon> icons{
        {kCmdConnect, ToolIcon::Connect},
        {kCmdStop, ToolIcon::Stop},
        {kCmdUpdate, ToolIcon::Update},
        {kCmdInformation, ToolIcon::Information},
        {kCmdKeypad, ToolIcon::Keypad},
        {kCmdOnlineEditor, ToolIcon::Editor},
        {kCmdOfflineEditor, ToolIcon::OfflineEditor},
        {kCmdGraphMonitor, ToolIcon::Graph},
        {kCmdPortSetup, ToolIcon::Port},
    };
    for (const Spec& s : specs) {
        auto* a = new QAction(QString::fromLatin1(s.text), this);
        if (!s.key.isEmpty())
            a->setShortcut(s.key);
        a->setStatusTip(QString::fromLatin1(s.tip));
        a->setProperty("statusTip0", a->statusTip());
        if (auto icon = icons.find(s.id); icon != icons.end())
            a->setIcon(ToolBarIcon(icon->second));
        connect(a, &QAction::triggered, this, s.handler);
        actions_[s.id] = a;
        addAction(a);
    }
}

QAction* CMainFrame::Action(Command command) const
{
    const auto it = actions_.find(command);
    return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::CreateMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("Menu Bar"));
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->addAction(Action(kCmdExit));

    QMenu* network = bar->addMenu(QStringLiteral("&Network"));
    network->addAction(Action(kCmdConnect));
    network->addAction(Action(kCmdStop));
    network->addAction(Action(kCmdUpdate));
    network->addSeparator();
    network->addAction(Action(kCmdReConnect));

    QMenu* inverter = bar->addMenu(QStringLiteral("&Inverter"));
    inverter->addAction(Action(kCmdInformation));
    inverter->addAction(Action(kCmdKeypad));
    inverter->addAction(Action(kCmdOnlineEditor));
    inverter->addAction(Action(kCmdOfflineEditor));
    inverter->addSeparator();
    inverter->addAction(Action(kCmdGraphMonitor));

    QMenu* setup = bar->addMenu(QStringLiteral("&Setup"));
    setup->addAction(Action(kCmdPortSetup));
    setup->addAction(QStringLiteral("MQTT &Publisher..."), this,
                     [this] { ShowFailure(publisher_.RunSetup(this, settings_.port)); });
    setup->addSeparator();
    setup->addAction(Action(kCmdFaultFilePath));
    setup->addAction(Action(kCmdEraseFaultHistory));
    setup->addSeparator();
    setup->addAction(Action(kCmdLogFilePath));
    setup->addAction(Action(kCmdStartEventLog));
    setup->addAction(Action(kCmdStopEventLog));

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("ViewMenu"));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(Action(kCmdAbout));
}

void CMainFrame::CreateToolBar()
{
    QToolBar* bar = addToolBar(QStringLiteral("Tool Bar 1"));
    bar->setObjectName(QStringLiteral("Tool Bar 1"));
    bar->setIconSize(QSize(24, 24));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (Command c : {kCmdConnect, kCmdStop, kCmdUpdate})
        bar->addAction(Action(c));
    bar->addSeparator();
    for (Command c : {kCmdInformation, kCmdKeypad, kCmdOnlineEditor, kCmdOfflineEditor, kCmdGraphMonitor})
        bar->addAction(Action(c));
    bar->addSeparator();
    bar->addAction(Action(kCmdPortSetup));
    if (QMenu* view = menuBar()->findChild<QMenu*>(QStringLiteral("ViewMenu"))) {
        view->addAction(bar->toggleViewAction());
        QAction* status = view->addAction(QStringLiteral("&Status Bar"));
        status->setCheckable(true);
        status->setChecked(true);
        connect(status, &QAction::toggled, statusBar(), &QWidget::setVisible);
    }
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    progress_ = new QProgressBar(bar);
    progress_->setFixedWidth(150);
    progress_->setMaximumHeight(14);
    progress_->setTextVisible(false);
    progress_->hide();
    graphWatchPane_ = MakePane(bar, 100, QStringLiteral("Graph Watch Mode"));
    graphWatchPane_->setStyleSheet(QStringLiteral("color: #c81010; font-weight: bold;"));
    protocolPane_ = MakePane(bar, 90, QStringLiteral("Communication Mode"));
    portPane_ = MakePane(bar, 50, QStringLiteral("Commnnication Port"));
    baudPane_ = MakePane(bar, 50, QStringLiteral("Communication Baud-Rate"));
    lampPane_ = MakePane(bar, 50, QStringLiteral("Communication RX/TX Status"));
    bar->addPermanentWidget(progress_);
    for (QLabel* pane : {graphWatchPane_, protocolPane_, portPane_, baudPane_, lampPane_})
        bar->addPermanentWidget(pane);
    bar->addPermanentWidget(publisher_.StatusPane(bar));
    for (QLabel* pane : {protocolPane_, portPane_, baudPane_})
        pane->installEventFilter(this);
    bar->showMessage(QStringLiteral("Ready"));
}

void CMainFrame::CreateViews()
{
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("VRMNView"));
    tabs_->setDocumentMode(true);
    invList_ = new CInvListView([this](int station) { return network_.DeviceName(station); }, tabs_);
    tabs_->addTab(invList_, QIcon(RowImagePixmap(kRowForward, 2.0)),
                  QStringLiteral("Connection Information"));
    faultList_ = new CFaultListView(history_, tabs_);
    tabs_->addTab(faultList_, QIcon(RowImagePixmap(kRowFault, 2.0)), QStringLiteral("Fault History"));
    lineHealth_ =
        new LineHealthView([this] { return HealthRows(); }, [this] { Manager().ResetHealth(); }, tabs_);
    lineHealth_->SetNoteSource([this] { return HealthNote(); });
    tabs_->addTab(lineHealth_, ToolBarIcon(ToolIcon::Port), QStringLiteral("Line Health"));
    setCentralWidget(tabs_);
    invList_->SetContextActions({Action(kCmdReConnect), nullptr, Action(kCmdKeypad), Action(kCmdOnlineEditor),
                                 Action(kCmdGraphMonitor)});
    connect(invList_, &CInvListView::informationRequested, this, &CMainFrame::OnInformation);
    connect(invList_, &CInvListView::selectionChangedTo, this, [this] { UpdateCommands(); });
    connect(tabs_, &QTabWidget::currentChanged, this, [this] { UpdateCommands(); });

    eventLogDock_ = new QDockWidget(QStringLiteral("Event Log"), this);
    eventLogDock_->setObjectName(QStringLiteral("Event Log"));
    eventLogDock_->setAllowedAreas(Qt::AllDockWidgetAreas);
    eventLogView_ =
        new CEventLogView(log_, Action(kCmdStartEventLog), Action(kCmdStopEventLog), eventLogDock_);
    eventLogDock_->setWidget(eventLogView_);
    addDockWidget(Qt::BottomDockWidgetArea, eventLogDock_);
    resizeDocks({eventLogDock_}, {140}, Qt::Vertical);
    if (QMenu* view = menuBar()->findChild<QMenu*>(QStringLiteral("ViewMenu")))
        view->addAction(eventLogDock_->toggleViewAction());
}

void CMainFrame::SetMessageSink(MessageSink* sink)
{
    messages_ = sink ? sink : messageBoxes_.get();
    queuedMessages_.SetTarget(messages_);
}

// --- settings --------------------------------------------------------------------------------

void CMainFrame::LoadSettings()
{
    QSettings s(kCompanyKey, kApplicationKey);
    settings_ = LoadMainSettings(s, SettingsContext{folders_.log, portNames_});
    network_.DeviceNames() = LoadDeviceNames(s);
    invList_->LoadColumnWidths(s);
    faultList_->LoadColumnWidths(s);
    storedPort_ = settings_.port;
    if (!options_.port.isEmpty())
        settings_.port = options_.port;
}

void CMainFrame::SaveSettings()
{
    QSettings s(kCompanyKey, kApplicationKey);
    MainSettings out = settings_;
    out.port = storedPort_;
    out.conIds = network_.ConnectedIds();
    out.logEnable = log_.Logging() ? 1 : 0;
    SaveMainSettings(s, out);
    SaveDeviceNames(s, network_.DeviceNames());
    invList_->SaveColumnWidths(s);
    faultList_->SaveColumnWidths(s);
}

// --- start-up and shutdown -------------------------------------------------------------------

void CMainFrame::Startup()
{
    if (settings_.logEnable)
        OnStartEventLog();
    // A damaged history is told of once the line runs: an unattended restart must not wait
    // for someone to click OK before it monitors anything.
    if (!history_.Open(settings_.faultFilePath))
        ShowError(CHistory::ErrorText(CHistory::kInitFailed));
    StartComm();
    ShowFailure(publisher_.Start(settings_.port));
    if (options_.scanIds)
        network_.StartScan(*options_.scanIds);
    else if (settings_.conIds)
        network_.StartScan(*settings_.conIds);
    UpdateCommands();
}

bool CMainFrame::StartComm()
{
    CommSettings c;
    c.portName = settings_.port.toStdString();
    c.baudRate = settings_.baudRate;
    c.parity = settings_.parity;
    c.dataBits = settings_.dataBit;
    c.stopBits = settings_.stopBit;
    c.autoTxEnable = settings_.autoTxEnable != 0;
    c.txActiveHigh = settings_.txActiveHigh != 0;
    c.protocolMode = settings_.commMode;
    c.timeoutMs = settings_.timeOut;
    c.retryCount = settings_.retryCount;
    c.pacing = settings_.pacing == 1 ? Pacing::Line : Pacing::Tick;
    c.turnaroundUs = settings_.turnaroundMs * 1000;
    c.blockReads = settings_.blockReads != 0;
    c.blockReadMax = settings_.blockReadMax;
    c.networkAllowanceMs = settings_.netAllowance;
    const int started = driver_.Start(c);
    UpdatePanes();  // a start ends the reopening of a lost port
    if (started == 0)
        return true;
    queuedMessages_.Flush();  // the port's warning first
    ShowErrorNow(QStringLiteral("Can't open %1 port").arg(settings_.port));
    return false;
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (!frames_.AllCanClose()) {
        event->ignore();
        return;
    }
    lampTimer_.stop();
    {
        QSettings s(kCompanyKey, kApplicationKey);
        SavePaneLayout(s, QStringLiteral("Main PaneLayout"), *this);
        SaveSettings();
        SavePlacement(s, QStringLiteral("MAIN"), *this);
    }
    // The tool windows go first, so that none of them outlives the manager it is a client of.
    if (!frames_.CloseAll(0)) {
        event->ignore();
        return;
    }
    infoSheet_.Close();
    history_.Close();
    event->accept();
}

// --- status bar ------------------------------------------------------------------------------

void CMainFrame::UpdatePanes()
{
    protocolPane_->setText(PortSetupForm::Protocols().value(settings_.commMode));
    const QString port = QFileInfo(settings_.port).fileName();
    portPane_->setText(port.isEmpty() ? settings_.port : port);
    if (driver_.IsPortLost())
        portPane_->setText(QStringLiteral("Port lost"));
    portPane_->setToolTip(QStringLiteral("Commnnication Port: %1").arg(settings_.port));
    baudPane_->setText(QString::number(settings_.baudRate));
    graphWatchPane_->setText(network_.GraphWatch() ? QStringLiteral("Graph Watch Mode") : QString());
}

void CMainFrame::UpdateLampPane()
{
    ++lampRedraws_;
    lampPane_->setPixmap(LampPixmap(lamp_.Bits(), devicePixelRatioF()));
}

QString CMainFrame::PaneText(Pane pane) const
{
    switch (pane) {
    case kPaneProtocol:
        return protocolPane_->text();
    case kPanePort:
        return portPane_->text();
    case kPaneBaud:
        return baudPane_->text();
    case kPaneGraphWatch:
        return graphWatchPane_->text();
    case kPaneProgress:
        return progress_->isHidden()
                   ? QString()
                   : QStringLiteral("%1/%2").arg(progress_->value()).arg(progress_->maximum());
    default:
        return {};
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick &&
        (watched == protocolPane_ || watched == portPane_ || watched == baudPane_)) {
        OnPortSetup();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- NetworkView -----------------------------------------------------------------------------

void CMainFrame::RefreshStation(StationRecord& record)
{
    if (invList_)
        invList_->RefreshStation(record);
    publisher_.StationChanged(record, network_.DeviceName(record.station));
    UpdateCommands();
}

void CMainFrame::RefreshValues(StationRecord& record)
{
    if (invList_)
        invList_->RefreshValues(record);
    publisher_.StationChanged(record, network_.DeviceName(record.station));
}

void CMainFrame::TitleChanged(int connected)
{
    setWindowTitle(QStringLiteral("Varimon Main [%1 Connected]").arg(connected));
}

void CMainFrame::ScanProgress(bool visible, int position, int range)
{
    if (visible) {
        progress_->setRange(0, std::max(range, 1));
        progress_->setValue(std::clamp(position, 0, std::max(range, 1)));
    }
    progress_->setHidden(!visible);
    UpdateCommands();
    if (!visible && recheckPending_) {
        recheckPending_ = false;
        // Not from inside the scan's last callback.
        QTimer::singleShot(0, this, [this] { RecheckListed(); });
    }
}

void CMainFrame::StatusMessage(const QString& text)
{
    statusBar()->showMessage(text);
}

void CMainFrame::ShowError(const QString& text)
{
    queuedMessages_.Show(MessageKind::Error, text.toStdString(), kCaption);
}

void CMainFrame::ShowFailure(const Result<void>& result)
{
    if (!result)
        ShowErrorNow(QString::fromStdString(result.Text()));
}

void CMainFrame::ShowErrorNow(const QString& text)
{
    messages_->Show(MessageKind::Error, text.toStdString(), kCaption);
}

// --- connection commands ---------------------------------------------------------------------

void CMainFrame::CleanList(bool letLostGo)
{
    for (int id : invList_->ListedStations()) {
        const StationRecord& r = network_.Record(id);
        if (letLostGo && !(r.present && r.connected))
            network_.StopWatching(id);
        network_.ForgetStation(id);
    }
    invList_->RemoveUnconnected();
}

void CMainFrame::OnConnect()
{
    if (network_.Scanning())
        return;
    CSelectIdDlg dialog(settings_, this);
    if (dialog.exec() == QDialog::Accepted)
        ConnectWith(dialog.Result());
}

void CMainFrame::ConnectWith(const MainSettings& choice)
{
    if (network_.Scanning())
        return;
    settings_.scanMode = choice.scanMode;
    settings_.scanIdOne = choice.scanIdOne;
    settings_.scanIdFrom = choice.scanIdFrom;
    settings_.scanIdTo = choice.scanIdTo;
    settings_.quickScan = choice.quickScan;
    tabs_->setCurrentIndex(0);
    CleanList(true);
    network_.StartScan(SelectIdForm::Ids(settings_), settings_.quickScan ? settings_.quickScanTimeOut : 0);
    UpdateCommands();
}

void CMainFrame::OnUpdate()
{
    if (network_.Scanning())
        return;
    tabs_->setCurrentIndex(0);
    CleanList(true);
    network_.StartScan(invList_->ListedStations());
    UpdateCommands();
}

void CMainFrame::OnPortLost()
{
    UpdatePanes();
    network_.AddLineEvent(QStringLiteral("Port lost"));
    // Nothing of what the rows show is live any more; they come back with the port.
    network_.LineLost();
    UpdateCommands();
}

void CMainFrame::OnPortRestored()
{
    UpdatePanes();
    network_.AddLineEvent(QStringLiteral("Port reopened"));
    RecheckListed();
}

void CMainFrame::RecheckListed()
{
    if (network_.Scanning()) {
        recheckPending_ = true;
        return;
    }
    // Update's steps, but with the rows taken before the clean: after the loss they all read
    // "No Connection", and Update would drop every one of them unchecked.
    const std::vector<int> listed = invList_->ListedStations();
    tabs_->setCurrentIndex(0);
    CleanList(false);
    network_.StartScan(listed);
    UpdateCommands();
}

void CMainFrame::OnReConnect()
{
    if (const StationRecord* r = invList_->SelectedStation())
        network_.StartScan({r->station});
    UpdateCommands();
}

void CMainFrame::OnPortSetup()
{
    CPortSetupDlg dialog(settings_, portNames_, ports_, this);
    if (dialog.exec() == QDialog::Accepted)
        ApplyPortSettings(dialog.Result());
}

bool CMainFrame::ApplyPortSettings(const MainSettings& s)
{
    settings_.port = s.port;
    settings_.baudRate = s.baudRate;
    settings_.dataBit = s.dataBit;
    settings_.parity = s.parity;
    settings_.stopBit = s.stopBit;
    settings_.autoTxEnable = s.autoTxEnable;
    settings_.txActiveHigh = s.txActiveHigh;
    settings_.commMode = s.commMode;
    settings_.timeOut = s.timeOut;
    settings_.retryCount = s.retryCount;
    settings_.pacing = s.pacing;
    settings_.turnaroundMs = s.turnaroundMs;
    settings_.blockReads = s.blockReads;
    settings_.blockReadMax = s.blockReadMax;
    settings_.netAllowance = s.netAllowance;
    storedPort_ = s.port;  // chosen by the operator: no longer a one-run override
    ShowFailure(publisher_.PortChanged(settings_.port));
    UpdatePanes();
    return StartComm();
}

// --- station commands ------------------------------------------------------------------------

StationRecord* CMainFrame::SelectedConnected() const
{
    StationRecord* r = invList_ ? invList_->SelectedStation() : nullptr;
    return (r && r->present && r->connected) ? r : nullptr;
}

void CMainFrame::OnInformation()
{
    if (StationRecord* r = SelectedConnected())
        infoSheet_.Show(r->station);
}

void CMainFrame::OnKeypad()
{
    if (network_.GraphWatch())
        return;
    if (StationRecord* r = SelectedConnected())
        frames_.OpenOrActivate(kKindKeypad, r->station);
    UpdateCommands();
}

void CMainFrame::OnOnlineEditor()
{
    if (network_.GraphWatch())
        return;
    if (StationRecord* r = SelectedConnected())
        frames_.OpenOrActivate(kKindParameterEditor, r->station);
    UpdateCommands();
}

void CMainFrame::OnOfflineEditor()
{
    const int slot = frames_.FreeOfflineStation();
    if (slot >= kFirstOfflineSlot)
        frames_.Open(kKindParameterEditor, slot);
    UpdateCommands();
}

void CMainFrame::OnGraphMonitor()
{
    frames_.OpenOrActivate(kKindGraphMonitor, kGraphMonitorKey);
    UpdateCommands();
}

void CMainFrame::SetGraphWatch(bool on)
{
    if (Manager().GraphWatch() == on)
        return;
    Manager().SetGraphWatch(on);
    GraphWatchChanged();
}

void CMainFrame::GraphWatchChanged()
{
    network_.GraphWatchChanged();
    infoSheet_.GraphWatchChanged();
    // Every tool window hears of it, offline editors too: they show the mode in their panes.
    frames_.Broadcast(ToolNotice::GraphWatchChanged, 0);
    UpdatePanes();
    UpdateCommands();
}

void CMainFrame::SetDeviceName(int station, const QString& name)
{
    if (station >= 0 && station < static_cast<int>(network_.DeviceNames().size()))
        network_.DeviceNames()[static_cast<size_t>(station)] = name;
}

void CMainFrame::DeviceNameChanged(int station)
{
    invList_->NameChanged(station);
    // Kept at once as well as at shutdown: a name typed in is not lost to a crash.
    {
        QSettings s(kCompanyKey, kApplicationKey);
        SaveDeviceNames(s, network_.DeviceNames());
    }
    frames_.Broadcast(ToolNotice::InvNameChanged, station);
}

void CMainFrame::UpdateCommands()
{
    if (!invList_ || actions_.empty())
        return;
    const bool scanning = network_.Scanning();
    const bool hasRows = invList_->Model().rowCount() > 0;
    const bool selected = invList_->SelectedStation() != nullptr;
    const bool connected = SelectedConnected() != nullptr;
    const bool graphWatch = network_.GraphWatch();
    Action(kCmdConnect)->setEnabled(!scanning);
    Action(kCmdStop)->setEnabled(scanning);
    // Cleaning the list resets records, so it must not run under a scan that is filling them.
    Action(kCmdUpdate)->setEnabled(hasRows && !scanning);
    Action(kCmdReConnect)->setEnabled(selected && !scanning);
    Action(kCmdInformation)->setEnabled(connected && tabs_->currentWidget() == invList_);
    // A tool window this build has no kind for is shown as not available rather than doing nothing.
    const auto tool = [this](Command command, int kind, bool enable) {
        QAction* a = Action(command);
        const bool available = frames_.HasKind(kind);
        a->setEnabled(available && enable);
        const QString tip = a->property("statusTip0").toString();
        a->setStatusTip(available ? tip : tip + QStringLiteral(" (not available in this build)"));
    };
    tool(kCmdKeypad, kKindKeypad, connected && !graphWatch);
    tool(kCmdOnlineEditor, kKindParameterEditor, connected && !graphWatch);
    tool(kCmdOfflineEditor, kKindParameterEditor, frames_.FreeOfflineStation() >= kFirstOfflineSlot);
    tool(kCmdGraphMonitor, kKindGraphMonitor, true);
    Action(kCmdStartEventLog)->setEnabled(!log_.Logging());
    Action(kCmdStopEventLog)->setEnabled(log_.Logging());
}

// --- file commands ---------------------------------------------------------------------------

void CMainFrame::OnStartEventLog()
{
    if (!log_.Start(settings_.logFilePath)) {
        ShowErrorNow(log_.FailureText());
    } else {
        settings_.logEnable = 1;
    }
    UpdateCommands();
}

void CMainFrame::OnStopEventLog()
{
    log_.Stop();
    settings_.logEnable = 0;
    UpdateCommands();
}

QString CMainFrame::AskSavePath(const QString& title, const QString& filter, const QString& suffix,
                                const QString& current)
{
    QFileDialog dialog(this, title, QFileInfo(current).absolutePath(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);  // asked below, in our own words
    dialog.selectFile(current);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

QString CMainFrame::ChooseSavePath(const QString& title, const QString& filter, const QString& suffix,
                                   const QString& current)
{
    const QString chosen = savePathDialog_ ? savePathDialog_(title, filter, suffix, current)
                                           : AskSavePath(title, filter, suffix, current);
    if (chosen.isEmpty() || chosen == current)
        return {};
    if (QFileInfo::exists(chosen) &&
        !messages_->AskYesNo(
            QStringLiteral("%1 file is already exist\nDo you want to over-write ?").arg(chosen).toStdString(),
            kCaption))
        return {};
    return chosen;
}

void CMainFrame::OnLogFilePath()
{
    const QString path =
        ChooseSavePath(QStringLiteral("Event Log File Path"), QStringLiteral("Event Log File (*.txt)"),
                       QStringLiteral("txt"), settings_.logFilePath);
    if (path.isEmpty())
        return;
    if (log_.ChangePath(path))
        settings_.logFilePath = path;
    else
        ShowErrorNow(log_.FailureText());
    UpdateCommands();
}

void CMainFrame::OnFaultFilePath()
{
    const QString path = ChooseSavePath(QStringLiteral("Fault History File Path"),
                                        QStringLiteral("Fault History File (*.log)"), QStringLiteral("log"),
                                        settings_.faultFilePath);
    if (path.isEmpty())
        return;
    if (history_.ChangePath(path)) {
        settings_.faultFilePath = path;
    } else {
        queuedMessages_.Flush();  // the file's own message first
        ShowErrorNow(CHistory::ErrorText(CHistory::kPathChangeFailed));
    }
}

void CMainFrame::OnEraseFaultHistory()
{
    if (messages_->AskYesNo("Erase all fault history ?", kCaption))
        history_.Erase();
}

}  // namespace vm
