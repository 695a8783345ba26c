#include "platform/ProgramFolders.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tests/platform/QStringPrinter.h"

using namespace vm;

namespace {

// A folder tree under a temporary root: "usr/bin", "build/tools/sim", ...
class FolderTreeTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    QString Make(const QString& relative)
    {
        EXPECT_TRUE(QDir(root.path()).mkpath(relative));
        return QDir::cleanPath(QDir(root.path()).filePath(relative));
    }
    QString Path(const QString& relative) const
    {
        return QDir::cleanPath(QDir(root.path()).filePath(relative));
    }
};

}  // namespace

TEST_F(FolderTreeTest, installedProgramKeepsLogAndTempInTheUserFolderAndReadsTheInstalledData)
{
    // Even a writable /usr/bin (a root user, an extracted package) is no place for Log and Temp.
    const QString bin = Make("usr/bin");
    const QString installed = Make("usr/share/varimon/Data");
    const QString buildData = Make("build/Data");
    ASSERT_TRUE(IsInstalledProgramFolder(bin));

    const ProgramFolders f = ResolveExecutableFolders(bin, Path("home/varimon"), Path("build"), buildData);
    EXPECT_EQ(f.program, Path("home/varimon"));
    EXPECT_TRUE(QDir(f.log).exists());
    EXPECT_FALSE(QDir(bin).exists("Log"));
    EXPECT_FALSE(QDir(bin).exists("Temp"));
    EXPECT_EQ(f.data, installed);
}

TEST_F(FolderTreeTest, programWithItsOwnDataIsAProgramFolderEvenBesideAnInstalledTree)
{
    const QString bin = Make("opt/bin/Data");
    Make("opt/share/varimon/Data");
    EXPECT_FALSE(IsInstalledProgramFolder(Path("opt/bin")));

    const ProgramFolders f =
        ResolveExecutableFolders(Path("opt/bin"), Path("home"), Path("build"), Path("build/Data"));
    EXPECT_EQ(f.program, Path("opt/bin"));
    EXPECT_EQ(f.data, bin);
}

TEST_F(FolderTreeTest, buildDataServesOnlyProgramsInsideTheBuildFolder)
{
    const QString buildData = Make("build/Data");
    const QString tool = Make("build/tools/sim");
    const QString sibling = Make("build2/tools/sim");  // shares the text "build", not the folder
    const QString elsewhere = Make("usr/local/bin");

    EXPECT_EQ(ResolveExecutableFolders(tool, Path("home"), Path("build"), buildData).data, buildData);
    EXPECT_FALSE(DataFolderCandidates(sibling, Path("build"), buildData).contains(buildData));
    EXPECT_FALSE(DataFolderCandidates(elsewhere, Path("build"), buildData).contains(buildData));
    // No Data anywhere: the program's own Data folder, where the error messages point.
    EXPECT_EQ(ResolveExecutableFolders(elsewhere, Path("home"), Path("build"), buildData).data,
              QDir(elsewhere).filePath("Data"));
}

TEST_F(FolderTreeTest, buildFolderReachedThroughASymlinkStillCounts)
{
    const QString buildData = Make("real/build/Data");
    const QString tool = Make("real/build/tools/ctl");
    ASSERT_TRUE(QFile::link(Path("real/build"), Path("link")));
    EXPECT_TRUE(DataFolderCandidates(tool, Path("link"), buildData).contains(buildData));
}
