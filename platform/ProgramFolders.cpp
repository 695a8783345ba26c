#include "platform/ProgramFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vm {

namespace {

bool IsWritableFolder(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isWritable();
}

QString Clean(const QString& path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

}  // namespace

ProgramFolders ResolveProgramFolders(const QString& executableFolder, const QString& userFolder,
                                     const QStringList& dataCandidates)
{
    ProgramFolders f;
    f.program = Clean(IsWritableFolder(executableFolder) ? executableFolder : userFolder);
    QDir().mkpath(f.program);
    QDir program(f.program);
    f.log = program.filePath(QStringLiteral("Log"));
    f.temp = program.filePath(QStringLiteral("Temp"));
    program.mkpath(QStringLiteral("Log"));
    program.mkpath(QStringLiteral("Temp"));

    f.data = program.filePath(QStringLiteral("Data"));
    if (!QFileInfo(f.data).isDir()) {
        for (const QString& candidate : dataCandidates) {
            if (QFileInfo(candidate).isDir()) {
                f.data = Clean(candidate);
                break;
            }
        }
    }
    return f;
}

bool IsInstalledProgramFolder(const QString& executableFolder)
{
    const QDir exe(executableFolder);
    return !QFileInfo(exe.filePath(QStringLiteral("Data"))).isDir() &&
           QFileInfo(exe.filePath(QStringLiteral("../share/varimon/Data"))).isDir();
}

QStringList DataFolderCandidates(const QString& executableFolder, const QString& buildFolder,
                                 const QString& buildData)
{
    const QDir exe(executableFolder);
    QStringList candidates{exe.filePath(QStringLiteral("../Data")),
                           exe.filePath(QStringLiteral("../share/varimon/Data"))};
    // Compare resolved paths: "/src/build2" is not inside "/src/build".
    const QString folder = QFileInfo(executableFolder).canonicalFilePath();
    const QString build = QFileInfo(buildFolder).canonicalFilePath();
    if (!folder.isEmpty() && !build.isEmpty() &&
        (folder == build || folder.startsWith(build + QLatin1Char('/'))))
        candidates << buildData;
    return candidates;
}

ProgramFolders ResolveExecutableFolders(const QString& executableFolder, const QString& userFolder,
                                        const QString& buildFolder, const QString& buildData)
{
    const bool installed = IsInstalledProgramFolder(executableFolder);
    return ResolveProgramFolders(installed ? userFolder : executableFolder, userFolder,
                                 DataFolderCandidates(executableFolder, buildFolder, buildData));
}

ProgramFolders ResolveApplicationFolders()
{
    return ResolveExecutableFolders(QCoreApplication::applicationDirPath(),
                                    QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation),
                                    QStringLiteral(VARIMON_BUILD_DIR),
                                    QStringLiteral(VARIMON_BUILD_DATA_DIR));
}

}  // namespace vm
