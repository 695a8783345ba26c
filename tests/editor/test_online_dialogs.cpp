// The online editor's dialogs on the simulated line, not shown unless they must be visible:
// transfer, reading, edit and compare result. Pictures of them are saved when VARIMON_SHOTS names
// a folder.

#include "catalogue/Registers.h"
#include "editor/CompareResultDlg.h"
#include "editor/ParaBitEditDlg.h"
#include "editor/ParaEditDlg.h"
#include "editor/ParaReadDlg.h"
#include "editor/ParaTransferDlg.h"
#include "editor/ParaTransferStart.h"
#include "paramdb/ObjectArchive.h"
#include "tests/support/FakeToolHost.h"
#include "tests/support/TransferFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace vm {
namespace {

using test::kTestStation;

void Picture(QWidget& w, const char* name)
{
    const QByteArray dir = qgetenv("VARIMON_SHOTS");
    if (!dir.isEmpty())
        w.grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

class OnlineDialogTest : public ::testing::Test {
protected:
    OnlineDialogTest() : host(&line.harness.manager)
    {
        host.records[kTestStation] = line.record;
        Record().status = reg::kStatusStop;
    }
    StationRecord& Record() { return host.records[kTestStation]; }
    ParameterData& Data() { return *Record().paramData; }
    std::string File(const char* name) const { return dir.filePath(name).toStdString(); }
    uint16_t Register(uint16_t a) const { return line.Register(a); }
    // One tick of the line and the deferred calls it caused.
    bool Pump(const std::function<bool()>& done, int maxTicks = 20000)
    {
        for (int i = 0; i < maxTicks; ++i) {
            QCoreApplication::processEvents();
            if (done())
                return true;
            line.harness.Step();
        }
        return done();
    }
    std::vector<std::string> Questions() const
    {
        std::vector<std::string> q;
        for (const auto& e : host.messages.Entries())
            if (e.kind == MessageKind::Question)
                q.push_back(e.text);
        return q;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> q;
        for (const auto& e : host.messages.Entries())
            q.push_back(e.text);
        return q;
    }

    QTemporaryDir dir;
    test::DriveOnLine line;
    test::FakeToolHost host;
};

TEST_F(OnlineDialogTest, startChecksThePathAndNamesTheFileByTheRememberedType)
{
    MessageLog log(false);
    int choice = 7;
    auto none = [](const std::string&) { return false; };
    EXPECT_FALSE(CheckTransferStart(TransferOperation::Compare, "  ", choice, log, none).ok);
    TransferStart s = CheckTransferStart(TransferOperation::Compare, "drive.par", choice, log, none);
    EXPECT_FALSE(s.ok);
    EXPECT_TRUE(s.focusPath);
    s = CheckTransferStart(TransferOperation::Compare, "/tmp/drive.txt", choice, log, none);
    EXPECT_EQ(s.path, "/tmp/drive.par");
    EXPECT_EQ(choice, 1);
    s = CheckTransferStart(TransferOperation::Download, "/tmp/Group.USR", choice, log, none);
    EXPECT_EQ(s.kind, TransferFileKind::UserGroup);
    EXPECT_EQ(choice, 2);
    s = CheckTransferStart(TransferOperation::Download, "/tmp/next", choice, log, none);
    EXPECT_EQ(s.path, "/tmp/next.usr");
    s = CheckTransferStart(TransferOperation::Upload, "/tmp/old.par", choice, log,
                           [](const std::string&) { return true; });
    EXPECT_FALSE(s.ok);
    const std::vector<std::string> expected{
        "Select parameter or user group file", "File path input is wrong\nPlease, input file path again",
        "/tmp/old.par file is already exist\nDo you want to over-write ?"};
    std::vector<std::string> texts;
    for (const auto& e : log.Entries())
        texts.push_back(e.text);
    EXPECT_EQ(texts, expected);
}

TEST_F(OnlineDialogTest, compareAsksToStopAfterAFailureOutsideTheReplyAndListsTheFailedParameter)
{
    host.messages.SetAnswer(false);  // "No": carry on
    CParaTransferDlg upload(host, kTestStation, Record().paramData, 0, host.messages);
    upload.SetPath(dir.filePath("base.par"));
    upload.PressStart();
    ASSERT_TRUE(Pump([&] { return !upload.IsRunning(); }));
    ASSERT_EQ(upload.StatusText(), "Upload action is finished");

    std::vector<CompareRow> shown;
    int refreshed = 0;
    CParaTransferDlg compare(host, kTestStation, Record().paramData, 2, host.messages);
    compare.showCompareResult = [&](const std::vector<CompareRow>& rows) { shown = rows; };
    compare.onRefresh = [&] { ++refreshed; };
    compare.SetPath(dir.filePath("base.par"));
    compare.PressStart();
    ASSERT_TRUE(Pump([&] { return compare.Transfer().ProgressDone() == 5; }));
    line.drive->SetSilenced(true);
    ASSERT_TRUE(Pump([&] { return !Questions().empty(); }));
    line.drive->SetSilenced(false);
    ASSERT_TRUE(Pump([&] { return !compare.IsRunning(); }));
    // The question names the parameter and the reason.
    ASSERT_EQ(Questions().size(), 1u);
    const std::string question = Questions()[0];
    EXPECT_EQ(question.find("0x"), 0u) << question;
    EXPECT_NE(question.find(std::string(": ") + CommManager::ErrorText(kTimeoutError) +
                            "\n\nDo you want to stop ?"),
              std::string::npos)
        << question;
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].failed);
    EXPECT_EQ(refreshed, 1);
    EXPECT_EQ(compare.StatusText(), "Compare action is finished, 1 parameters failed");

    CCompareResultDlg result(shown);
    EXPECT_EQ(result.List()->topLevelItemCount(), 1);
    EXPECT_EQ(result.List()->currentItem(), result.List()->topLevelItem(0));
    EXPECT_EQ(result.List()->topLevelItem(0)->text(3), CCompareResultDlg::kReadFailed);
}

TEST_F(OnlineDialogTest, anEqualCompareSaysSoAndAnUploadWithFailuresAsksBeforeSaving)
{
    CParaTransferDlg upload(host, kTestStation, Record().paramData, 0, host.messages);
    upload.SetPath(dir.filePath("u.par"));
    upload.PressStart();
    ASSERT_TRUE(Pump([&] { return !upload.IsRunning(); }));
    CParaTransferDlg compare(host, kTestStation, Record().paramData, 2, host.messages);
    compare.SetPath(dir.filePath("u.par"));
    compare.PressStart();
    ASSERT_TRUE(Pump([&] { return !compare.IsRunning(); }));
    EXPECT_EQ(Texts().back(), "All parameter data is the same");

    host.messages.SetAnswer(false);
    CParaTransferDlg again(host, kTestStation, Record().paramData, 0, host.messages);
    again.SetPath(dir.filePath("partial.par"));
    again.PressStart();
    ASSERT_TRUE(Pump([&] { return again.Transfer().ProgressDone() == 3; }));
    line.drive->SetSilenced(true);
    ASSERT_TRUE(Pump([&] { return !Questions().empty(); }));
    line.drive->SetSilenced(false);
    ASSERT_TRUE(Pump([&] { return !again.IsRunning(); }));
    EXPECT_EQ(Questions().back().rfind("1 parameters could not be read", 0), 0u) << Questions().back();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("partial.par")));
}

TEST_F(OnlineDialogTest, aDownloadKeepsABackupAndVerifiesByDefault)
{
    CParaArray file(Data().Model(), Data().Version());
    file.Append(0x5101, 222);
    {
        ArchiveFile archive(&host.messages);
        archive.Attach(File("d.par"), &file);
        ASSERT_TRUE(archive.Save(true));
    }
    CParaTransferDlg download(host, kTestStation, Record().paramData, 1, host.messages);
    download.SetPath(dir.filePath("d.par"));
    auto* bar = download.findChild<QProgressBar*>();
    ASSERT_TRUE(bar);
    std::vector<int> values;
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) { values.push_back(v); });
    download.show();
    download.PressStart();
    ASSERT_TRUE(Pump([&] { return download.Transfer().ProgressDone() == 100; }));
    Picture(download, "download-running");
    ASSERT_TRUE(Pump([&] { return !download.IsRunning(); }));
    Picture(download, "download-done");
    // One bar across backup, write and verify: it fills once, then is put back for the next run.
    EXPECT_EQ(bar->maximum(), 100);
    ASSERT_GE(values.size(), 3u);
    EXPECT_EQ(values.back(), 0);
    values.pop_back();
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(values.back(), 100);
    EXPECT_EQ(Register(0x5101), 222);
    EXPECT_TRUE(QFileInfo::exists(download.BackupFile())) << download.BackupFile().toStdString();
    EXPECT_TRUE(download.StatusText().startsWith("Download action is finished, verified"))
        << download.StatusText().toStdString();
}

TEST_F(OnlineDialogTest, closingTheTransferFromOutsideStopsItWithoutAQuestion)
{
    CParaTransferDlg upload(host, kTestStation, Record().paramData, 0, host.messages);
    upload.SetPath(dir.filePath("x.par"));
    upload.PressStart();
    ASSERT_TRUE(Pump([&] { return upload.Transfer().ProgressDone() == 3; }));
    upload.done(QDialog::Rejected);
    ASSERT_TRUE(Pump([&] { return !upload.IsRunning(); }));
    line.harness.Step(50);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Questions().empty());
    EXPECT_LE(upload.Transfer().ProgressDone(), 4);
    EXPECT_EQ(line.harness.manager.QueueLength(), 0u);
}

TEST_F(OnlineDialogTest, theReadingDialogClosesItselfAtTheEndAndCancelWithdrawsTheRead)
{
    CGroup* group = Data().FindItem(0x5101)->Group();
    CParaReadDlg read(host, kTestStation, Record().paramData, ParaReadLogic::Kind::Group, group, nullptr);
    int result = -1;
    QObject::connect(&read, &QDialog::finished, [&](int r) { result = r; });
    read.show();
    ASSERT_TRUE(Pump([&] { return result != -1; }));
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(group->items.At(0)->valueStatus, 1);

    CParaReadDlg all(host, kTestStation, Record().paramData, ParaReadLogic::Kind::All, nullptr, nullptr);
    all.show();
    Pump([&] { return all.Logic().Done() >= 3; });
    Picture(all, "reading");
    all.Cancel();
    EXPECT_TRUE(all.Cancelled());
    EXPECT_FALSE(all.isVisible());
    EXPECT_EQ(line.harness.manager.QueueLength(), line.harness.manager.IsWaiting() ? 1u : 0u);
}

TEST_F(OnlineDialogTest, theBitDialogShowsOnlyTheParametersBitsAndAReadOnlyParameterCannotBeWritten)
{
    ASSERT_EQ(line.drive->Force(0x523B, 5), "");
    auto bits = OpenParaEditDialog(host, kTestStation, Record().paramData, Data().FindItem(0x523B), nullptr,
                                   host.messages);
    auto* dialog = dynamic_cast<CParaBitEditDlg*>(bits.get());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->VisibleBits(), 3);
    ASSERT_TRUE(Pump([&] { return dialog->Logic().ControlsEnabled(); }));
    EXPECT_EQ(dialog->ControlRaw(), std::optional<uint32_t>(5));
    Picture(*dialog, "bit-edit");

    CParaEditDlg readOnly(host, kTestStation, Record().paramData, Data().FindItem(0x5305), nullptr,
                          host.messages);
    ASSERT_TRUE(Pump([&] { return readOnly.Logic().ControlsEnabled(); }));
    bool writeEnabled = true;
    for (QPushButton* b : readOnly.findChildren<QPushButton*>())
        if (b->text() == "Write(&W)")
            writeEnabled = b->isEnabled();
    EXPECT_FALSE(writeEnabled);
}

TEST_F(OnlineDialogTest, theValueControlTakesTheFocusForChoiceAndBitParametersToo)
{
    CParaEditDlg choice(host, kTestStation, Record().paramData, Data().FindItem(0x5103), nullptr,
                        host.messages);
    choice.show();
    ASSERT_TRUE(Pump([&] { return choice.Logic().ControlsEnabled(); }));
    EXPECT_TRUE(qobject_cast<QComboBox*>(choice.focusWidget())) << choice.focusWidget();

    auto bits = OpenParaEditDialog(host, kTestStation, Record().paramData, Data().FindItem(0x523B), nullptr,
                                   host.messages);
    bits->show();
    ASSERT_TRUE(Pump([&] { return bits->Logic().ControlsEnabled(); }));
    auto* box = qobject_cast<QCheckBox*>(bits->focusWidget());
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Bit0");
}

TEST_F(OnlineDialogTest, pageDownWithAChangedValueAsksAndYesWritesBeforeTheNextRowOpens)
{
    std::vector<EditUndoRecord> undo;
    CParaEditDlg edit(host, kTestStation, Record().paramData, Data().FindItem(0x5101), nullptr,
                      host.messages);
    edit.SetUndoSink([&](const EditUndoRecord& r) { undo.push_back(r); });
    edit.show();
    ASSERT_TRUE(Pump([&] { return edit.Logic().ControlsEnabled(); }));
    auto* field = edit.findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    field->setText("12.5");
    Picture(edit, "value-edit");
    // The line keeps running while the dialog waits for the write's reply.
    QTimer line_;
    QObject::connect(&line_, &QTimer::timeout, [&] { line.harness.Step(); });
    line_.start(0);
    edit.PressMove(CParaEditDlg::kMoveNext);
    line_.stop();
    EXPECT_EQ(Questions(),
              std::vector<std::string>{"Parameter data isn't save to inverter\nDo you want to save ?"});
    EXPECT_EQ(edit.MoveCode(), CParaEditDlg::kMoveNext);
    EXPECT_FALSE(edit.isVisible());
    EXPECT_EQ(Register(0x5101), 125);
    ASSERT_EQ(undo.size(), 1u);
    EXPECT_EQ(undo[0].newValue, 125u);
}

TEST_F(OnlineDialogTest, anEntryWithoutAParameterDisablesReadAndWriteButStillMoves)
{
    CCustom group(&Data(), Data().Model(), Data().Version());
    CCustom::Entry* entry = group.AddEntry(0x7777, 1);
    CParaEditDlg edit(host, kTestStation, Record().paramData, nullptr, entry, host.messages);
    std::map<QString, bool> enabled;
    for (QPushButton* b : edit.findChildren<QPushButton*>())
        enabled[b->text()] = b->isEnabled();
    EXPECT_EQ(enabled,
              (std::map<QString, bool>{{"Read(&R)", false}, {"Write(&W)", false}, {"Close(&C)", true}}));
    bool statusShown = false;
    for (QLabel* l : edit.findChildren<QLabel*>())
        statusShown = statusShown || l->text() == edit_text::kNoItem;
    EXPECT_TRUE(statusShown);
    EXPECT_EQ(line.harness.manager.QueueLength(), 0u);
}

TEST_F(OnlineDialogTest, theWaitAfterYesEndsWhenTheStoppedPortNeverAnswers)
{
    CommSettings quick;
    quick.portName = "sim";
    quick.timeoutMs = 90;
    quick.retryCount = 0;
    ASSERT_EQ(line.harness.manager.Start(quick), 0);
    CParaEditDlg edit(host, kTestStation, Record().paramData, Data().FindItem(0x5101), nullptr,
                      host.messages);
    edit.show();
    ASSERT_TRUE(Pump([&] { return edit.Logic().ControlsEnabled(); }));
    line.harness.manager.Stop();
    edit.findChild<QLineEdit*>()->setText("33.3");
    edit.PressClose();  // Yes: the write can never be answered
    EXPECT_FALSE(edit.isVisible());
    EXPECT_EQ(Questions().size(), 1u);
    EXPECT_FALSE(edit.Logic().ReplyHandled());
    EXPECT_NE(Data().FindItem(0x5101)->value, 333u);
}

TEST_F(OnlineDialogTest, theRunLockIsShownAsABoxAndNoWriteIsSent)
{
    CParaEditDlg edit(host, kTestStation, Record().paramData, Data().FindItem(0x5103), nullptr,
                      host.messages);
    ASSERT_TRUE(Pump([&] { return edit.Logic().ControlsEnabled(); }));
    Record().status = reg::kStatusForward;
    edit.PressWrite();
    EXPECT_EQ(Texts(), std::vector<std::string>{"Can't modify parameter in inverter run status"});
    ASSERT_TRUE(Pump([&] { return edit.Logic().ControlsEnabled(); }));
    EXPECT_TRUE(line.drive->Journal().empty());
}

TEST_F(OnlineDialogTest, pictureOfACompareResult)
{
    std::vector<CompareRow> rows;
    for (uint16_t a : {0x5101, 0x5102, 0x5103}) {
        const CItem* item = Data().FindItem(a);
        CompareRow r;
        r.address = a;
        r.group = item->Group()->name;
        r.code = item->Code();
        r.name = item->displayName;
        r.driveText = item->ValueText(item->defaultValue, true);
        r.fileText = item->ValueText(item->minimum, true);
        r.unit = item->UnitText();
        r.failed = a == 0x5103;
        rows.push_back(r);
    }
    CCompareResultDlg dialog(rows);
    dialog.show();
    Picture(dialog, "compare-result");
    ASSERT_EQ(dialog.List()->topLevelItemCount(), 3);
    EXPECT_EQ(dialog.List()->headerItem()->text(3), "Inverter");
    EXPECT_EQ(dialog.List()->topLevelItem(1)->text(2).toStdString(), rows[1].name);
}

}  // namespace
}  // namespace vm
