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

ProgramFolders ResolveApplicationFolders()
{
    const QString exe = QCoreApplication::applicationDirPath();
    QStringList candidates{QDir(exe).filePath(QStringLiteral("../Data")),
                           QDir(exe).filePath(QStringLiteral("../share/varimon/Data"))};
#ifdef VARIMON_BUILD_DATA_DIR
    candidates << QStringLiteral(VARIMON_BUILD_DATA_DIR);
#endif
    return ResolveProgramFolders(
        exe, QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation), candidates);
}

}  // namespace vm
