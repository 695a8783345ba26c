#include "editor/ParaTransferDlg.h"

#include "catalogue/Models.h"
#include "editor/CompareResultDlg.h"
#include "editor/ParaTransferStart.h"
#include "frames/FloatFrame.h"
#include "frames/ToolHost.h"
#include "paramdb/ParameterData.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace vm {

namespace {

const char* const kTitles[] = {"Parameter Upload", "Parameter Download", "Parameter Compare"};
const char* const kDescriptions[] = {"Save inverter parameter data to specified file",
                                     "Download parameter data of specifed file to inverter",
                                     "Compare parameter data between inverter and specified file"};

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

}  // namespace

QString& CParaTransferDlg::LastPath()
{
    static QString path;
    return path;
}

int& CParaTransferDlg::FileTypeChoice()
{
    static int choice = 1;
    return choice;
}

CParaTransferDlg::CParaTransferDlg(ToolHost& host, int station, std::shared_ptr<ParameterData> data,
                                   int operation, MessageSink& messages, QWidget* parent)
    : QDialog(parent), host_(host), station_(station), data_(std::move(data)),
      operation_(static_cast<TransferOperation>(operation < 0 || operation > 2 ? 0 : operation)),
      messages_(messages)
{
    const int op = static_cast<int>(operation_);
    const StationRecord& record = host.Record(station);
    setWindowTitle(QStringLiteral("[%1:%2 Ver%3] %4")
                       .arg(station)
                       .arg(Q(ModelName(record.model)))
                       .arg(Q(VersionText(record.model, record.version)))
                       .arg(QString::fromLatin1(kTitles[op])));

    setMinimumWidth(520);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromLatin1(kDescriptions[op]), this));
    auto* fileBox = new QGroupBox(QStringLiteral("1. Select parameter/user group file."), this);
    auto* fileLayout = new QHBoxLayout(fileBox);
    fileLayout->addWidget(new QLabel(QStringLiteral("File:"), fileBox));
    pathEdit_ = new QLineEdit(fileBox);
    pathEdit_->setMinimumWidth(320);
    browse_ = new QPushButton(QStringLiteral("..."), fileBox);
    browse_->setAutoDefault(false);
    fileLayout->addWidget(pathEdit_);
    fileLayout->addWidget(browse_);
    layout->addWidget(fileBox);
    if (operation_ == TransferOperation::Download) {
        backup_ =
            new QCheckBox(QStringLiteral("Keep the inverter's current values in a backup file first"), this);
        verify_ = new QCheckBox(QStringLiteral("Verify: read every written parameter back"), this);
        backup_->setChecked(true);
        verify_->setChecked(true);
        layout->addWidget(backup_);
        layout->addWidget(verify_);
    }
    auto* statusBox = new QGroupBox(QStringLiteral("Status"), this);
    auto* statusLayout = new QVBoxLayout(statusBox);
    status_ = new QLabel(statusBox);
    status_->setWordWrap(true);
    status_->setMinimumHeight(status_->fontMetrics().lineSpacing() * 3 + 4);
    progress_ = new QProgressBar(statusBox);
    statusLayout->addWidget(status_);
    statusLayout->addWidget(progress_);
    layout->addWidget(statusBox);
    auto* caution = new QGroupBox(QStringLiteral("[ Caution When Download User Group File ]"), this);
    auto* cautionLayout = new QVBoxLayout(caution);
    auto* cautionText = new QLabel(
        QStringLiteral(
            "If inverter version is different with inverter version of user group file when downloading user "
            "group parameter, The message is shown. If user is continue to download and the problem is "
            "occured. KXEC don't take the responsibility."),
        caution);
    cautionText->setWordWrap(true);
    cautionText->setMinimumHeight(cautionText->fontMetrics().lineSpacing() * 4 + 4);
    cautionLayout->addWidget(cautionText);
    layout->addWidget(caution);
    auto* buttons = new QHBoxLayout;
    start_ = new QPushButton(QStringLiteral("&Start"), this);
    close_ = new QPushButton(QStringLiteral("&Close"), this);
    close_->setAutoDefault(false);
    buttons->addStretch();
    buttons->addWidget(start_);
    buttons->addWidget(close_);
    layout->addLayout(buttons);

    connect(browse_, &QPushButton::clicked, this, &CParaTransferDlg::Browse);
    connect(start_, &QPushButton::clicked, this, &CParaTransferDlg::PressStart);
    connect(close_, &QPushButton::clicked, this, &CParaTransferDlg::PressCancel);

    transfer_ = std::make_unique<ParaTransfer>(host.Comm(), host.Record(station));
    transfer_->onStatus = [this](const std::string& text) { Status(Q(text)); };
    // One bar over backup, write and verify.
    progress_->setRange(0, 100);
    transfer_->onOverallProgress = [this](int percent) { progress_->setValue(percent); };
    // Both may come from inside a reply: the boxes wait until it has returned.
    transfer_->onPaused = [this](ParaTransfer::PauseReason reason) {
        pauseReason_ = reason;
        if (!askPending_) {
            askPending_ = true;
            QTimer::singleShot(0, this, &CParaTransferDlg::AskStop);
        }
    };
    transfer_->onEnded = [this] { QTimer::singleShot(0, this, &CParaTransferDlg::Ended); };
    SetRunning(false);
    pathEdit_->setText(LastPath());
}

CParaTransferDlg::~CParaTransferDlg()
{
    transfer_.reset();
}

void CParaTransferDlg::SetPath(const QString& path)
{
    pathEdit_->setText(path);
}

QString CParaTransferDlg::Path() const
{
    return pathEdit_->text();
}

void CParaTransferDlg::SetVerify(bool on)
{
    if (verify_)
        verify_->setChecked(on);
}

void CParaTransferDlg::SetBackup(bool on)
{
    if (backup_)
        backup_->setChecked(on);
}

QString CParaTransferDlg::StatusText() const
{
    return status_->text();
}

void CParaTransferDlg::Status(const QString& text)
{
    status_->setText(text);
}

void CParaTransferDlg::Browse()
{
    const QString filter = QStringLiteral("Parameter File (*.par);;User Group File (*.usr)");
    const QStringList filters = filter.split(QStringLiteral(";;"));
    QString selected = filters.value(FileTypeChoice() == 2 ? 1 : 0);
    const QString path =
        operation_ == TransferOperation::Upload
            ? CFloatFrame::OpenFileName(this, windowTitle(), Path(), filter, &selected)
            : CFloatFrame::SaveFileName(this, windowTitle(), Path(), filter, &selected, false);
    if (path.isEmpty())
        return;
    FileTypeChoice() = selected == filters.value(1) ? 2 : 1;
    pathEdit_->setText(path);
}

void CParaTransferDlg::SetRunning(bool running)
{
    pathEdit_->setEnabled(!running);
    browse_->setEnabled(!running);
    start_->setEnabled(!running);
    if (verify_) {
        verify_->setEnabled(!running);
        backup_->setEnabled(!running);
    }
    close_->setText(running ? QStringLiteral("&Cancel") : QStringLiteral("&Close"));
    progress_->setVisible(running);
    if (!running)
        progress_->setValue(0);
}

void CParaTransferDlg::PressStart()
{
    if (transfer_->IsRunning())
        return;
    const TransferStart start =
        CheckTransferStart(operation_, pathEdit_->text().toStdString(), FileTypeChoice(), messages_,
                           [](const std::string& p) { return QFileInfo::exists(Q(p)); });
    if (!start.ok) {
        if (start.focusPath) {
            pathEdit_->setFocus();
            pathEdit_->selectAll();
        }
        return;
    }
    pathEdit_->setText(Q(start.path));
    path_ = start.path;
    LastPath() = Q(start.path);
    Status(QString());  // the previous run's result is not this one's
    const StationRecord& record = host_.Record(station_);
    if (!record.present || !record.paramData || !record.paramData->IsLoaded()) {
        const char* text = record.present ? transfer_text::kNoDataFile : transfer_text::kDisconnected;
        messages_.Show(MessageKind::Error, text, transfer_text::kCaption);
        Status(QString::fromLatin1(text));
        return;
    }
    SetRunning(true);
    Result<TransferSet> set = PrepareTransferSet(operation_, path_, start.kind, *record.paramData, messages_);
    if (!set) {
        SetRunning(false);
        return;
    }
    ParaTransfer::Options options;
    backupFile_.clear();
    if (operation_ == TransferOperation::Download) {
        options.verify = verify_->isChecked();
        if (backup_->isChecked()) {
            const QString folder = QFileInfo(Q(path_)).absolutePath();
            const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
            options.backupPath =
                BackupPath(folder.toStdString(), ModelName(record.model), station_, stamp.toStdString());
            backupFile_ = Q(options.backupPath);
        }
    }
    if (const Result<void> started = transfer_->Start(operation_, std::move(set).Value(), options);
        !started) {
        messages_.Show(MessageKind::Error, started.Text(), transfer_text::kCaption);
        SetRunning(false);
    }
}

void CParaTransferDlg::PressCancel()
{
    if (!transfer_->IsRunning()) {
        QDialog::done(QDialog::Rejected);
        return;
    }
    transfer_->RequestStop();
}

void CParaTransferDlg::AskStop()
{
    askPending_ = false;
    if (transfer_->GetState() != ParaTransfer::State::Paused)
        return;
    if (pauseReason_ == ParaTransfer::PauseReason::DriveRunning) {
        const ParameterData& data = *data_;
        std::string list;
        for (uint16_t a : transfer_->RunLocked()) {
            const CItem* item = data.FindItem(a);
            char line[160];
            std::snprintf(line, sizeof line, "0x%04X %s\n", a, item ? item->displayName.c_str() : "");
            list += line;
        }
        std::vector<char> text(list.size() + 256);
        std::snprintf(text.data(), text.size(), transfer_text::kRunningQuestion, list.c_str());
        transfer_->AnswerStop(!messages_.AskYesNo(text.data(), transfer_text::kCaption));
        return;
    }
    // After a failure the question names the parameter and the reason.
    std::string question = transfer_text::kStopQuestion;
    if (pauseReason_ == ParaTransfer::PauseReason::Failure && !transfer_->Failed().empty()) {
        const CItem* item = data_->FindItem(transfer_->Failed().back());
        char line[200];
        std::snprintf(line, sizeof line, "0x%04X %s: %s\n\n", transfer_->Failed().back(),
                      item ? item->displayName.c_str() : "", transfer_->ErrorText().c_str());
        question = line + question;
    }
    const bool stop = messages_.AskYesNo(question, transfer_text::kCaption);
    transfer_->AnswerStop(stop);
}

void CParaTransferDlg::Ended()
{
    using End = ParaTransfer::End;
    if (transfer_->IsRunning())
        return;
    QString status = Q(transfer_->FinalStatus());
    switch (transfer_->GetEnd()) {
    case End::Error:
        messages_.Show(MessageKind::Error, transfer_->ErrorText(), transfer_text::kCaption);
        break;
    case End::Finished:
        if (operation_ == TransferOperation::Upload) {
            const int failed = static_cast<int>(transfer_->Failed().size());
            char question[512];
            std::snprintf(question, sizeof question, transfer_text::kIncompleteQuestion, failed);
            if (failed > 0 && !messages_.AskYesNo(question, transfer_text::kCaption)) {
                status =
                    QStringLiteral("Upload action is stopped: %1 parameters could not be read, nothing saved")
                        .arg(failed);
            } else if (!transfer_->SaveUpload(path_, messages_).Ok()) {
                status = QString::fromLatin1(transfer_->Set().IsUserGroup() ? transfer_text::kSaveUsrFailed
                                                                            : transfer_text::kSaveParFailed);
            }
        } else if (operation_ == TransferOperation::Download && !transfer_->Mismatches().empty()) {
            QString text = QStringLiteral("These parameters read back otherwise after the download:\n");
            for (const VerifyMismatch& m : transfer_->Mismatches())
                text += QStringLiteral("\n0x%1 %2: written %3, read %4")
                            .arg(m.address, 4, 16, QLatin1Char('0'))
                            .arg(Q(m.name))
                            .arg(m.written & 0xFFFF)
                            .arg(m.readFailed ? QStringLiteral("(failed)") : QString::number(m.readBack));
            messages_.Show(MessageKind::Error, text.toStdString(), transfer_text::kCaption);
        }
        break;
    case End::Stopped:
    case End::None:
        break;
    }
    if (!backupFile_.isEmpty() && QFileInfo::exists(backupFile_))
        status += QStringLiteral("\nBackup: %1").arg(backupFile_);
    Status(status);
    SetRunning(false);
    if (onRefresh)
        onRefresh();
    if (transfer_->GetEnd() == End::Finished && operation_ == TransferOperation::Compare) {
        if (transfer_->Differences().empty())
            messages_.Show(MessageKind::Plain, transfer_text::kAllSame, transfer_text::kCaption);
        else if (showCompareResult)
            showCompareResult(transfer_->Differences());
        else {
            CCompareResultDlg result(transfer_->Differences(), this);
            CFloatFrame::RunModal(this, result);
        }
    }
}

void CParaTransferDlg::done(int result)
{
    // From outside (disconnect, the frame closing): stop without a question.
    if (transfer_->IsRunning()) {
        transfer_->onPaused = nullptr;
        transfer_->onEnded = nullptr;
        if (transfer_->GetState() == ParaTransfer::State::Running)
            transfer_->RequestStop();
        transfer_->AnswerStop(true);
    }
    QDialog::done(result);
}

}  // namespace vm
