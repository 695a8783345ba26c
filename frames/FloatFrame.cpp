#include "frames/FloatFrame.h"

#include "frames/ToolFrameList.h"
#include "platform/Settings.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QMenu>
#include <QSettings>
#include <QTimer>

namespace vm {

CFloatFrame::CFloatFrame(ToolHost& host, int kind, int station)
    : QMainWindow(nullptr), host_(host), kind_(kind), station_(station)
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

void CFloatFrame::Notify(ToolNotice notice, int station)
{
    if (closing_)
        return;
    switch (notice) {
    case ToolNotice::kGraphWatchChanged: OnGraphWatchChanged(); return;
    case ToolNotice::kInvConnected:
        if (station == station_ || AllStations())
            OnInvConnected(station);
        return;
    case ToolNotice::kInvDisconnected:
        if (station == station_ || AllStations())
            OnInvDisconnected(station);
        return;
    case ToolNotice::kInvNameChanged:
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
    // Innermost dialogs first: each exec() returns when control is back in the loop below it.
    const QList<QDialog*> dialogs = findChildren<QDialog*>();
    for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it)
        if ((*it)->isVisible())
            (*it)->done(QDialog::Rejected);
    close();
}

void CFloatFrame::closeEvent(QCloseEvent* event)
{
    if (closing_) {
        event->accept();
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
