// Upload, download and compare against a simulated QM-A20, one request at a time on the real
// communication manager.

#include "catalogue/Registers.h"
#include "paramdb/ObjectArchive.h"
#include "tests/support/TransferFixture.h"
#include "transfer/ParaTransfer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace vm {
namespace {

using test::DriveOnLine;
using End = ParaTransfer::End;
using Reason = ParaTransfer::PauseReason;

class TransferTest : public ::testing::Test {
protected:
    explicit TransferTest(sim::Protocol protocol = sim::Protocol::Kx485, const sim::LineFaults& faults = {})
        : line(protocol, faults), transfer(line.harness.manager, line.record)
    {
        transfer.onPaused = [this](Reason r) { pauses.push_back(r); };
        transfer.onStatus = [this](const std::string& s) { statuses.push_back(s); };
    }

    std::string File(const char* name) const { return dir.filePath(name).toStdString(); }

    TransferSet Prepare(TransferOperation op, const std::string& path)
    {
        const auto kind = TransferFileKindOf(path).value_or(TransferFileKind::Parameter);
        Result<TransferSet> set = PrepareTransferSet(op, path, kind, line.Data(), messages);
        EXPECT_TRUE(set.Ok()) << set.Text();
        return set.Ok() ? std::move(set).Value() : TransferSet{};
    }

    void Save(CParaArray& set, const std::string& path)
    {
        ArchiveFile file(&messages);
        file.Attach(path, &set);
        ASSERT_TRUE(file.Save(true));
    }

    // A file holding, for every writable parameter, a legal value other than the drive's.
    CParaArray ChangedSet(bool leadingLast)
    {
        CParaArray set(line.Data().Model(), line.Data().Version());
        std::vector<std::pair<uint32_t, uint32_t>> pairs;
        for (const auto& group : line.Data().Groups())
            for (const auto& item : group->items) {
                const uint32_t v = item->defaultValue != item->maximum ? item->maximum : item->minimum;
                pairs.emplace_back(item->address, item->writable ? v : item->defaultValue + 1);
            }
        if (leadingLast) {
            auto lead = std::find_if(pairs.begin(), pairs.end(), [](auto& p) { return p.first == 0x5215; });
            std::rotate(lead, lead + 1, pairs.end());
        }
        for (auto& [a, v] : pairs)
            set.Append(a, v);
        return set;
    }

    // A saved upload: every parameter of the data file, each holding the drive's register.
    void ExpectFileHoldsTheDrivesRegisters(const std::string& path)
    {
        CParaArray back(line.Data().Model(), line.Data().Version());
        ArchiveFile file(&messages);
        file.Attach(path, &back);
        ASSERT_TRUE(file.Load(true));
        ASSERT_EQ(back.Count(), static_cast<size_t>(line.Data().TotalItemCount()));
        for (size_t i = 0; i < back.Count(); ++i)
            ASSERT_EQ(back.ValueAt(i), line.Register(static_cast<uint16_t>(back.AddressAt(i))))
                << back.AddressAt(i);
    }

    bool RunToEnd(int maxTicks = 200000)
    {
        return line.harness.StepUntil(
                   [&] {
                       return !transfer.IsRunning() || transfer.GetState() == ParaTransfer::State::Paused;
                   },
                   maxTicks) &&
               !transfer.IsRunning();
    }

    // Two values above their maximum among legal ones: each refusal is listed with the drive's
    // reason and the rest is written, without a stop question.
    void ExpectRefusalsListedAndTheRestWritten(const std::string& reason)
    {
        CParaArray file(line.Data().Model(), line.Data().Version());
        const CItem* first = line.Data().FindItem(0x5101);
        const CItem* second = line.Data().FindItem(0x5103);
        ASSERT_TRUE(first && first->writable && second && second->writable);
        file.Append(0x5101, first->maximum + 1);
        file.Append(0x5102, line.Data().FindItem(0x5102)->minimum);
        file.Append(0x5103, second->maximum + 1);
        file.Append(0x5104, line.Data().FindItem(0x5104)->minimum);
        Save(file, File("bad.par"));
        ASSERT_TRUE(transfer.Start(TransferOperation::Download,
                                   Prepare(TransferOperation::Download, File("bad.par"))));
        ASSERT_TRUE(RunToEnd());
        EXPECT_TRUE(pauses.empty());
        EXPECT_EQ(transfer.GetEnd(), End::Finished);
        EXPECT_EQ(transfer.Failed(), (std::vector<uint16_t>{0x5101, 0x5103}));
        ASSERT_EQ(transfer.Refused().size(), 2u);
        EXPECT_EQ(transfer.Refused()[1].reason, reason);
        EXPECT_EQ(transfer.WrittenCount(), 2u);
        EXPECT_EQ(line.Register(0x5104), line.Data().FindItem(0x5104)->minimum);
        EXPECT_EQ(line.Data().FindItem(0x5101)->valueStatus, 2);
        const std::string status = transfer.FinalStatus();
        EXPECT_EQ(status.find("Download action is finished, 2 parameters failed\n0x5101 "), 0u) << status;
        EXPECT_NE(status.find(": refused, " + reason), std::string::npos) << status;
    }

    QTemporaryDir dir;
    DriveOnLine line;
    MessageLog messages;
    ParaTransfer transfer;
    std::vector<Reason> pauses;
    std::vector<std::string> statuses;
};

TEST_F(TransferTest, uploadOfEveryParameterOfTheLargestFileEqualsTheDrivesRegisters)
{
    // Some values away from the defaults, so a file of defaults would not pass.
    ASSERT_EQ(line.drive->Force(0x5215, 5000), "");
    ASSERT_EQ(line.drive->Force(0x5101, 3), "");
    const std::string path = File("drive.par");
    ASSERT_TRUE(transfer.Start(TransferOperation::Upload, Prepare(TransferOperation::Upload, path)));
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(transfer.GetEnd(), End::Finished) << transfer.ErrorText();
    EXPECT_TRUE(transfer.Failed().empty());
    EXPECT_EQ(transfer.ProgressTotal(), line.Data().TotalItemCount());
    ASSERT_TRUE(transfer.SaveUpload(path, messages));

    ExpectFileHoldsTheDrivesRegisters(path);
    EXPECT_EQ(transfer.FinalStatus(), "Upload action is finished");
}

TEST(LeadingParameter, isTheMaximumFrequencyOrSpeedOfEachModelsDataFile)
{
    const std::pair<const char*, uint16_t> expected[] = {
        {"QM-A20", 0x5215}, {"QM-C20", 0x6214}, {"QM-E20", 0x8215}, {"QM-F20X", 0x921E}, {"QM-B20X", 0xA215}};
    for (const auto& [model, address] : expected) {
        SCOPED_TRACE(model);
        test::LineHarness line(sim::Protocol::Kx485, 3, 1000, {});
        line.AddStations({std::string("5:") + model});
        StationRecord record;
        test::ConnectRecord(record, *line.line.Station(5));
        ASSERT_TRUE(record.paramData->IsLoaded());
        EXPECT_EQ(LeadingParameter(*record.paramData), address);
    }
}

TEST_F(TransferTest, aDownloadToARunningDriveAsksOnceBeforeTheFirstWrite)
{
    line.drive->Write(reg::kRunCommand, reg::kRunForward);
    line.drive->ClearJournal();
    ASSERT_TRUE(line.drive->Running());
    CParaArray file = ChangedSet(false);
    Save(file, File("run.par"));

    // Cancel: nothing reaches the drive.
    ASSERT_TRUE(
        transfer.Start(TransferOperation::Download, Prepare(TransferOperation::Download, File("run.par"))));
    line.harness.StepUntil([&] { return !pauses.empty(); });
    ASSERT_EQ(pauses, std::vector<Reason>{Reason::DriveRunning});
    ASSERT_FALSE(transfer.RunLocked().empty());
    for (uint16_t a : transfer.RunLocked())
        EXPECT_EQ(line.Data().FindItem(a)->runWritable, 0) << a;
    transfer.AnswerStop(true);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(transfer.GetEnd(), End::Stopped);
    EXPECT_TRUE(line.drive->Journal().empty());

    // Go on: the others are written, the run-locked ones listed once each and never sent.
    pauses.clear();
    ASSERT_TRUE(
        transfer.Start(TransferOperation::Download, Prepare(TransferOperation::Download, File("run.par"))));
    line.harness.StepUntil([&] { return !pauses.empty(); });
    const std::vector<uint16_t> locked = transfer.RunLocked();
    transfer.AnswerStop(false);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(pauses, std::vector<Reason>{Reason::DriveRunning});
    EXPECT_EQ(transfer.GetEnd(), End::Finished);
    EXPECT_EQ(transfer.Refused().size(), locked.size());
    EXPECT_GT(transfer.WrittenCount(), 0u);
    for (const auto& e : line.drive->Journal())
        EXPECT_EQ(std::count(locked.begin(), locked.end(), e.address), 0) << e.address;
    EXPECT_NE(transfer.FinalStatus().find(": refused, not writable while the inverter runs"),
              std::string::npos);
}

TEST_F(TransferTest, downloadWritesTheLeadingParameterFirstAndSkipsReadOnlyOnes)
{
    CParaArray file = ChangedSet(true);
    Save(file, File("new.par"));
    ASSERT_TRUE(
        transfer.Start(TransferOperation::Download, Prepare(TransferOperation::Download, File("new.par"))));
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(transfer.GetEnd(), End::Finished) << transfer.ErrorText();

    const auto& journal = line.drive->Journal();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.front().address, 0x5215);
    EXPECT_EQ(std::count_if(journal.begin(), journal.end(), [](auto& e) { return e.address == 0x5215; }), 1);
    size_t writable = 0;
    for (size_t i = 0; i < file.Count(); ++i) {
        const CItem* item = line.Data().FindItem(file.AddressAt(i));
        const uint16_t a = static_cast<uint16_t>(file.AddressAt(i));
        const bool written =
            std::any_of(journal.begin(), journal.end(), [a](auto& e) { return e.address == a; });
        EXPECT_EQ(written, item->writable != 0) << a;
        if (item->writable) {
            ++writable;
            EXPECT_EQ(line.Register(a), file.ValueAt(i) & 0xFFFF) << a;
        }
    }
    EXPECT_EQ(journal.size(), writable);
    EXPECT_EQ(transfer.SkippedCount(), file.Count() - writable);
}

TEST_F(TransferTest, valuesTheDriveRefusesAreListedWithTheReasonAndTheRestIsWritten)
{
    ExpectRefusalsListedAndTheRestWritten(CommManager::ErrorText(kDataRangeError));
}

class ModbusTransferTest : public TransferTest {
protected:
    ModbusTransferTest() : TransferTest(sim::Protocol::Modbus) {}
};

TEST_F(ModbusTransferTest, valuesTheDriveRefusesAreListedWithTheReasonAndTheRestIsWritten)
{
    ExpectRefusalsListedAndTheRestWritten(CommManager::ErrorText(ModbusExceptionError(3)));
}

// With block reads a group's consecutive parameters come in one request each; a drive that
// refuses them gets single reads from its first refusal on. The values are the same either way.
TEST_F(ModbusTransferTest, uploadReadsConsecutiveParametersInBlocksAndFallsBackWhenTheDriveRefuses)
{
    ASSERT_EQ(line.drive->Force(0x5215, 5000), "");
    std::vector<uint64_t> requests;
    for (const char* blocks : {"serve", "refuse"}) {
        SCOPED_TRACE(blocks);
        CommSettings s;
        s.portName = "sim";
        s.protocolMode = kModbusRtu;
        s.blockReads = true;
        ASSERT_EQ(line.harness.manager.Start(s), 0);
        ASSERT_EQ(
            line.harness.line.Command(std::string("blocks 3 ") + blocks, line.harness.now).text.find("error"),
            std::string::npos);
        const uint64_t before = line.harness.manager.Health(test::kTestStation).requests;
        int belowEnd = 0;  // the bar's last figure before the end
        transfer.onOverallProgress = [&](int percent) {
            if (percent < 100)
                belowEnd = percent;
        };
        const std::string path = File("blocks.par");
        ASSERT_TRUE(transfer.Start(TransferOperation::Upload, Prepare(TransferOperation::Upload, path)));
        ASSERT_TRUE(RunToEnd());
        ASSERT_EQ(transfer.GetEnd(), End::Finished) << transfer.ErrorText();
        EXPECT_TRUE(transfer.Failed().empty());
        EXPECT_EQ(transfer.ProgressDone(), transfer.ProgressTotal());
        EXPECT_GE(belowEnd, 90);  // every parameter of a block counts, not each request
        requests.push_back(line.harness.manager.Health(test::kTestStation).requests - before);
        ASSERT_TRUE(transfer.SaveUpload(path, messages));
        ExpectFileHoldsTheDrivesRegisters(path);
    }
    const auto total = static_cast<uint64_t>(line.Data().TotalItemCount());
    EXPECT_LT(requests[0] * 4, total);  // blocks of up to 16
    EXPECT_EQ(line.harness.manager.BlockReads(test::kTestStation), BlockReadUse::Refused);
    EXPECT_GE(requests[1], total);  // every parameter alone, after the refused first block
}

// A file made offline holds a negative value sign-extended; the drive and the upload hold the
// 16-bit register. Both are the same value to compare, verify and download.
TEST_F(TransferTest, aNegativeValueOfASignedParameterComparesEqualToTheDrivesRegister)
{
    const uint16_t address = 0x550E;
    const CItem* item = line.Data().FindItem(address);
    ASSERT_TRUE(item && item->writable);
    CParaArray file(line.Data().Model(), line.Data().Version());
    file.Append(address, static_cast<uint32_t>(-50));
    Save(file, File("neg.par"));
    ParaTransfer::Options verify;
    verify.verify = true;
    ASSERT_TRUE(transfer.Start(TransferOperation::Download,
                               Prepare(TransferOperation::Download, File("neg.par")), verify));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(transfer.GetEnd(), End::Finished);
    EXPECT_TRUE(transfer.Mismatches().empty());
    EXPECT_EQ(line.Register(address), 0xFFCE);

    ASSERT_TRUE(
        transfer.Start(TransferOperation::Compare, Prepare(TransferOperation::Compare, File("neg.par"))));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(transfer.GetEnd(), End::Finished);
    EXPECT_TRUE(transfer.Differences().empty());

    // A real difference in the low 16 bits still shows.
    ASSERT_EQ(line.drive->Force(address, 0xFFCD), "");
    ASSERT_TRUE(
        transfer.Start(TransferOperation::Compare, Prepare(TransferOperation::Compare, File("neg.par"))));
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(transfer.Differences().size(), 1u);
    EXPECT_EQ(transfer.Differences()[0].address, address);
}

TEST_F(TransferTest, aFailedLeadingWriteEndsTheDownloadBeforeAnyOtherWrite)
{
    CParaArray file = ChangedSet(false);
    for (size_t i = 0; i < file.Count(); ++i)
        if (file.AddressAt(i) == 0x5215)
            file.SetValueAt(i, line.Data().FindItem(0x5215)->maximum + 1);
    Save(file, File("lead.par"));
    ASSERT_TRUE(
        transfer.Start(TransferOperation::Download, Prepare(TransferOperation::Download, File("lead.par"))));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(transfer.GetEnd(), End::Error);
    EXPECT_TRUE(pauses.empty());
    EXPECT_EQ(transfer.WrittenCount(), 0u);
    for (const auto& e : line.drive->Journal())
        EXPECT_EQ(e.address, 0x5215);
    EXPECT_NE(transfer.ErrorText().find("must be written first"), std::string::npos);
}

TEST_F(TransferTest, aSilencedDriveGivesUpWithTheStopQuestionAndYesStopsIt)
{
    ASSERT_TRUE(transfer.Start(TransferOperation::Upload, Prepare(TransferOperation::Upload, File("u.par"))));
    line.harness.StepUntil([&] { return transfer.ProgressDone() == 10; });
    line.drive->SetSilenced(true);
    line.harness.StepUntil([&] { return !pauses.empty(); });
    ASSERT_EQ(pauses, std::vector<Reason>{Reason::Failure});
    EXPECT_TRUE(
        std::any_of(statuses.begin(), statuses.end(), [](auto& s) { return s == "3th Retrying..."; }));
    EXPECT_EQ(transfer.ErrorText(), CommManager::ErrorText(kTimeoutError));
    const CItem* failed = line.Data().FindItem(transfer.Failed().at(0));
    EXPECT_EQ(failed->valueStatus, 2);
    transfer.AnswerStop(true);
    EXPECT_EQ(transfer.GetEnd(), End::Stopped);
    line.harness.Step(200);
    EXPECT_EQ(transfer.ProgressDone(), 10);
}

TEST_F(TransferTest, compareListsExactlyTheChangedAndTheFailedAddresses)
{
    ASSERT_TRUE(
        transfer.Start(TransferOperation::Upload, Prepare(TransferOperation::Upload, File("base.par"))));
    ASSERT_TRUE(RunToEnd());
    ASSERT_TRUE(transfer.SaveUpload(File("base.par"), messages));
    ASSERT_EQ(line.drive->Force(0x5101, line.Register(0x5101) + 1), "");
    ASSERT_EQ(line.drive->Force(0x5305, line.Register(0x5305) + 2), "");

    TransferSet set = Prepare(TransferOperation::Compare, File("base.par"));
    const uint16_t victim = static_cast<uint16_t>(set.pairs->AddressAt(20));
    ASSERT_TRUE(transfer.Start(TransferOperation::Compare, std::move(set)));
    line.harness.StepUntil([&] { return transfer.ProgressDone() == 21; });
    line.drive->SetSilenced(true);
    line.harness.StepUntil([&] { return !pauses.empty(); });
    line.drive->SetSilenced(false);
    transfer.AnswerStop(false);
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(transfer.GetEnd(), End::Finished);

    std::vector<std::pair<uint16_t, bool>> rows;
    for (const CompareRow& r : transfer.Differences())
        rows.emplace_back(r.address, r.failed);
    std::vector<std::pair<uint16_t, bool>> expected{{0x5101, false}, {0x5305, false}, {victim, true}};
    std::sort(rows.begin(), rows.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(transfer.FinalStatus(), "Compare action is finished, 1 parameters failed");
}

TEST_F(TransferTest, verifyCatchesARegisterTheDriveDoesNotKeep)
{
    CParaArray file = ChangedSet(false);
    Save(file, File("v.par"));
    line.drive->SetForgetful(0x5102, true);
    ParaTransfer::Options options;
    options.verify = true;
    ASSERT_TRUE(transfer.Start(TransferOperation::Download,
                               Prepare(TransferOperation::Download, File("v.par")), options));
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(transfer.GetEnd(), End::Finished);
    ASSERT_EQ(transfer.Mismatches().size(), 1u);
    EXPECT_EQ(transfer.Mismatches()[0].address, 0x5102);
    EXPECT_EQ(transfer.Mismatches()[0].readBack, line.Register(0x5102));
    EXPECT_EQ(transfer.FinalStatus(), "Download action is finished, 1 parameters differ after verification");
}

TEST_F(TransferTest, theBackupHoldsTheDrivesValuesFromBeforeTheDownload)
{
    ASSERT_EQ(line.drive->Force(0x5101, 7), "");
    CParaArray file = ChangedSet(false);
    Save(file, File("d.par"));
    ParaTransfer::Options options;
    options.backupPath = File("backup.par");
    ASSERT_TRUE(transfer.Start(TransferOperation::Download,
                               Prepare(TransferOperation::Download, File("d.par")), options));
    line.harness.StepUntil([&] { return !line.drive->Journal().empty(); });
    ASSERT_TRUE(QFile::exists(dir.filePath("backup.par")));
    ASSERT_TRUE(RunToEnd());
    CParaArray backup(line.Data().Model(), line.Data().Version());
    ArchiveFile archive(&messages);
    archive.Attach(File("backup.par"), &backup);
    ASSERT_TRUE(archive.Load(true));
    ASSERT_EQ(backup.Count(), static_cast<size_t>(line.Data().TotalItemCount()));
    for (size_t i = 0; i < backup.Count(); ++i) {
        if (backup.AddressAt(i) == 0x5101) {
            EXPECT_EQ(backup.ValueAt(i), 7u);
        }
    }
    EXPECT_NE(line.Register(0x5101), 7);
}

TEST_F(TransferTest, oneProgressFigureRunsOnceThroughBackupWriteAndVerify)
{
    CParaArray file = ChangedSet(false);
    Save(file, File("p.par"));
    ParaTransfer::Options options;
    options.backupPath = File("backup.par");
    options.verify = true;
    std::vector<int> seen;
    std::map<ParaTransfer::Phase, int> atStart;
    transfer.onOverallProgress = [&](int percent) { seen.push_back(percent); };
    transfer.onProgress = [&](int done, int) {
        if (done == 0)
            atStart.emplace(transfer.GetPhase(), transfer.OverallPercent());
    };
    ASSERT_TRUE(transfer.Start(TransferOperation::Download,
                               Prepare(TransferOperation::Download, File("p.par")), options));
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(transfer.GetEnd(), End::Finished) << transfer.ErrorText();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    for (size_t i = 1; i < seen.size(); ++i)
        ASSERT_GE(seen[i], seen[i - 1]) << "fell back at " << i;
    // Each phase takes up where the one before left off. When the write starts, the run check,
    // the backup of every parameter and the leading write are done, out of at most that plus
    // every pair written and verified; when the verification starts, all but it is done.
    const int backup = line.Data().TotalItemCount();
    const int pairs = static_cast<int>(file.Count());
    const int written = static_cast<int>(transfer.WrittenCount());
    ASSERT_TRUE(atStart.count(ParaTransfer::Phase::Transfer) && atStart.count(ParaTransfer::Phase::Verify));
    EXPECT_GE(atStart[ParaTransfer::Phase::Transfer], 100 * (backup + 2) / (backup + 2 + 2 * pairs));
    EXPECT_EQ(atStart[ParaTransfer::Phase::Verify],
              100 * (backup + 1 + written) / (backup + 1 + 2 * written));
}

TEST_F(TransferTest, cancelWhileTheRequestWaitsInTheQueueWithdrawsItAndTheNextRunIsNotAnsweredByIt)
{
    CParaArray file(line.Data().Model(), line.Data().Version());
    file.Append(0x5101, 9);
    Save(file, File("c.par"));
    // Another window's request goes first, so ours is still queued when Cancel is answered.
    CommClient other;
    line.harness.manager.QueueRead(test::kTestStation, 0x5102, &other);
    line.harness.Step();
    ASSERT_TRUE(
        transfer.Start(TransferOperation::Download, Prepare(TransferOperation::Download, File("c.par"))));
    transfer.RequestStop();
    ASSERT_EQ(pauses, std::vector<Reason>{Reason::Cancel});
    transfer.AnswerStop(true);
    EXPECT_EQ(transfer.GetEnd(), End::Stopped);
    line.harness.Step(100);
    EXPECT_TRUE(line.drive->Journal().empty());

    ASSERT_TRUE(
        transfer.Start(TransferOperation::Compare, Prepare(TransferOperation::Compare, File("c.par"))));
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(transfer.Differences().size(), 1u);
    EXPECT_EQ(transfer.Differences()[0].driveValue, line.Register(0x5101));
}

TEST_F(TransferTest, noAfterCancelCarriesOnAndADisconnectedStationEndsTheTransfer)
{
    ASSERT_TRUE(transfer.Start(TransferOperation::Upload, Prepare(TransferOperation::Upload, File("x.par"))));
    line.harness.Step(5);
    transfer.RequestStop();
    const int done = transfer.ProgressDone();
    line.harness.Step(20);
    EXPECT_EQ(transfer.ProgressDone(), done);
    transfer.AnswerStop(false);
    line.harness.Step(20);
    EXPECT_GT(transfer.ProgressDone(), done);
    line.record.present = 0;
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(transfer.GetEnd(), End::Error);
    EXPECT_EQ(transfer.ErrorText(), "Selected Inverter is disconnected");
}

TEST_F(TransferTest, eachFailureToBeginOrToSaveSaysItsCodeAndText)
{
    // A file that is not there: the box and the failure say the same.
    Result<TransferSet> missing = PrepareTransferSet(TransferOperation::Download, File("none.par"),
                                                     TransferFileKind::Parameter, line.Data(), messages);
    EXPECT_EQ(missing.Code(), kTransferFileFailed);
    EXPECT_EQ(missing.Text(), transfer_text::kOpenParFailed);
    EXPECT_FALSE(PrepareTransferSet(TransferOperation::Compare, File("none.usr"), TransferFileKind::UserGroup,
                                    line.Data(), messages)
                     .Ok());

    // Nothing to save before a transfer, and a folder that does not exist.
    EXPECT_EQ(transfer.SaveUpload(File("early.par"), messages).Code(), kTransferNotReady);
    EXPECT_EQ(transfer.Start(TransferOperation::Upload, TransferSet{}).Code(), kTransferNotReady);
    ASSERT_TRUE(transfer.Start(TransferOperation::Upload, Prepare(TransferOperation::Upload, File("u.par"))));
    EXPECT_EQ(
        transfer.Start(TransferOperation::Upload, Prepare(TransferOperation::Upload, File("v.par"))).Code(),
        kTransferNotReady);
    ASSERT_TRUE(RunToEnd());
    const Result<void> saved = transfer.SaveUpload(File("no/such/folder/u.par"), messages);
    EXPECT_EQ(saved.Code(), kTransferFileFailed);
    EXPECT_EQ(saved.Text(), transfer_text::kSaveParFailed);

    // A station gone before the start.
    line.record.present = 0;
    const Result<void> started =
        transfer.Start(TransferOperation::Upload, Prepare(TransferOperation::Upload, File("w.par")));
    EXPECT_EQ(started.Code(), kTransferDisconnected);
    EXPECT_EQ(started.Text(), transfer_text::kDisconnected);
    EXPECT_EQ(transfer.ErrorText(), started.Text());
    EXPECT_EQ(transfer.GetEnd(), End::Error);
}

class NoisyTransferTest : public TransferTest {
protected:
    NoisyTransferTest() : TransferTest(sim::Protocol::Modbus, sim::LineFaults{0.05, 0.05, 0, false, 7}) {}
};

TEST_F(NoisyTransferTest, droppedAndCorruptedRepliesAreRepeatedAndTheResultIsStillExact)
{
    CParaArray file = ChangedSet(false);
    Save(file, File("n.par"));
    ParaTransfer::Options options;
    options.verify = true;
    ASSERT_TRUE(transfer.Start(TransferOperation::Download,
                               Prepare(TransferOperation::Download, File("n.par")), options));
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(transfer.GetEnd(), End::Finished) << transfer.ErrorText();
    EXPECT_TRUE(pauses.empty());
    EXPECT_TRUE(transfer.Mismatches().empty());
    EXPECT_GT(std::count_if(statuses.begin(), statuses.end(),
                            [](auto& s) { return s.find("Retrying") != std::string::npos; }),
              0);
    for (size_t i = 0; i < file.Count(); ++i) {
        if (line.Data().FindItem(file.AddressAt(i))->writable) {
            ASSERT_EQ(line.Register(static_cast<uint16_t>(file.AddressAt(i))), file.ValueAt(i) & 0xFFFF);
        }
    }
}

TEST_F(TransferTest, aUserGroupUploadFillsTheEntriesAndADownloadOfItWritesThem)
{
    CCustom group(&line.Data(), line.Data().Model(), line.Data().Version());
    group.AddEntry(0x5101, 0);
    group.AddEntry(0x5102, 0);
    {
        ArchiveFile file(&messages);
        file.Attach(File("g.usr"), &group);
        ASSERT_TRUE(file.Save(true));
    }
    ASSERT_EQ(line.drive->Force(0x5101, 4), "");
    ASSERT_TRUE(transfer.Start(TransferOperation::Upload, Prepare(TransferOperation::Upload, File("g.usr"))));
    ASSERT_TRUE(RunToEnd());
    ASSERT_TRUE(transfer.SaveUpload(File("g.usr"), messages));
    EXPECT_EQ(transfer.Set().group->EntryAt(0)->value, 4u);

    ASSERT_EQ(line.drive->Force(0x5101, 5), "");
    ASSERT_TRUE(
        transfer.Start(TransferOperation::Download, Prepare(TransferOperation::Download, File("g.usr"))));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(line.Register(0x5101), 4);
    EXPECT_EQ(line.drive->Journal().size(), 2u);
}

}  // namespace
}  // namespace vm
