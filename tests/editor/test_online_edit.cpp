// The online edit dialogs' logic, the online undo write and the reading dialog's logic against a
// simulated QM-A20.

#include "catalogue/Registers.h"
#include "editor/OnlineUndoWriter.h"
#include "editor/ParaEditLogic.h"
#include "editor/ParaReadLogic.h"
#include "tests/support/TransferFixture.h"

#include <gtest/gtest.h>

namespace vm {
namespace {

using Result = ParaEditLogic::WriteResult;

class OnlineEditTest : public ::testing::Test {
protected:
    OnlineEditTest() { line.record.status = reg::kStatusStop; }
    CItem* Item(uint16_t a) { return line.Data().FindItem(a); }
    bool Settle(ParaEditLogic& e)
    {
        return line.harness.StepUntil([&] { return e.ControlsEnabled(); });
    }

    test::DriveOnLine line;
    std::vector<EditUndoRecord> undo;
};

TEST_F(OnlineEditTest, twoWritesPushUndoRecordsWhoseOldValuesChainFromTheValueReadAtOpening)
{
    ASSERT_EQ(line.drive->Force(0x5101, 40), "");
    ParaEditLogic edit(line.harness.manager, line.record, Item(0x5101));
    edit.pushUndo = [&](const EditUndoRecord& r) { undo.push_back(r); };
    edit.Open();
    ASSERT_TRUE(Settle(edit));
    EXPECT_EQ(edit.ShownValue(), 40u);
    ASSERT_EQ(edit.Write(edit.Item()->Decode(60)), Result::Sent);
    ASSERT_TRUE(Settle(edit));
    ASSERT_EQ(edit.Write(edit.Item()->Decode(70)), Result::Sent);
    ASSERT_TRUE(Settle(edit));
    ASSERT_EQ(undo.size(), 2u);
    EXPECT_EQ(undo[0].oldValue, 40u);
    EXPECT_EQ(undo[0].newValue, 60u);
    EXPECT_EQ(undo[1].oldValue, 60u);
    EXPECT_EQ(undo[1].newValue, 70u);
    EXPECT_EQ(line.Register(0x5101), 70);
}

TEST(EditLoop, movesWrapAtBothEndsAndAnyOtherCodeEndsTheLoop)
{
    EXPECT_EQ(NextEditRow(9, 10, 1), 0);
    EXPECT_EQ(NextEditRow(0, 10, 2), 9);
    EXPECT_EQ(NextEditRow(4, 10, 1), 5);
    EXPECT_EQ(NextEditRow(4, 10, 0), -1);
    EXPECT_EQ(NextEditRow(0, 0, 1), -1);
}

TEST_F(OnlineEditTest, theRunLockAndTheRangeCheckSendNoWriteAndReadTheValueAgain)
{
    ParaEditLogic edit(line.harness.manager, line.record, Item(0x5103));
    edit.Open();
    ASSERT_TRUE(Settle(edit));
    line.record.status = reg::kStatusForward;  // running
    EXPECT_EQ(edit.Write(2), Result::RunLocked);
    EXPECT_FALSE(edit.ControlsEnabled());  // reading again
    ASSERT_TRUE(Settle(edit));
    line.record.status = reg::kStatusStop;
    EXPECT_EQ(edit.Write(Item(0x5103)->maximum + 1), Result::RangeError);
    EXPECT_EQ(edit.StatusText(), "*** Data Range Error ***");
    ASSERT_TRUE(Settle(edit));
    EXPECT_TRUE(line.drive->Journal().empty());

    // A parameter writable while running is not locked.
    line.record.status = reg::kStatusForward;
    ParaEditLogic acc(line.harness.manager, line.record, Item(0x5101));
    acc.Open();
    ASSERT_TRUE(Settle(acc));
    EXPECT_EQ(acc.Write(acc.Item()->Decode(30)), Result::Sent);
}

TEST_F(OnlineEditTest, aFailedWriteLeavesTheItemsValueAndReadsAgain)
{
    ParaEditLogic edit(line.harness.manager, line.record, Item(0x5101));
    edit.Open();
    ASSERT_TRUE(Settle(edit));
    const uint32_t before = Item(0x5101)->value;
    line.drive->SetSilenced(true);
    ASSERT_EQ(edit.Write(edit.Item()->Decode(before + 5)), Result::Sent);
    ASSERT_TRUE(line.harness.StepUntil([&] { return edit.StatusText() == "*** Timeout Error ***"; }));
    EXPECT_EQ(Item(0x5101)->value, before);
    ASSERT_TRUE(Settle(edit));  // the read again fails too
    EXPECT_EQ(Item(0x5101)->value, before);
    EXPECT_EQ(Item(0x5101)->valueStatus, 2);
    EXPECT_FALSE(edit.HasValue());
}

TEST_F(OnlineEditTest, readOnlyParametersOpenWithWritingDisabledAndEntryModeOpensWithoutARead)
{
    ParaEditLogic readOnly(line.harness.manager, line.record, Item(0x5305));
    readOnly.Open();
    ASSERT_TRUE(Settle(readOnly));
    EXPECT_FALSE(readOnly.WriteEnabled());
    EXPECT_EQ(readOnly.Write(1), Result::Refused);

    CCustom group(&line.Data(), line.Data().Model(), line.Data().Version());
    CCustom::Entry* entry = group.AddEntry(0x5101, 123);
    ParaEditLogic edit(line.harness.manager, line.record, nullptr, entry);
    edit.Open();
    EXPECT_TRUE(edit.ControlsEnabled());
    EXPECT_EQ(edit.ShownValue(), 123u);
    EXPECT_EQ(line.harness.manager.QueueLength(), 0u);
    ASSERT_EQ(edit.Write(edit.Item()->Decode(77)), Result::Sent);
    EXPECT_TRUE(group.IsModified());
    EXPECT_EQ(entry->value, 77u);
    EXPECT_FALSE(edit.NeedsSaveQuestion(1));  // entry mode never asks
}

TEST_F(OnlineEditTest, closingAsksOnlyWhenTheShownValueWasChangedAndTheWaitIsBounded)
{
    ParaEditLogic edit(line.harness.manager, line.record, Item(0x5101));
    edit.Open();
    EXPECT_FALSE(edit.NeedsSaveQuestion(5));  // still reading
    ASSERT_TRUE(Settle(edit));
    EXPECT_FALSE(edit.NeedsSaveQuestion(edit.ShownValue()));
    EXPECT_TRUE(edit.NeedsSaveQuestion(edit.ShownValue() + 1));
    EXPECT_EQ(edit.CloseWaitMs(), 4 * line.harness.manager.TimeoutTicks() * 30 + 100);
}

TEST_F(OnlineEditTest, onlineUndoWritesTheOldValueAppliesItOnSuccessAndGivesTheRecordBackOnFailure)
{
    OnlineUndoWriter writer(line.harness.manager, line.record);
    std::vector<EditUndoRecord> done, failed;
    writer.onDone = [&](const EditUndoRecord& r, OnlineUndoWriter::Direction) { done.push_back(r); };
    writer.onFailed = [&](const EditUndoRecord& r, OnlineUndoWriter::Direction, const std::string&) {
        failed.push_back(r);
    };
    const EditUndoRecord record{0x5101, 33, 60, false, nullptr};
    ASSERT_EQ(writer.Write(record, OnlineUndoWriter::Direction::Undo, false), OnlineUndoWriter::Result::Sent);
    EXPECT_EQ(writer.Write(record, OnlineUndoWriter::Direction::Undo, false), OnlineUndoWriter::Result::Busy);
    EXPECT_NE(Item(0x5101)->value, 33u);
    line.harness.StepUntil([&] { return !writer.Pending(); });
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].oldValue, 60u);
    EXPECT_EQ(done[0].newValue, 33u);
    EXPECT_EQ(Item(0x5101)->value, 33u);
    EXPECT_EQ(line.Register(0x5101), 33);

    line.drive->SetSilenced(true);
    ASSERT_EQ(writer.Write(done[0], OnlineUndoWriter::Direction::Redo, false),
              OnlineUndoWriter::Result::Sent);
    line.harness.StepUntil([&] { return !writer.Pending(); });
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].oldValue, 60u);
    EXPECT_EQ(Item(0x5101)->value, 33u);

    EXPECT_EQ(writer.Write(done[0], OnlineUndoWriter::Direction::Redo, true),
              OnlineUndoWriter::Result::GraphWatch);
    line.record.status = reg::kStatusForward;
    EXPECT_EQ(writer.Write({0x5103, 1, 2, false, nullptr}, OnlineUndoWriter::Direction::Undo, false),
              OnlineUndoWriter::Result::RunLocked);
}

TEST_F(OnlineEditTest, anEntryDeletedWhileItsUndoWriteIsPendingIsNeverTouchedAgain)
{
    OnlineUndoWriter writer(line.harness.manager, line.record);
    int done = 0, failed = 0, forgotten = 0;
    writer.onDone = [&](const EditUndoRecord&, OnlineUndoWriter::Direction) { ++done; };
    writer.onFailed = [&](const EditUndoRecord&, OnlineUndoWriter::Direction, const std::string&) {
        ++failed;
    };
    writer.onForgotten = [&] { ++forgotten; };
    auto group = std::make_unique<CCustom>();
    CCustom::Entry* entry = group->AddEntry(0x5101, 60);
    ASSERT_EQ(writer.Write({0x5101, 33, 60, true, entry}, OnlineUndoWriter::Direction::Undo, false),
              OnlineUndoWriter::Result::Sent);
    writer.ForgetEntry(entry);
    group.reset();  // the entry is gone; ASan reports any later touch
    line.harness.StepUntil([&] { return !writer.Pending(); });
    EXPECT_EQ(forgotten, 1);
    EXPECT_EQ(done + failed, 0);
    EXPECT_EQ(line.Register(0x5101), 33);  // the drive took the write all the same
}

TEST_F(OnlineEditTest, readingAGroupFillsItsValuesAndAGiveUpEndsTheReadingKeepingTheOldValue)
{
    CGroup* group = Item(0x5101)->Group();
    ParaReadLogic read(line.harness.manager, line.record, ParaReadLogic::Kind::Group, group);
    read.Start();
    ASSERT_TRUE(line.harness.StepUntil([&] { return read.Finished(); }));
    EXPECT_EQ(read.Percent(), 100);
    for (const auto& item : group->items) {
        EXPECT_EQ(item->valueStatus, 1);
        EXPECT_EQ(item->value, line.Register(item->address));
    }

    for (const auto& item : group->items)
        item->value = 4242;
    ParaReadLogic again(line.harness.manager, line.record, ParaReadLogic::Kind::Group, group);
    again.Start();
    line.drive->SetSilenced(true);
    ASSERT_TRUE(line.harness.StepUntil([&] { return again.Finished(); }));
    EXPECT_EQ(again.ErrorText(), "Timeout Error");
    EXPECT_EQ(group->items.At(0)->valueStatus, 2);
    EXPECT_EQ(group->items.At(0)->value, 4242u);
    EXPECT_EQ(group->items.At(1)->valueStatus, 1);  // never reached
}

TEST_F(OnlineEditTest, cancellingAReadWithdrawsItsQueuedRequest)
{
    CommClient other;
    line.harness.manager.QueueRead(test::kTestStation, 0x5102, &other);
    ParaReadLogic read(line.harness.manager, line.record, ParaReadLogic::Kind::All);
    read.Start();
    EXPECT_EQ(line.harness.manager.QueueLength(), 2u);
    read.Cancel();
    EXPECT_TRUE(read.Cancelled());
    EXPECT_EQ(line.harness.manager.QueueLength(), 1u);
}

}  // namespace
}  // namespace vm
