#include "editor/ParaFrame.h"

#include "editor/ParaDrag.h"
#include "editor/ParaListView.h"
#include "editor/ParaTreeView.h"
#include "frames/ToolFrameList.h"
#include "frames/ToolHost.h"
#include "paramdb/ParameterData.h"
#include "paramdb/UserGroup.h"
#include "platform/Settings.h"
#include "report/ReportFrame.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>

#include <utility>

namespace vm {

namespace {

constexpr int kPaneGraphWatch = 61359;
constexpr int kPaneOnline = 61281;
constexpr int kPaneModel = 61282;
constexpr int kPaneVersion = 61283;
constexpr int kPaneMode = 61284;
constexpr int kPaneTime1 = 61285;
constexpr int kPaneQuantity = 61286;

QString LayoutKey(int station)
{
    return QStringLiteral("Main/Para PaneLayout%1").arg(station);
}

}  // namespace

void CParaFrame::ReportHeaderChanged()
{
    if (auto* report = qobject_cast<CReportFrame*>(report_.data()))
        report->HeaderChanged();
}

CParaFrame::CParaFrame(ToolHost& host, int station, ParaFrameParts parts)
    : CFloatFrame(host, kKindParameterEditor, station), data_(host.Record(station).paramData),
      identity_(NewEditorIdentity()), parts_(std::move(parts)), messages_(CFloatFrame::Messages()),
      files_(this)
{
    setObjectName(QStringLiteral("ParaFrame%1").arg(station));
    logic_ = std::make_unique<ParaFrameLogic>(host, station, data_, messages_, *this, *this);

    list_ = new CParaListView(data_, station, messages_, identity_, this);
    setCentralWidget(list_);
    tree_ = new CParaTreeView(data_, identity_, this);
    tree_->setObjectName(QStringLiteral("ParaTree"));
    dock_ = new QDockWidget(QStringLiteral("Parameter Tree"), this);
    dock_->setObjectName(QStringLiteral("ParameterTreePane"));
    dock_->setWidget(tree_);
    dock_->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::LeftDockWidgetArea, dock_);
    resizeDocks({dock_}, {200}, Qt::Horizontal);

    BuildStatusBar();
    BuildCommands();

    connect(tree_, &CParaTreeView::NodeChanged, this, &CParaFrame::ShowSelectedNode);
    connect(tree_, &CParaTreeView::CloseUserGroupRequested, this, &CParaFrame::CloseSelectedUserGroup);
    // A group rows were dropped on is the one the Add command fills next.
    connect(tree_, &CParaTreeView::UserGroupChanged, this, [this](CCustom* g) {
        logic_->SetCurrentUserGroup(g);
        UserGroupFilled(*g);
    });
    connect(tree_, &CParaTreeView::NodeActivated, this, [this] {
        const auto node = tree_->SelectedNode();
        if (online_ && Loaded() && node && node->kind != NodeKind::UserGroupRoot && !Host().GraphWatch())
            online_->ReadNode(*node);
    });
    connect(list_, &CParaListView::RowsChanged, this, &CParaFrame::UpdatePanes);
    connect(list_, &CParaListView::OnlineEditRequested, this, [this](int row) {
        if (online_ && Loaded() && !Host().GraphWatch())
            online_->EditRow(row);
    });
    connect(&list_->Model(), &ParaListModel::UndoStateChanged, this, &CParaFrame::UpdateCommands);
    connect(list_->Table()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CParaFrame::UpdateCommands);

    if (!Offline() && parts_.online) {
        online_ = parts_.online(*this);
        if (online_)
            list_->Model().onEntryDiscarded = [this](const CCustom::Entry* e) {
                if (online_)
                    online_->EntryGone(e);
            };
    }

    tree_->Build();
    setWindowTitle(logic_->Title());
    CreateRecentFileList(QStringLiteral("Para"), 8);
    {
        QSettings s(kCompanyKey, kApplicationKey);
        restoreState(s.value(LayoutKey(station)).toByteArray());
    }
    resize(760, 520);
    UpdatePanes();
    UpdateCommands();
}

CParaFrame::~CParaFrame()
{
    // The views refer to the user groups the logic owns.
    CParaTreeView* tree = std::exchange(tree_, nullptr);
    CParaListView* list = std::exchange(list_, nullptr);
    delete tree;
    delete list;
}

bool CParaFrame::Loaded() const
{
    return data_ && data_->IsLoaded();
}

void CParaFrame::BuildCommands()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    AddCommand(file, kNewUserGroup, QStringLiteral("&New User Group"), QKeySequence(QStringLiteral("Ctrl+N")),
               [this] { logic_->NewUserGroup(); });
    AddCommand(file, kOpenUserGroup, QStringLiteral("&Open User Group..."),
               QKeySequence(QStringLiteral("Ctrl+O")), [this] { logic_->OpenUserGroup(); });
    AddCommand(file, kSaveUserGroup, QStringLiteral("&Save User Group"),
               QKeySequence(QStringLiteral("Ctrl+S")), [this] {
                   if (CCustom* g = tree_->SelectedUserGroup())
                       logic_->SaveUserGroup(*g);
               });
    AddCommand(file, kCloseUserGroup, QStringLiteral("&Close User Group"),
               QKeySequence(QStringLiteral("Ctrl+C")), [this] { CloseSelectedUserGroup(); });
    file->addSeparator();
    AddCommand(file, kReadParaFile, QStringLiteral("Read Parameter &File..."),
               QKeySequence(QStringLiteral("Ctrl+L")), [this] { logic_->ReadParameterFile(); });
    AddCommand(file, kSaveParaFile, QStringLiteral("&Save Parameter File..."),
               QKeySequence(QStringLiteral("Ctrl+M")), [this] { logic_->SaveParameterFile(); });
    AddCommand(file, kSaveTextFile, QStringLiteral("Save &Text File..."),
               QKeySequence(QStringLiteral("Ctrl+T")), [this] {
                   logic_->SaveTextFile([this] {
                       if (online_) {
                           tree_->SelectGroupRoot();
                           online_->ReadAllGroups();
                       }
                   });
               });
    file->addSeparator();
    QAction* exit = ExitAction();
    AttachRecentFileMenu(file, exit);
    file->addAction(exit);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    AddCommand(edit, kUndo, QStringLiteral("&Undo"), QKeySequence(QStringLiteral("Ctrl+Z")), [this] {
        if (online_)
            online_->Undo();
        else if (Offline())
            list_->Model().Undo();
    });
    AddCommand(edit, kRedo, QStringLiteral("&Redo"), QKeySequence(QStringLiteral("Ctrl+Y")), [this] {
        if (online_)
            online_->Redo();
        else if (Offline())
            list_->Model().Redo();
    });
    edit->addSeparator();
    // Dragging rows onto a user group has this keyboard and menu twin; Insert as well as Ctrl+G.
    QAction* add = AddCommand(edit, kAddToUserGroup, QStringLiteral("&Add to User Group"),
                              QKeySequence(QStringLiteral("Ctrl+G")), [this] { AddSelectedToUserGroup(); });
    add->setShortcuts({QKeySequence(QStringLiteral("Ctrl+G")), QKeySequence(Qt::Key_Insert)});
    list_->Table()->setContextMenuPolicy(Qt::ActionsContextMenu);
    list_->Table()->addAction(add);

    QMenu* op = menuBar()->addMenu(QStringLiteral("&Operation"));
    const auto transfer = [this](int operation) {
        return [this, operation] {
            if (online_) {
                online_->Transfer(operation);
                list_->Refresh(true);
            }
        };
    };
    AddCommand(op, kUpload, QStringLiteral("&Upload..."), QKeySequence(Qt::Key_F5), transfer(0));
    AddCommand(op, kDownload, QStringLiteral("&Download..."), QKeySequence(Qt::Key_F6), transfer(1));
    AddCommand(op, kCompare, QStringLiteral("&Compare..."), QKeySequence(Qt::Key_F7), transfer(2));
    op->addSeparator();
    QAction* onlineEdit = AddCommand(op, kOnlineEdit, QStringLiteral("Online Parameter &Edit..."),
                                     QKeySequence(Qt::Key_F2), [this] {
                                         const std::vector<int> rows = list_->SelectedRows();
                                         if (online_ && !rows.empty())
                                             online_->EditRow(rows.front());
                                     });
    // Enter edits online only; offline it must reach the in-place editor.
    if (!Offline())
        onlineEdit->setShortcuts({QKeySequence(Qt::Key_F2), QKeySequence(Qt::Key_Return)});
    AddCommand(op, kUpdateList, QStringLiteral("Update &Parameter List..."), QKeySequence(Qt::Key_F3),
               [this] {
                   if (const auto node = tree_->SelectedNode(); node && online_)
                       online_->ReadNode(*node);
               });
    op->addSeparator();
    AddCommand(op, kReport, QStringLiteral("&Report"), QKeySequence(QStringLiteral("Ctrl+R")),
               [this] { Report(); });

    QMenu* setup = menuBar()->addMenu(QStringLiteral("&Setup"));
    AddCommand(setup, kParaMode, QStringLiteral("Parameter &Mode..."), QKeySequence(QStringLiteral("Ctrl+E")),
               [this] { ParameterMode(); });
    AddCommand(setup, kReportHeader, QStringLiteral("Report &Header..."),
               QKeySequence(QStringLiteral("Ctrl+H")), [this] {
                   if (parts_.reportHeader && parts_.reportHeader(*this))
                       ReportHeaderChanged();
               });

    for (QMenu* m : {file, edit, op, setup})
        connect(m, &QMenu::aboutToShow, this, &CParaFrame::UpdateCommands);

    QToolBar* bar = addToolBar(QStringLiteral("Tool Bar 1"));
    bar->setObjectName(QStringLiteral("ToolBar1"));
    for (int id : {kNewUserGroup, kOpenUserGroup, kSaveUserGroup, kUndo, kRedo, kReadParaFile, kSaveParaFile,
                   kSaveTextFile, kUpload, kDownload, kCompare, kReport})
        bar->addAction(CommandAction(id));
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
}

void CParaFrame::BuildStatusBar()
{
    struct Pane {
        int id;
        const char* tip;
        int width;
    };
    static constexpr Pane kPanes[] = {
        {kPaneGraphWatch, "Graph Watch Mode", 100}, {kPaneOnline, "Online Mode", 70},
        {kPaneModel, "Inverter Model", 60},         {kPaneVersion, "Inverter Verion", 80},
        {kPaneMode, "Parameter Mode", 80},          {kPaneTime1, "TIME1 Value", 100},
        {kPaneQuantity, "Parameter Quantity", 180},
    };
    for (const Pane& p : kPanes) {
        auto* label = new QLabel(this);
        label->setToolTip(QString::fromLatin1(p.tip));
        label->setMinimumWidth(p.width);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addPermanentWidget(label);
        panes_[p.id] = label;
    }
    panes_[kPaneGraphWatch]->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));
    panes_[kPaneOnline]->setStyleSheet(QStringLiteral("color: rgb(0, 0, 255);"));
}

ParaPaneTexts CParaFrame::PaneTexts() const
{
    return logic_->Panes(list_ ? list_->RowCount() : 0);
}

void CParaFrame::UpdatePanes()
{
    if (!list_)
        return;
    const ParaPaneTexts p = PaneTexts();
    panes_[kPaneGraphWatch]->setText(p.graphWatch);
    panes_[kPaneOnline]->setText(p.online);
    panes_[kPaneModel]->setText(p.model);
    panes_[kPaneVersion]->setText(p.version);
    panes_[kPaneMode]->setText(p.mode);
    panes_[kPaneTime1]->setText(p.time1);
    panes_[kPaneQuantity]->setText(p.quantity);
}

void CParaFrame::UpdateCommands()
{
    if (!list_ || !tree_)
        return;
    const auto node = tree_->SelectedNode();
    const bool userGroup = node && node->kind == NodeKind::UserGroup;
    const bool notUserRoot = node && node->kind != NodeKind::UserGroupRoot;
    const bool groups = node && (node->kind == NodeKind::Group || node->kind == NodeKind::GroupRoot);
    const bool watch = Host().GraphWatch();
    const bool online = !Offline() && online_ != nullptr;
    const auto set = [this](int id, bool on) {
        if (QAction* a = CommandAction(id))
            a->setEnabled(on);
    };
    set(kSaveUserGroup, userGroup);
    set(kCloseUserGroup, userGroup);
    // Online: only through the drive, one write at a time.
    const bool undoable = Offline() || (online_ && !online_->UndoPending());
    set(kUndo, undoable && list_->Model().Stacks().CanUndo());
    set(kRedo, undoable && list_->Model().Stacks().CanRedo());
    for (int id : {kUpload, kDownload, kCompare})
        set(id, online && Loaded() && !watch);
    set(kSaveTextFile, groups && Loaded() && (Offline() || !watch));
    set(kOnlineEdit, online && Loaded() && !list_->SelectedRows().empty() && !watch);
    set(kAddToUserGroup, Loaded() && !list_->SelectedRows().empty());
    tree_->MarkCurrentUserGroup(logic_->CurrentUserGroup());
    set(kUpdateList, online && Loaded() && notUserRoot && !watch);
    set(kReport, notUserRoot && Loaded() && parts_.report != nullptr);
    set(kReportHeader, parts_.reportHeader != nullptr);
}

void CParaFrame::ShowSelectedNode()
{
    if (!list_ || !tree_)
        return;
    if (CCustom* g = tree_->SelectedUserGroup())
        logic_->SetCurrentUserGroup(g);
    list_->Show(tree_->SelectedNode());
    UpdateCommands();
}

void CParaFrame::CloseSelectedUserGroup()
{
    if (CCustom* g = tree_->SelectedUserGroup())
        logic_->CloseUserGroup(*g);
}

void CParaFrame::AddSelectedToUserGroup()
{
    std::vector<uint16_t> addresses;
    for (int row : list_->SelectedRows())
        if (const CItem* item = list_->Model().ItemAt(row))
            addresses.push_back(static_cast<uint16_t>(item->address));
    const ParaFrameLogic::Added added = logic_->AddToCurrentUserGroup(addresses);
    statusBar()->showMessage(ParaFrameLogic::AddedText(added), 5000);
}

void CParaFrame::ParameterMode()
{
    std::optional<ModeChoice> choice;
    {
        EditorMessages::Guard g(messages_);
        choice = parts_.modeRunner(Host(), Station(), ModeUse::Reopen, this);
    }
    if (!choice || !data_)
        return;
    data_->SetMode(choice->mode, choice->time1);
    list_->Refresh(false);
    UpdatePanes();
}

void CParaFrame::Report()
{
    const auto node = tree_->SelectedNode();
    if (!node || node->kind == NodeKind::UserGroupRoot || !Loaded() || !parts_.report)
        return;
    ReportNode r;
    if (node->kind == NodeKind::Group) {
        r.kind = ReportNodeKind::Group;
        r.name = node->group->name;
    } else if (node->kind == NodeKind::UserGroup) {
        r.kind = ReportNodeKind::UserGroup;
        r.name = node->custom->Name();
    }
    report_ = parts_.report(*this, r, report_);
}

const CCustom* CParaFrame::ReportUserGroup(const std::string& name) const
{
    return logic_->FindUserGroupByName(name);
}

void CParaFrame::ReportClosed()
{
    report_ = nullptr;
    if (std::exchange(closeAfterReport_, false)) {
        QTimer::singleShot(0, this, [this] { CloseFrame(); });
        return;
    }
    if (editorClosing_)
        return;
    raise();
    activateWindow();
}

void CParaFrame::SetFileChooser(FileChooser* chooser)
{
    files_ = chooser ? chooser : this;
    logic_->SetFileChooser(*files_);
}

bool CParaFrame::CanCloseFrame()
{
    return !HasOpenDialog() && messages_.Depth() == 0;
}

bool CParaFrame::OpenRecentFile(const QString& path)
{
    return logic_->OpenUserGroupFile(path);
}

void CParaFrame::UserGroupAdded(CCustom& group, bool select)
{
    tree_->AddUserGroupNode(&group, select);
    UpdateCommands();
}

void CParaFrame::UserGroupRenamed(CCustom& group)
{
    tree_->RenameUserGroupNode(&group);
}

void CParaFrame::UserGroupFilled(CCustom& group)
{
    if (list_->Model().ShownUserGroup() == &group)
        list_->Show(tree_->SelectedNode());
    UpdatePanes();
}

void CParaFrame::UserGroupClosing(CCustom& group)
{
    list_->DropUserGroup(group);
    tree_->RemoveUserGroupNode(&group);
    UpdateCommands();
    // The group is still the logic's until this returns: the next current one is marked after.
    QTimer::singleShot(0, this, &CParaFrame::UpdateCommands);
}

void CParaFrame::ValuesChanged()
{
    list_->Refresh(false);
    UpdatePanes();
}

void CParaFrame::RecentFileUsed(const QString& path)
{
    AddRecentFile(path);
}

void CParaFrame::StopOnlineActivity()
{
    if (online_) {
        online_->CancelRead();
        online_->StopEditing();
    }
    list_->StopEditing();
}

void CParaFrame::OnInvDisconnected(int)
{
    if (Offline())
        return;
    StopOnlineActivity();
    CloseFrame();
}

void CParaFrame::OnInvNameChanged(int)
{
    if (auto* report = qobject_cast<CReportFrame*>(report_.data()))
        report->DeviceNameChanged(Station());
    setWindowTitle(logic_->Title());
}

void CParaFrame::OnGraphWatchChanged()
{
    if (!Offline() && Host().GraphWatch())
        StopOnlineActivity();
    UpdatePanes();
    UpdateCommands();
}

bool CParaFrame::AboutToClose()
{
    editorClosing_ = true;
    // The report first; it reports back through ReportClosed. A report under its own dialog
    // closes once that has returned, and this editor, which it reads from, closes after it.
    if (QWidget* report = report_.data()) {
        if (auto* frame = qobject_cast<CReportFrame*>(report))
            frame->CloseFrame();
        else
            report->close();
    }
    if (report_) {
        closeAfterReport_ = true;
        editorClosing_ = false;
        return false;
    }
    if (!logic_->AskSaveParameters() || !logic_->CloseAllUserGroups()) {
        editorClosing_ = false;
        return false;
    }
    SaveRecentFiles();
    if (Offline())
        Host().Record(Station()).Reset();
    QSettings s(kCompanyKey, kApplicationKey);
    s.setValue(LayoutKey(Station()), saveState());
    return true;
}

QString CParaFrame::OpenFileName(const QString& title, const QString& filter, const QString& folder)
{
    QFileDialog dlg(this, title, folder, filter);
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    return RunModal(dlg) == QDialog::Accepted && !dlg.selectedFiles().isEmpty() ? dlg.selectedFiles().front()
                                                                                : QString();
}

QString CParaFrame::SaveFileName(const QString& title, const QString& filter, const QString& folder,
                                 bool promptOverwrite)
{
    QFileDialog dlg(this, title, folder, filter);
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, !promptOverwrite);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    const int open = filter.indexOf(QLatin1String("*."));
    if (open >= 0)
        dlg.setDefaultSuffix(filter.mid(open + 2, 3));
    return RunModal(dlg) == QDialog::Accepted && !dlg.selectedFiles().isEmpty() ? dlg.selectedFiles().front()
                                                                                : QString();
}

}  // namespace vm
