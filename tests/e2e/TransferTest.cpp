// varimonctl's upload, download and compare between two simulators on pseudo-terminals.

#include "Processes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vm::e2e {
namespace {

TEST(CtlTransferTest, uploadFromOneDriveDownloadVerifiedToAnotherThenCompareFindsTheOneChangedParameter)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("drive.par");
    SimProcess first;
    SimProcess second;
    ASSERT_TRUE(first.Start({"--protocol", "kx485", "--station", "2:QM-E20"}))
        << first.Output().toStdString();
    ASSERT_TRUE(second.Start({"--protocol", "kx485", "--station", "2:QM-E20"}))
        << second.Output().toStdString();
    ASSERT_EQ(first.Command("set 2 0x8101 123"), "ok");

    CtlResult r = RunCtl(first, Kx485Args({"upload", "2", file}));
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    EXPECT_TRUE(r.out.startsWith("uploaded ")) << Show(r);

    r = RunCtl(second, Kx485Args({"compare", "2", file}));
    EXPECT_EQ(r.exitCode, 5) << Show(r);
    EXPECT_EQ(r.Lines(), QStringList{"0x8101 Acc. Time 50 123"});

    r = RunCtl(second, Kx485Args({"--json", "download", "2", file, "--verify"}));
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    EXPECT_TRUE(r.out.contains("\"mismatches\":[]")) << Show(r);

    r = RunCtl(second, Kx485Args({"compare", "2", file}));
    EXPECT_EQ(r.exitCode, 0) << Show(r);
    EXPECT_EQ(r.out, "");

    ASSERT_EQ(second.Command("set 2 0x8102 777"), "ok");
    r = RunCtl(second, Kx485Args({"compare", "2", file}));
    EXPECT_EQ(r.exitCode, 5) << Show(r);
    EXPECT_EQ(r.Lines(), QStringList{"0x8102 Dec. Time 777 100"});
}

TEST(CtlTransferTest, aSilentDriveEndsTheUploadWithoutAFile)
{
    QTemporaryDir dir;
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "kx485", "--station", "2:QM-E20"}));
    ASSERT_EQ(sim.Command("silence 2"), "ok");
    const CtlResult r =
        RunCtl(sim, Kx485Args({"--timeout", "100", "--retries", "1", "upload", "2", dir.filePath("x.par")}));
    EXPECT_EQ(r.exitCode, 1) << Show(r);
    EXPECT_FALSE(QFile::exists(dir.filePath("x.par")));
}

}  // namespace
}  // namespace vm::e2e
