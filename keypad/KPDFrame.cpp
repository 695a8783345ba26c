#include "keypad/KPDFrame.h"

#include "frames/ToolFrameList.h"
#include "frames/ToolHost.h"
#include "keypad/KPDView.h"
#include "paramdb/MessageSink.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

namespace vm {

CKPDFrame::CKPDFrame(ToolHost& host, int station) : CFloatFrame(host, kKindKeypad, station)
{
    // A panel, not a document window: no sizing, no maximising.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    view_ = new CKPDView(host, station, this);
    setCentralWidget(view_);
    KeypadLogic& logic = view_->Logic();

    QMenu* operation = menuBar()->addMenu(QStringLiteral("&Operation"));
    forward_ = AddCommand(operation, kCmdForwardRun, QStringLiteral("&Forward Run"),
                          QKeySequence(Qt::CTRL | Qt::Key_F), [&logic] { logic.ForwardRun(); });
    reverse_ = AddCommand(operation, kCmdReverseRun, QStringLiteral("&Reverse Run"),
                          QKeySequence(Qt::CTRL | Qt::Key_R), [&logic] { logic.ReverseRun(); });
    stop_ = AddCommand(operation, kCmdStopReset, QStringLiteral("&Stop/Reset"),
                       QKeySequence(Qt::CTRL | Qt::Key_S), [&logic] { logic.StopReset(); });
    operation->addSeparator();
    operation->addAction(ExitAction());

    message_ = new QLabel(this);
    message_->setAccessibleName(QStringLiteral("Status"));
    graphWatch_ = new QLabel(this);
    // Wide enough for the whole text in whatever font the desktop gives us.
    graphWatch_->setFixedWidth(
        graphWatch_->fontMetrics().horizontalAdvance(QStringLiteral("Graph Watch Mode")) +
        2 * graphWatch_->margin() + 8);
    graphWatch_->setStyleSheet(QStringLiteral("color: red"));
    statusBar()->addPermanentWidget(message_, 1);
    statusBar()->addPermanentWidget(graphWatch_);
    statusBar()->setSizeGripEnabled(false);

    connect(&logic, &KeypadLogic::commandErrorChanged, this,
            [this] { message_->setText(view_->Logic().CommandError()); });
    connect(&logic, &KeypadLogic::graphWatchApplied, this, &CKPDFrame::UpdateCommands);
}

void CKPDFrame::InitialUpdate()
{
    view_->InitialUpdate();
    setWindowTitle(view_->Logic().WindowTitle());
    UpdateCommands();
    adjustSize();
    setFixedSize(sizeHint());
}

void CKPDFrame::UpdateCommands()
{
    const bool on = view_->Logic().CommandsEnabled();
    for (QAction* a : {forward_, reverse_, stop_})
        a->setEnabled(on);
    graphWatch_->setText(view_->Logic().GraphWatchActive() ? QStringLiteral("Graph Watch Mode") : QString());
}

void CKPDFrame::OnInvDisconnected(int)
{
    // The window goes with its drive; a run command it could not confirm must not go unnoticed.
    const QString unconfirmed = view_->Logic().UnconfirmedCommandText();
    CloseFrame();
    if (unconfirmed.isEmpty())
        return;
    Host().LaterMessages().Show(MessageKind::Error, unconfirmed.toStdString(), "KEY PAD");
}

void CKPDFrame::OnInvNameChanged(int)
{
    view_->RefreshName();
}

void CKPDFrame::OnGraphWatchChanged()
{
    view_->ApplyGraphWatch(Host().GraphWatch());
}

bool CKPDFrame::AboutToClose()
{
    view_->Close();
    return true;
}

}  // namespace vm
