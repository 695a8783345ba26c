#pragma once
// "Parameter Upload" / "Parameter Download" / "Parameter Compare": the modal dialog around the
// transfer engine. It checks the path, prepares the set, offers a backup and a verification for
// a download (both on by default), shows progress and retries, asks "Do you want to stop ?" after
// Cancel or a failure (never inside a reply), and reports the result.
//
// For the frame: construct, exec(), then refresh the list and the tree. onRefresh is called at
// the end of every operation (the list refreshes its values). Disconnect or graph watch: the
// frame's CloseFrame() closes it with done(Rejected), which stops a running transfer without a
// question.

#include "transfer/ParaTransfer.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vm {

class ParameterData;
class ToolHost;

class CParaTransferDlg : public QDialog {
    Q_OBJECT
public:
    // operation: 0 upload, 1 download, 2 compare.
    CParaTransferDlg(ToolHost& host, int station, std::shared_ptr<ParameterData> data, int operation,
                     MessageSink& messages, QWidget* parent = nullptr);
    ~CParaTransferDlg() override;

    std::function<void()> onRefresh;
    // Shows the compare result; the default runs CCompareResultDlg.
    std::function<void(const std::vector<CompareRow>&)> showCompareResult;

    void SetPath(const QString& path);
    QString Path() const;
    void SetVerify(bool on);
    void SetBackup(bool on);
    void PressStart();
    void PressCancel();
    bool IsRunning() const { return transfer_->IsRunning(); }
    QString StatusText() const;
    // The backup written by the last download, empty when none.
    QString BackupFile() const { return backupFile_; }
    ParaTransfer& Transfer() { return *transfer_; }
    // The file-type choice remembered for the program run (1 parameter, 2 user group).
    static int& FileTypeChoice();
    // The file of the last start, offered by the next dialog of the program run.
    static QString& LastPath();

    void done(int result) override;
    void reject() override { PressCancel(); }

private:
    void Browse();
    void SetRunning(bool running);
    void AskStop();
    void Ended();
    void Status(const QString& text);

    ToolHost& host_;
    int station_;
    std::shared_ptr<ParameterData> data_;
    TransferOperation operation_;
    MessageSink& messages_;
    std::unique_ptr<ParaTransfer> transfer_;
    std::string path_;
    QString backupFile_;
    bool askPending_ = false;
    ParaTransfer::PauseReason pauseReason_ = ParaTransfer::PauseReason::Cancel;

    QLineEdit* pathEdit_ = nullptr;
    QPushButton* browse_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* close_ = nullptr;
    QCheckBox* verify_ = nullptr;
    QCheckBox* backup_ = nullptr;
};

}  // namespace vm
