// varimonctl's upload, download and compare against a simulated QM-E20, on the test's ticks.

#include "paramdb/ObjectArchive.h"
#include "paramdb/ParaArray.h"
#include "tests/support/LineHarness.h"
#include "tools/ctl/CtlRunner.h"
#include "tools/ctl/CtlTransfer.h"

#include "tests/support/ResultChecks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace vm::ctl {
namespace {

class CtlTransferTest : public ::testing::Test {
protected:
    CtlTransferTest()
    {
        harness_.AddStations({"2:QM-E20"});
        drive_ = harness_.line.Station(2);
        dir_ = std::filesystem::temp_directory_path() / ("ctl-transfer-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    ~CtlTransferTest() override { std::filesystem::remove_all(dir_); }

    int Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--port", "sim", "--data", VARIMON_TEST_DATA_DIR});
        CtlOptions options = test::Parsed(ParseCtlOptions(args));
        out_.str("");
        err_.str("");
        CtlTransfer transfer(harness_.manager, options, out_, err_, false);
        transfer.Begin();
        EXPECT_TRUE(harness_.StepUntil([&] { return transfer.Finished(); }));
        return transfer.ExitCode();
    }
    std::string File(const char* name) const { return (dir_ / name).string(); }

    test::LineHarness harness_;
    sim::SimDrive* drive_ = nullptr;
    std::filesystem::path dir_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(CtlTransferTest, aVerifiedDownloadListsTheRegisterTheDriveDidNotKeepAndExitsFive)
{
    ASSERT_EQ(Run({"upload", "2", File("d.par")}), kExitOk) << err_.str();
    CParaArray set(8, drive_->Identity().version);
    MessageLog log;
    ArchiveFile file(&log);
    file.Attach(File("d.par"), &set);
    ASSERT_TRUE(file.Load(true));
    for (size_t i = 0; i < set.Count(); ++i)
        if (set.AddressAt(i) == 0x8102)
            set.SetValueAt(i, 200);
    ASSERT_TRUE(file.Save(true));
    drive_->SetForgetful(0x8102, true);

    EXPECT_EQ(Run({"download", "2", File("d.par"), "--verify"}), kExitDifferent) << err_.str();
    EXPECT_EQ(out_.str().substr(0, out_.str().find('\n')), "0x8102 Dec. Time 200 100");
    EXPECT_EQ(Run({"download", "2", File("d.par")}), kExitOk);  // unverified, nobody notices
    EXPECT_EQ(Run({"--json", "compare", "2", File("d.par")}), kExitDifferent);
    EXPECT_EQ(
        out_.str().substr(0, out_.str().find('\n')),
        R"({"address":33026,"drive":100,"driveText":"10.0","file":200,"fileText":"20.0","name":"Dec. Time","unit":"sec"})");
}

TEST_F(CtlTransferTest, theFileCommandsCheckTheirArguments)
{
    EXPECT_EQ(test::Complaint(ParseCtlOptions({"--port", "x", "upload", "2"})),
              "upload takes ID FILE (.par or .usr)");
    EXPECT_EQ(test::Complaint(ParseCtlOptions({"--port", "x", "--verify", "compare", "2", "a.par"})),
              "--verify belongs to download");
    EXPECT_EQ(Run({"upload", "2", File("a.txt")}), kExitUsage);
    EXPECT_NE(err_.str().find("use a .par or .usr file"), std::string::npos);
}

}  // namespace
}  // namespace vm::ctl
