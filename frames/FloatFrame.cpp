#include "frames/FloatFrame.h"

#include "frames/ToolFrameList.h"
#include "frames/ToolHost.h"
#include "platform/Settings.h"

#include <QAction>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QMenu>
#include <QSettings>
#include <QTimer>

#include <algorithm>

namespace vm {

CFloatFrame::CFloatFrame(ToolHost& host, int kind, int station)
    : QMainWindow(nullptr), host_(host), kind_(kind), station_(station), messages_(*this, host)
{
    setAttribute(Qt::WA_DeleteOnClose, false);  // the list decides when a frame is freed
}

CFloatFrame::~CFloatFrame()
{
    if (list_)
        list_->Forget(this);
}

void CFloatFrame::CreateRecentFileList(const QString& section, int count)
{
    if (count <= 0)
        return;
    recent_ = std::make_unique<RecentFileList>(section, count);
    QSettings s(kCompanyKey, kApplicationKey);
    recent_->Read(s);
}

void CFloatFrame::AddRecentFile(const QString& path)
{
    if (recent_)
        recent_->Add(path);
}

void CFloatFrame::SaveRecentFiles()
{
    if (!recent_)
        return;
    QSettings s(kCompanyKey, kApplicationKey);
    recent_->Write(s);
}

void CFloatFrame::OpenRecentEntry(int index)
{
    if (!recent_ || index < 0 || index >= recent_->Files().size())
        return;
    const QString path = recent_->Files()[index];
    if (!OpenRecentFile(path))
        recent_->Remove(path);
}

void CFloatFrame::AttachRecentFileMenu(QMenu* menu, QAction* before)
{
    connect(menu, &QMenu::aboutToShow, this, [this, menu, before] {
        for (QAction* a : menu->actions())
            if (a->property("recentEntry").isValid())
                menu->removeAction(a), a->deleteLater();
        if (!recent_ || recent_->Files().isEmpty()) {
            auto* none = new QAction(QStringLiteral("Recent File"), menu);
            none->setEnabled(false);
            none->setProperty("recentEntry", -1);
            menu->insertAction(before, none);
            return;
        }
        const QStringList files = recent_->Files();
        for (int i = 0; i < files.size(); ++i) {
            auto* a = new QAction(RecentFileList::MenuText(i, files[i]), menu);
            a->setProperty("recentEntry", i);
            a->setToolTip(files[i]);
            connect(a, &QAction::triggered, this, [this, i] { OpenRecentEntry(i); });
            menu->insertAction(before, a);
        }
        auto* sep = new QAction(menu);
        sep->setSeparator(true);
        sep->setProperty("recentEntry", -2);
        menu->insertAction(before, sep);
    });
}

QAction* CFloatFrame::ExitAction()
{
    if (!exit_) {
        exit_ = new QAction(QStringLiteral("E&xit"), this);
        exit_->setStatusTip(QStringLiteral("Close this window"));
        connect(exit_, &QAction::triggered, this, [this] { close(); });
    }
    return exit_;
}

QAction* CFloatFrame::AddCommand(QMenu* menu, int id, const QString& text, const QKeySequence& key,
                                 std::function<void()> action)
{
    auto* a = new QAction(text, this);
    a->setData(id);
    if (!key.isEmpty()) {
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
    }
    if (action)
        connect(a, &QAction::triggered, this, [this, action = std::move(action)] {
            action();
            CommandDone();
        });
    menu->addAction(a);
    commands_[id] = a;
    return a;
}

QAction* CFloatFrame::CommandAction(int id) const
{
    const auto it = commands_.find(id);
    return it == commands_.end() ? nullptr : it->second;
}

void CFloatFrame::Notify(ToolNotice notice, int station)
{
    if (closing_)
        return;
    switch (notice) {
    case ToolNotice::GraphWatchChanged:
        OnGraphWatchChanged();
        return;
    case ToolNotice::InvConnected:
        if (station == station_ || AllStations())
            OnInvConnected(station);
        return;
    case ToolNotice::InvDisconnected:
        if (station == station_ || AllStations())
            OnInvDisconnected(station);
        return;
    case ToolNotice::InvNameChanged:
        if (station == station_ || AllStations())
            OnInvNameChanged(station);
        return;
    }
}

bool CFloatFrame::HasOpenDialog() const
{
    for (QDialog* d : findChildren<QDialog*>())
        if (d->isVisible())
            return true;
    return false;
}

void CFloatFrame::CloseFrame()
{
    // A dialog run with a plain exec() is not counted: ended here, it returns before the frame goes.
    if (!closing_)
        EndModalLoops();
    close();
}

void CFloatFrame::EndModalLoops()
{
    for (QEventLoop* loop : loops_)
        loop->quit();
    // Innermost first; dialogs opened by the frame's dialogs (their file dialogs) are children too.
    const QList<QDialog*> children = findChildren<QDialog*>();
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        if ((*it)->isVisible())
            (*it)->done(QDialog::Rejected);
    for (auto it = dialogs_.rbegin(); it != dialogs_.rend(); ++it)
        if (*it && (*it)->isVisible())
            (*it)->done(QDialog::Rejected);
}

void CFloatFrame::LeaveModal()
{
    if (--modalDepth_ > 0 || !closeRequested_)
        return;
    // The last loop has returned, but the code that ran it has not: close from the event loop.
    QTimer::singleShot(0, this, [this] {
        closeRequested_ = false;
        close();
    });
}

int CFloatFrame::RunModal(QDialog& dialog)
{
    ModalScope scope(this);
    if (!scope.Allowed())
        return QDialog::Rejected;
    QPointer<QDialog> guard(&dialog);
    dialogs_.push_back(guard);
    const int result = dialog.exec();
    dialogs_.erase(std::remove(dialogs_.begin(), dialogs_.end(), guard), dialogs_.end());
    return result;
}

CFloatFrame* CFloatFrame::Of(QWidget* widget)
{
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (auto* frame = qobject_cast<CFloatFrame*>(w))
            return frame;
    return nullptr;
}

int CFloatFrame::RunModal(QWidget* owner, QDialog& dialog)
{
    if (CFloatFrame* frame = Of(owner))
        return frame->RunModal(dialog);
    return dialog.exec();
}

namespace {

// Starts in the caller's filter and tells which one the user chose.
QString RunFileDialog(QWidget* owner, QFileDialog& dialog, QString* selectedFilter)
{
    if (selectedFilter && !selectedFilter->isEmpty())
        dialog.selectNameFilter(*selectedFilter);
    if (CFloatFrame::RunModal(owner, dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    if (selectedFilter)
        *selectedFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().front();
}

}  // namespace

QString CFloatFrame::OpenFileName(QWidget* owner, const QString& title, const QString& folder,
                                  const QString& filter, QString* selectedFilter)
{
    QFileDialog dialog(owner, title, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return RunFileDialog(owner, dialog, selectedFilter);
}

QString CFloatFrame::SaveFileName(QWidget* owner, const QString& title, const QString& folder,
                                  const QString& filter, QString* selectedFilter, bool promptOverwrite)
{
    QFileDialog dialog(owner, title, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !promptOverwrite);
    return RunFileDialog(owner, dialog, selectedFilter);
}

QColor CFloatFrame::ChooseColour(QWidget* owner, const QColor& initial)
{
    QColorDialog dialog(initial, owner);
    return RunModal(owner, dialog) == QDialog::Accepted ? dialog.selectedColor() : QColor();
}

CFloatFrame::ModalScope::ModalScope(QWidget* owner, QEventLoop* loop) : frame_(Of(owner)), loop_(loop)
{
    if (!frame_)
        return;
    allowed_ = !frame_->CloseRequested();
    ++frame_->modalDepth_;
    if (loop_)
        frame_->loops_.push_back(loop_);
}

CFloatFrame::ModalScope::~ModalScope()
{
    if (!frame_)
        return;
    if (loop_)
        frame_->loops_.erase(std::remove(frame_->loops_.begin(), frame_->loops_.end(), loop_),
                             frame_->loops_.end());
    frame_->LeaveModal();
}

MessageSink& CFloatFrame::MessagesFor(QWidget* owner, ToolHost& host)
{
    if (CFloatFrame* frame = Of(owner))
        return frame->Messages();
    return host.Messages();
}

void CFloatFrame::closeEvent(QCloseEvent* event)
{
    if (closing_) {
        event->accept();
        return;
    }
    if (modalDepth_ > 0) {
        // Not under a running dialog or loop: end them, close when the last has returned.
        event->ignore();
        if (!closeRequested_) {
            closeRequested_ = true;
            EndModalLoops();
        }
        return;
    }
    if (!AboutToClose()) {
        event->ignore();
        return;
    }
    closing_ = true;
    event->accept();
    if (list_)
        list_->Remove(this);
}

}  // namespace vm
