#include "scope/ScopeFrame.h"

#include "frames/ToolHost.h"
#include "platform/Settings.h"
#include "scope/ScopeView.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QStatusBar>

namespace vm::scope {

namespace {

enum Command : int {
    kOpen = 32789,
    kSave = 32790,
    kSaveAs = 32791,
    kPrint = 32792,
    kGrid = 32793,
    kLegend = 32794,
    kStartMonitor = 32795,
    kStopMonitor = 32796,
    kStartRecord = 32797,
    kStopRecord = 32798,
    kStartTrigger = 32799,
    kStopTrigger = 32800,
    kCursor1 = 32801,
    kAutoScale = 32805,
    kSvg = 32806,
    kJpeg = 32807,
    kBmp = 32808,
    kClipboard = 32809,
    kModeNormal = 32810,
    kModeCursor = 32811,
    kModeZoom = 32812,
    kModeScroll = 32813,
    kGraphWatch = 32832,
    kPng = 32900,
};

}  // namespace

CScopeFrame::CScopeFrame(ToolHost& host) : CFloatFrame(host, kKindGraphMonitor, kGraphMonitorKey)
{
    setWindowTitle(QString::fromLatin1(kCaption));
    view_ = new CScopeView(host, this);
    setCentralWidget(view_);
    CreateRecentFileList(QStringLiteral("Scope"), 8);
    BuildMenus();
    watchPane_ = new QLabel(this);
    watchPane_->setMinimumWidth(100);
    statePane_ = new QLabel(this);
    statePane_->setMinimumWidth(120);
    statusBar()->addPermanentWidget(watchPane_);
    statusBar()->addPermanentWidget(statePane_);
    connect(view_, &CScopeView::StateChanged, this, &CScopeFrame::UpdateCommands);
}

CScopeFrame::~CScopeFrame() = default;

void CScopeFrame::BuildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    AddCommand(file, kOpen, QStringLiteral("&Open Scope File..."), QKeySequence(Qt::CTRL | Qt::Key_O),
               [this] { OpenScopeFile(); });
    AddCommand(file, kSave, QStringLiteral("&Save Scope File"), QKeySequence(Qt::CTRL | Qt::Key_S),
               [this] { SaveScopeFile(); });
    AddCommand(file, kSaveAs, QStringLiteral("Save &As..."), QKeySequence(), [this] { SaveScopeFileAs(); });
    file->addSeparator();
    QMenu* image = file->addMenu(QStringLiteral("Graph Image Save"));
    AddCommand(image, kSvg, QStringLiteral("&SVG File (in place of Meta File)..."),
               QKeySequence(Qt::CTRL | Qt::Key_M), [this] { ExportPicture(StripChart::PictureFormat::Svg); });
    AddCommand(image, kJpeg, QStringLiteral("&JPEG File..."), QKeySequence(Qt::CTRL | Qt::Key_J),
               [this] { ExportPicture(StripChart::PictureFormat::Jpeg); });
    AddCommand(image, kBmp, QStringLiteral("&Bitmap File..."), QKeySequence(Qt::CTRL | Qt::Key_B),
               [this] { ExportPicture(StripChart::PictureFormat::Bmp); });
    AddCommand(image, kPng, QStringLiteral("&PNG File..."), QKeySequence(),
               [this] { ExportPicture(StripChart::PictureFormat::Png); });
    AddCommand(file, kClipboard, QStringLiteral("&Copy To Clipboard"), QKeySequence(Qt::CTRL | Qt::Key_C),
               [this] { view_->CopyToClipboard(); });
    AddCommand(file, kPrint, QStringLiteral("&Print Graph Image..."), QKeySequence(Qt::CTRL | Qt::Key_P),
               [this] { Print(); });
    file->addSeparator();
    QAction* recentEnd = file->addSeparator();
    AttachRecentFileMenu(file, recentEnd);
    file->addAction(ExitAction());

    QMenu* op = menuBar()->addMenu(QStringLiteral("&Operation"));
    AddCommand(op, kStartMonitor, QStringLiteral("&Start Monitor"), QKeySequence(Qt::Key_F1),
               [this] { view_->StartMonitor(); });
    AddCommand(op, kStopMonitor, QStringLiteral("Stop Monitor"), QKeySequence(Qt::CTRL | Qt::Key_F1),
               [this] { view_->StopMonitor(); });
    AddCommand(op, kStartRecord, QStringLiteral("Start &Record"), QKeySequence(Qt::Key_F2),
               [this] { view_->StartRecord(); });
    AddCommand(op, kStopRecord, QStringLiteral("Stop Record"), QKeySequence(Qt::CTRL | Qt::Key_F2),
               [this] { view_->StopRecord(); });
    AddCommand(op, kStartTrigger, QStringLiteral("Start &Trigger"), QKeySequence(Qt::Key_F3),
               [this] { view_->StartTrigger(); });
    AddCommand(op, kStopTrigger, QStringLiteral("Stop Trigger"), QKeySequence(Qt::CTRL | Qt::Key_F3),
               [this] { view_->StopTrigger(); });
    op->addSeparator();
    QAction* watch = AddCommand(op, kGraphWatch, QStringLiteral("Graph Watch Mode"), QKeySequence(), nullptr);
    watch->setCheckable(true);
    connect(watch, &QAction::triggered, this, [this] { view_->ToggleGraphWatchMode(); });

    QMenu* setup = menuBar()->addMenu(QStringLiteral("&Setup"));
    QMenu* cursor = setup->addMenu(QStringLiteral("Cursor Channel"));
    auto* cursorGroup = new QActionGroup(this);
    for (int i = 0; i < 4; ++i) {
        QAction* a = AddCommand(cursor, kCursor1 + i, QStringLiteral("Channel&%1").arg(i + 1),
                                QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + i)), nullptr);
        a->setCheckable(true);
        cursorGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, i] { view_->SetCursorChannel(i); });
    }
    QMenu* modes = setup->addMenu(QStringLiteral("Graph Screen Mode"));
    auto* modeGroup = new QActionGroup(this);
    const std::pair<const char*, StripChart::Mode> modeList[4] = {{"&Normal", StripChart::Mode::Normal},
                                                                  {"&Cursor", StripChart::Mode::Cursor},
                                                                  {"&Zoom", StripChart::Mode::Zoom},
                                                                  {"&Scroll", StripChart::Mode::Scroll}};
    for (int i = 0; i < 4; ++i) {
        QAction* a = AddCommand(modes, kModeNormal + i, QString::fromLatin1(modeList[i].first),
                                QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_1 + i)), nullptr);
        a->setCheckable(true);
        modeGroup->addAction(a);
        const StripChart::Mode mode = modeList[i].second;
        connect(a, &QAction::triggered, this, [this, mode] { view_->SetScreenMode(mode); });
    }
    setup->addSeparator();
    QAction* autoScale = AddCommand(setup, kAutoScale, QStringLiteral("&Y-Axis Auto Scale"),
                                    QKeySequence(Qt::CTRL | Qt::Key_Y), nullptr);
    autoScale->setCheckable(true);
    connect(autoScale, &QAction::triggered, this, [this](bool on) { view_->SetAutoScale(on); });
    QAction* grid =
        AddCommand(setup, kGrid, QStringLiteral("&Grid"), QKeySequence(Qt::CTRL | Qt::Key_G), nullptr);
    grid->setCheckable(true);
    connect(grid, &QAction::triggered, this, [this](bool on) { view_->SetShowGrid(on); });
    QAction* legend =
        AddCommand(setup, kLegend, QStringLiteral("&Lable"), QKeySequence(Qt::CTRL | Qt::Key_L), nullptr);
    legend->setCheckable(true);
    connect(legend, &QAction::triggered, this, [this](bool on) { view_->SetShowLegend(on); });
}

void CScopeFrame::InitialUpdate()
{
    view_->InitialUpdate();
    // The first opening fits the frame to the form; later ones keep the stored placement.
    if (view_->Settings().first)
        resize(sizeHint().expandedTo(QSize(1040, 760)));
    UpdateCommands();
}

void CScopeFrame::UpdateCommands()
{
    const bool connected = view_->AnyConnected();
    const bool mon = view_->Monitoring();
    const bool rec = view_->Recording();
    const bool trig = view_->TriggerRunning();
    CommandAction(kStartMonitor)->setEnabled(connected && !mon);
    CommandAction(kStopMonitor)->setEnabled(connected && mon);
    CommandAction(kStartRecord)->setEnabled(connected && mon && !rec);
    CommandAction(kStopRecord)->setEnabled(connected && mon && rec);
    CommandAction(kStartTrigger)->setEnabled(connected && mon && !trig);
    CommandAction(kStopTrigger)->setEnabled(connected && mon && trig);
    CommandAction(kGraphWatch)->setEnabled(connected);
    CommandAction(kGraphWatch)->setChecked(view_->GraphWatchSetting());
    for (int id : {kOpen, kSave, kSaveAs, kSvg, kJpeg, kBmp, kPng, kPrint})
        CommandAction(id)->setEnabled(!mon);
    const int mode = static_cast<int>(view_->Chart().ScreenMode());
    const int modeIds[4] = {0, 4, 8, 3};
    for (int i = 0; i < 4; ++i) {
        CommandAction(kModeNormal + i)->setEnabled(!mon);
        CommandAction(kModeNormal + i)->setChecked(modeIds[i] == mode);
        CommandAction(kCursor1 + i)->setChecked(view_->Settings().cursorChannel == i);
    }
    CommandAction(kAutoScale)->setChecked(view_->Settings().autoScale);
    CommandAction(kGrid)->setChecked(view_->Settings().showGrid);
    CommandAction(kLegend)->setChecked(view_->Settings().showLegend);
    UpdatePanes();
    UpdateTitle();
}

QString CScopeFrame::TriggerPaneText() const
{
    return statePane_->text();
}

bool CScopeFrame::GraphWatchPaneShown() const
{
    return !watchPane_->text().isEmpty();
}

void CScopeFrame::UpdatePanes()
{
    watchPane_->setText(Host().GraphWatch() ? QStringLiteral("Graph Watch Mode") : QString());
    watchPane_->setStyleSheet(QStringLiteral("color: red;"));
    if (view_->TriggerOccurred()) {
        statePane_->setText(QStringLiteral("Trigger Occured !!!"));
        statePane_->setStyleSheet(QStringLiteral("color: red;"));
    } else if (view_->Recording()) {
        statePane_->setText(QStringLiteral("Recording..."));
        statePane_->setStyleSheet(QStringLiteral("color: blue;"));
    } else {
        statePane_->clear();
    }
}

void CScopeFrame::UpdateTitle()
{
    const QString path = view_->ScopeFilePath();
    setWindowTitle(path.isEmpty() ? QString::fromLatin1(kCaption)
                                  : QStringLiteral("%1 - %2").arg(QString::fromLatin1(kCaption),
                                                                  QFileInfo(path).fileName()));
}

void CScopeFrame::OnInvConnected(int)
{
    view_->RebuildStationLists();
}

void CScopeFrame::OnInvDisconnected(int)
{
    view_->RebuildStationLists();
}

void CScopeFrame::OnGraphWatchChanged()
{
    UpdateCommands();
}

bool CScopeFrame::AboutToClose()
{
    view_->Shutdown();
    SaveRecentFiles();
    return true;
}

bool CScopeFrame::OpenRecentFile(const QString& path)
{
    if (view_->Monitoring())
        return true;  // kept in the list; opening waits until monitoring stops
    if (!view_->OpenScopeFile(path))
        return false;
    AddRecentFile(view_->ScopeFilePath());
    return true;
}

void CScopeFrame::OpenScopeFile()
{
    const QString path =
        CFloatFrame::OpenFileName(this, QStringLiteral("Open Scope File"), StoredFolder("Scope File Dir"),
                                  QStringLiteral("Scope File (*.sco)"));
    if (path.isEmpty())
        return;
    if (view_->OpenScopeFile(path)) {
        AddRecentFile(view_->ScopeFilePath());
        StoreFolder("Scope File Dir", path);
    }
}

void CScopeFrame::SaveScopeFile()
{
    const QString path = view_->ScopeFilePath();
    if (path.isEmpty())
        SaveScopeFileAs();
    else if (view_->SaveScopeFile(path))
        AddRecentFile(view_->ScopeFilePath());
}

void CScopeFrame::SaveScopeFileAs()
{
    // The dialog proposes the current name; cancelling keeps it.
    const QString current = view_->ScopeFilePath();
    QString path = CFloatFrame::SaveFileName(
        this, QStringLiteral("Save Scope File"),
        ProposedFileName(current.isEmpty() ? StoredFolder("Scope File Dir") : QString(), current,
                         QStringLiteral(".sco")),
        QStringLiteral("Scope File (*.sco)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".sco");
    StoreFolder("Scope File Dir", path);
    if (view_->SaveScopeFile(path))
        AddRecentFile(view_->ScopeFilePath());
    UpdateTitle();
}

void CScopeFrame::ExportPicture(StripChart::PictureFormat format)
{
    const char* filters[4] = {"SVG File (*.svg)", "JPEG File (*.jpg)", "BMP File (*.bmp)",
                              "PNG File (*.png)"};
    const char* exts[4] = {".svg", ".jpg", ".bmp", ".png"};
    const int f = static_cast<int>(format);
    // Named after the scope file the picture shows, when it has one.
    QString path = CFloatFrame::SaveFileName(
        this, QStringLiteral("Graph Image Save"),
        ProposedFileName(StoredFolder("ScopeGraph File Dir"), view_->ScopeFilePath(), QLatin1String(exts[f])),
        QString::fromLatin1(filters[f]));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1String(exts[f]);
    if (view_->ExportPicture(path, format))
        StoreFolder("ScopeGraph File Dir", path);
}

void CScopeFrame::Print()
{
    // The print dialog also offers printing to a PDF file.
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, this);
    if (RunModal(dialog) != QDialog::Accepted)
        return;
    view_->PrintTo(printer);
}

}  // namespace vm::scope
