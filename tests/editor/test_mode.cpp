// The mode setup: stored choices and their validation, what the dialog allows online, offline
// and on reopening, and the limit of 32 offline editors.

#include "EditorTestSupport.h"

#include "editor/ParaModeDialog.h"

#include <QFile>
#include <QPushButton>

namespace vm::test {
namespace {

using ModeSetup = EditorTest;

TEST_F(ModeSetup, storedValuesOutsideTheirRangeReadAsDefaults)
{
    QSettings s(kCompanyKey, kApplicationKey);
    s.setValue("Main/Para Model", 7);
    s.setValue("Main/Para TIME1", 5);
    ModeSettings m = ModeSettings::Read(s);
    EXPECT_EQ(m.model, 10);
    EXPECT_EQ(m.time1Index, 1);
    EXPECT_EQ(m.mode, 1);
    s.setValue("Main/Para TIME1", -1);
    s.setValue("Main/Para Model", 8);
    m = ModeSettings::Read(s);
    EXPECT_EQ(m.time1Index, 1);
    EXPECT_EQ(m.model, 8);
    s.setValue("Main/Para TIME1", 2);
    EXPECT_EQ(ModeSettings::Read(s).time1Index, 2);
}

TEST_F(ModeSetup, time1ValuesOtherThanOneAndHundredMapToTenthOfASecond)
{
    EXPECT_EQ(Time1Index(100), 0);
    EXPECT_EQ(Time1Index(1), 2);
    EXPECT_EQ(Time1Index(10), 1);
    EXPECT_EQ(Time1Index(7), 1);
    EXPECT_EQ(Time1FromIndex(0), 100);
    EXPECT_EQ(Time1FromIndex(2), 1);
}

TEST_F(ModeSetup, unknownStoredModelSelectsModelTenOffline)
{
    ModeSettings stored;
    stored.model = 10;
    stored.version = 0x9999;  // not on disk: the first version is taken
    ParaModeLogic logic(host, 256, ModeUse::NewEditor, stored);
    ASSERT_GE(logic.ModelIndex(), 0);
    EXPECT_EQ(logic.Models()[static_cast<size_t>(logic.ModelIndex())].data, 10);
    EXPECT_EQ(logic.VersionIndex(), 0);
    EXPECT_TRUE(logic.SetupEnabled());
    EXPECT_EQ(logic.Caption(), "OFF LINE - Parameter Editor Mode Setup");
}

TEST_F(ModeSetup, modelWithoutDataFileDisablesSetup)
{
    host.versions = DataFileVersions{};  // nothing found below the Data folder
    ModeSettings stored;
    ParaModeLogic logic(host, 256, ModeUse::NewEditor, stored);
    EXPECT_FALSE(logic.SetupEnabled());
    EXPECT_FALSE(logic.ModelEnabled());
    EXPECT_EQ(logic.Status(), "There is no data file for this model");
    EXPECT_TRUE(logic.StatusIsError());
    EXPECT_FALSE(logic.Setup());
}

TEST_F(ModeSetup, setupLoadsTheDataFileIntoTheOfflineSlot)
{
    ModeSettings stored;
    stored.model = kLargestModel;
    stored.version = kLargestVersion;
    stored.time1Index = 0;
    stored.mode = 0;
    ParaModeLogic logic(host, 260, ModeUse::NewEditor, stored);
    ASSERT_TRUE(logic.Setup());
    const StationRecord& r = host.Record(260);
    ASSERT_TRUE(r.paramData && r.paramData->IsLoaded());
    EXPECT_EQ(r.model, kLargestModel);
    EXPECT_EQ(r.version, kLargestVersion);
    EXPECT_EQ(logic.Choice().mode, 0);
    EXPECT_EQ(logic.Choice().time1, 100);
}

TEST_F(ModeSetup, damagedDataFileKeepsTheDialogOpenAndTheSlotFree)
{
    // A copy of the Data folder with one damaged file.
    const QString data = dir.filePath("Data");
    QDir().mkpath(data + "/QM-E20");
    QFile bad(data + "/QM-E20/QM-E20_0012.dat");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a data file");
    bad.close();
    host.folders.data = data;
    ModeSettings stored;
    stored.model = 8;
    stored.version = 0x0012;
    ParaModeLogic logic(host, 256, ModeUse::NewEditor, stored);
    EXPECT_FALSE(logic.Setup());
    EXPECT_TRUE(logic.StatusIsError());
    EXPECT_FALSE(logic.Status().isEmpty());
    EXPECT_FALSE(host.Record(256).paramData);
    EXPECT_EQ(host.Record(256).model, 0);
    EXPECT_EQ(host.Record(256).station, 256);

    // Another version (here: the real Data folder again) then succeeds.
    host.folders.data = QStringLiteral(VARIMON_TEST_DATA_DIR);
    EXPECT_TRUE(logic.Setup());
}

TEST_F(ModeSetup, onlineDialogShowsTheDrivesTime1AndLocksTheLists)
{
    StationRecord& r = host.Record(3);
    r.present = r.connected = 1;
    r.model = kLargestModel;
    r.version = kLargestVersion;
    r.timeScale = 1;
    host.names[3] = "Pump A";
    ParaModeLogic noData(host, 3, ModeUse::NewEditor, ModeSettings{});
    EXPECT_EQ(noData.Status(), "Fail to initialize parameter object");
    EXPECT_FALSE(noData.SetupEnabled());

    r.paramData = std::make_shared<ParameterData>();
    ASSERT_TRUE(r.paramData->LoadDataFile(r, VARIMON_TEST_DATA_DIR));
    ParaModeLogic logic(host, 3, ModeUse::NewEditor, ModeSettings{});
    EXPECT_EQ(logic.Caption(), "ON LINE(Pump A) - Parameter Editor Mode Setup");
    EXPECT_EQ(logic.Time1Index(), 2);
    logic.SetTime1Index(0);
    EXPECT_EQ(logic.Time1Index(), 2);
    EXPECT_FALSE(logic.ModelEnabled() || logic.VersionEnabled() || logic.Time1Enabled());
    logic.SetFreq(false);
    ASSERT_TRUE(logic.Setup());
    EXPECT_EQ(logic.Choice().mode, 0);
    EXPECT_EQ(logic.Choice().time1, 1);
}

TEST_F(ModeSetup, offlineReopenChangesTime1ButNotModel)
{
    CParaFrame* frame = OpenOffline(8, 0x0012);
    ASSERT_TRUE(frame);
    ParaModeLogic logic(host, frame->Station(), ModeUse::Reopen, ModeSettings{});
    EXPECT_FALSE(logic.ModelEnabled());
    EXPECT_FALSE(logic.VersionEnabled());
    EXPECT_TRUE(logic.Time1Enabled());
    logic.SetTime1Index(2);
    logic.SelectModel(0);
    EXPECT_EQ(logic.Models()[static_cast<size_t>(logic.ModelIndex())].data, 8);
    ASSERT_TRUE(logic.Setup());
    EXPECT_EQ(logic.Choice().time1, 1);
}

TEST_F(ModeSetup, closingStillStoresTheChoices)
{
    ModeSettings stored;
    stored.model = 8;
    ParaModeLogic logic(host, 256, ModeUse::NewEditor, stored);
    logic.SetFreq(false);
    logic.SetTime1Index(0);
    QSettings s(kCompanyKey, kApplicationKey);
    logic.StoreSettings(s);  // what "&Close" does too
    const ModeSettings back = ModeSettings::Read(s);
    EXPECT_EQ(back.mode, 0);
    EXPECT_EQ(back.time1Index, 0);
    EXPECT_EQ(back.model, 8);
    EXPECT_EQ(back.version, 0x0012);
}

TEST_F(ModeSetup, theDialogMirrorsTheLogic)
{
    StationRecord& r = host.Record(3);
    r.present = r.connected = 1;
    r.model = kLargestModel;
    r.version = kLargestVersion;
    CParaModeDlg dlg(host, 3, ModeUse::NewEditor, nullptr);
    EXPECT_EQ(dlg.windowTitle(), "ON LINE - Parameter Editor Mode Setup");
    QPushButton* setup = nullptr;
    for (QPushButton* b : dlg.findChildren<QPushButton*>())
        if (b->text() == "&Setup")
            setup = b;
    ASSERT_TRUE(setup);
    EXPECT_FALSE(setup->isEnabled());
}

TEST_F(ModeSetup, theThirtyThirdOfflineEditorIsRefused)
{
    for (int i = 0; i < kMaxOfflineEditors; ++i)
        ASSERT_TRUE(OpenOffline(8, 0x0012)) << i;
    EXPECT_EQ(host.frames.OfflineCount(), 32);
    EXPECT_EQ(host.frames.FreeOfflineStation(), -1);
    EXPECT_FALSE(host.frames.Open(kKindParameterEditor, -1));
    // Even a slot handed in directly is refused while 32 are open.
    CFloatFrame* first = host.frames.Find(kKindParameterEditor, 256);
    first->close();
    EXPECT_EQ(host.frames.FreeOfflineStation(), 256);
    EXPECT_FALSE(host.Record(256).paramData);  // the slot was cleared on close
    EXPECT_TRUE(OpenOffline(8, 0x0012));
}

TEST_F(ModeSetup, closeInTheDialogOpensNothingAndLeavesTheSlotFree)
{
    RegisterEditorKind(host.frames,
                       [](ToolHost&, int, ModeUse, QWidget*) { return std::optional<ModeChoice>{}; });
    EXPECT_FALSE(host.frames.Open(kKindParameterEditor, 256));
    EXPECT_EQ(host.frames.OfflineCount(), 0);
    EXPECT_FALSE(host.Record(256).paramData);
}

TEST_F(ModeSetup, graphWatchBlocksTheOnlineEditor)
{
    ASSERT_TRUE(ConnectOnline(3));
    host.SetGraphWatch(true);
    EXPECT_FALSE(host.frames.Open(kKindParameterEditor, 3));
    host.SetGraphWatch(false);
    EXPECT_TRUE(host.frames.Open(kKindParameterEditor, 3));
}

}  // namespace
}  // namespace vm::test
