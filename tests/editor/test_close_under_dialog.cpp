// The drive of an online editor drops while one of the editor's dialogs (or one of its report's)
// is open: the dialogs end, the code that ran them carries on over a live frame, and the frame is
// freed afterwards. ASan checks that nothing touches a freed frame.

#include "EditorTestSupport.h"

#include "editor/CompareResultDlg.h"
#include "editor/ParaEditDlg.h"
#include "editor/ParaListView.h"
#include "editor/ParaModeDialog.h"
#include "editor/ParaOnlineSide.h"
#include "editor/ParaReadDlg.h"
#include "editor/ParaTransferDlg.h"
#include "editor/ParaTreeView.h"
#include "paramdb/ObjectArchive.h"
#include "paramdb/ParaArray.h"
#include "report/ReportFrame.h"
#include "report/ReportHeaderDialog.h"
#include "tests/support/ModalProbe.h"
#include "tests/support/TransferFixture.h"

#include <QAction>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace vm::test {
namespace {

class CloseUnderDialog : public ::testing::Test {
protected:
    CloseUnderDialog() : host(&line.harness.manager)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           dir.filePath(QStringLiteral("config")));
        ConnectRecord(host.Record(kTestStation), *line.drive);
        host.Record(kTestStation).status = reg::kStatusStop;
        host.boxes = true;
        // Reopening the mode setup shows the real dialog; opening skips it.
        RegisterEditorKind(host.frames, [](ToolHost& h, int station, ModeUse use, QWidget* parent) {
            if (use == ModeUse::Reopen)
                return CParaModeDlg::Run(h, station, use, parent);
            return LogicRunner(0, 0)(h, station, use, parent);
        });
        frame = static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, kTestStation));
        guard = frame;
    }
    ~CloseUnderDialog() override
    {
        host.frames.CloseAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void Disconnect()
    {
        host.Record(kTestStation).present = 0;
        host.Record(kTestStation).connected = 0;
        host.frames.Broadcast(ToolNotice::InvDisconnected, kTestStation);
    }
    ModalStep DisconnectUnder(std::function<bool(QWidget*)> match)
    {
        return {std::move(match), [this](QWidget*) { Disconnect(); }};
    }
    // Runs the command; disconnects under the dialogs the steps lead to; the frame must be gone
    // and its key free, the command's own code having returned.
    void Expect(const std::function<void()>& command, std::vector<ModalStep> steps)
    {
        ASSERT_TRUE(guard);
        bool returned = false;
        const bool ok = RunUnderModal(
            [&] {
                command();
                returned = true;
            },
            std::move(steps), [&] { return guard.isNull(); }, [this] { line.harness.Step(1); });
        EXPECT_TRUE(ok);
        EXPECT_TRUE(returned);
        EXPECT_FALSE(host.frames.Exists(kKindParameterEditor, kTestStation));
    }
    QString SavedParFile()
    {
        const QString path = dir.filePath(QStringLiteral("set.par"));
        CParaArray set(host.Record(kTestStation).model, host.Record(kTestStation).version);
        set.AppendItems(*frame->Data());
        ArchiveFile file;
        file.Attach(path.toStdString(), &set);
        EXPECT_TRUE(file.Save(false));
        return path;
    }
    void Trigger(int command) { frame->CommandAction(command)->trigger(); }

    QTemporaryDir dir;
    DriveOnLine line;
    FakeToolHost host;
    CParaFrame* frame = nullptr;
    QPointer<CParaFrame> guard;
};

TEST_F(CloseUnderDialog, eachTransferDialogIdleEndsAndTheEditorGoesAfterIt)
{
    for (int command : {CParaFrame::kUpload, CParaFrame::kDownload, CParaFrame::kCompare}) {
        SCOPED_TRACE(command);
        if (!guard) {
            ConnectRecord(host.Record(kTestStation), *line.drive);
            frame = static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, kTestStation));
            guard = frame;
        }
        Expect([&] { Trigger(command); }, {DisconnectUnder(TopIs<CParaTransferDlg>())});
    }
}

TEST_F(CloseUnderDialog, aRunningDownloadItsStopQuestionAndItsBrowseDialogEndWithTheEditor)
{
    const QString par = SavedParFile();
    // Under the running download.
    Expect([&] { Trigger(CParaFrame::kDownload); },
           {{TopIs<CParaTransferDlg>(),
             [&](QWidget* w) {
                 auto* dlg = static_cast<CParaTransferDlg*>(w);
                 dlg->SetBackup(false);
                 dlg->SetPath(par);
                 QTimer::singleShot(0, dlg, [dlg] { dlg->PressStart(); });
             }},
            DisconnectUnder([](QWidget* w) {
                auto* dlg = qobject_cast<CParaTransferDlg*>(w);
                return dlg && dlg->IsRunning() && dlg->Transfer().ProgressDone() > 3;
            })});

    // Under "Do you want to stop ?" of the next editor's download.
    ConnectRecord(host.Record(kTestStation), *line.drive);
    frame = static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, kTestStation));
    guard = frame;
    Expect([&] { Trigger(CParaFrame::kDownload); }, {{TopIs<CParaTransferDlg>(),
                                                      [&](QWidget* w) {
                                                          auto* dlg = static_cast<CParaTransferDlg*>(w);
                                                          dlg->SetBackup(false);
                                                          dlg->SetPath(par);
                                                          QTimer::singleShot(0, dlg, [dlg] {
                                                              dlg->PressStart();
                                                              dlg->PressCancel();
                                                          });
                                                      }},
                                                     DisconnectUnder(TopIs<QMessageBox>())});

    // Under the transfer dialog's file dialog.
    ConnectRecord(host.Record(kTestStation), *line.drive);
    frame = static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, kTestStation));
    guard = frame;
    Expect([&] { Trigger(CParaFrame::kCompare); },
           {{TopIs<CParaTransferDlg>(),
             [](QWidget* w) {
                 for (QPushButton* b : w->findChildren<QPushButton*>())
                     if (b->text() == QStringLiteral("..."))
                         QTimer::singleShot(0, b, &QPushButton::click);
             }},
            DisconnectUnder(TopIs<QFileDialog>())});
}

TEST_F(CloseUnderDialog, theFileDialogsAndMessageBoxesOfTheEditorEndWithIt)
{
    Expect([&] { Trigger(CParaFrame::kSaveParaFile); }, {DisconnectUnder(TopIs<QFileDialog>())});

    ConnectRecord(host.Record(kTestStation), *line.drive);
    frame = static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, kTestStation));
    guard = frame;
    Expect([&] { Trigger(CParaFrame::kOpenUserGroup); }, {DisconnectUnder(TopIs<QFileDialog>())});

    // A file that is no parameter file: the error box is up when the drive drops.
    ConnectRecord(host.Record(kTestStation), *line.drive);
    frame = static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, kTestStation));
    guard = frame;
    const QString bad = dir.filePath(QStringLiteral("bad.par"));
    {
        QFile f(bad);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a parameter file");
    }
    ScriptedFiles files;
    files.names.push_back(bad);
    frame->SetFileChooser(&files);
    Expect([&] { Trigger(CParaFrame::kReadParaFile); }, {DisconnectUnder(TopIs<QMessageBox>())});
}

TEST_F(CloseUnderDialog, theReadEditModeAndHeaderDialogsEndWithTheEditor)
{
    // Reading, with the line not answering yet.
    line.drive->SetSilenced(true);
    Expect([&] { frame->Online()->ReadAllGroups(); }, {DisconnectUnder(TopIs<CParaReadDlg>())});
    line.drive->SetSilenced(false);

    ConnectRecord(host.Record(kTestStation), *line.drive);
    frame = static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, kTestStation));
    guard = frame;
    frame->List().Show(ParaNode{});
    Expect([&] { frame->Online()->EditRow(0); }, {DisconnectUnder(TopIs<QDialog>())});

    ConnectRecord(host.Record(kTestStation), *line.drive);
    frame = static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, kTestStation));
    guard = frame;
    Expect([&] { Trigger(CParaFrame::kParaMode); }, {DisconnectUnder(TopIs<CParaModeDlg>())});

    ConnectRecord(host.Record(kTestStation), *line.drive);
    frame = static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, kTestStation));
    guard = frame;
    Expect([&] { Trigger(CParaFrame::kReportHeader); }, {DisconnectUnder(TopIs<CReportHeaderDlg>())});
}

TEST_F(CloseUnderDialog, aReportUnderItsOwnDialogClosesFirstAndTheEditorAfterIt)
{
    frame->Tree().SelectGroupRoot();
    Trigger(CParaFrame::kReport);
    QPointer<QWidget> report = frame->ReportWindow();
    ASSERT_TRUE(report);
    auto* reportFrame = qobject_cast<CReportFrame*>(report.data());
    ASSERT_TRUE(reportFrame);
    Expect([&] { reportFrame->OnHeader(); }, {DisconnectUnder(TopIs<CReportHeaderDlg>())});
    EXPECT_TRUE(report.isNull());
}

}  // namespace
}  // namespace vm::test
