#include "editor/ParaReadDlg.h"

#include "frames/ToolHost.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace vm {

CParaReadDlg::CParaReadDlg(ToolHost& host, int station, std::shared_ptr<ParameterData> data,
                           ParaReadLogic::Kind kind, CGroup* group, CCustom* userGroup, QWidget* parent)
    : QDialog(parent), data_(std::move(data))
{
    setWindowTitle(QStringLiteral("Reading Parameter Information..."));
    auto* layout = new QVBoxLayout(this);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    box_ = new QGroupBox(this);
    auto* boxLayout = new QVBoxLayout(box_);
    text_ = new QLabel(box_);
    text_->setMinimumWidth(280);
    boxLayout->addWidget(text_);
    cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    layout->addWidget(progress_);
    layout->addWidget(box_);
    layout->addWidget(cancel_, 0, Qt::AlignHCenter);
    connect(cancel_, &QPushButton::clicked, this, &CParaReadDlg::Cancel);

    logic_ = std::make_unique<ParaReadLogic>(host.Comm(), host.Record(station), kind, group, userGroup);
    logic_->onChanged = [this] { Refresh(); };
    // Queued: the reading may end before exec() runs, or inside a reply.
    logic_->onFinished = [this] {
        if (!logic_->Cancelled())
            QMetaObject::invokeMethod(
                this, [this] { QDialog::done(QDialog::Accepted); }, Qt::QueuedConnection);
    };
    logic_->Start();
}

CParaReadDlg::~CParaReadDlg()
{
    logic_.reset();
}

void CParaReadDlg::Refresh()
{
    box_->setTitle(QString::fromStdString(logic_->GroupText()));
    text_->setText(QString::fromStdString(logic_->ItemText()));
    progress_->setValue(logic_->Percent());
}

void CParaReadDlg::Cancel()
{
    logic_->Cancel();
    QDialog::done(QDialog::Rejected);
}

}  // namespace vm
