#pragma once
// Where the program keeps its files: the program folder with "Log" and "Temp" below it, and the
// "Data" folder of parameter data files.

#include <QString>
#include <QStringList>

namespace vm {

struct ProgramFolders {
    QString program;  // no trailing separator
    QString log;
    QString temp;
    QString data;
};

// Program folder = the executable's folder when it is writable, else the per-user data folder.
// Data = <program>/Data when it exists, else the first existing candidate, else <program>/Data.
// Creates "Log" and "Temp"; failures are not reported (later file operations report their own).
ProgramFolders ResolveProgramFolders(const QString& executableFolder, const QString& userFolder,
                                     const QStringList& dataCandidates);

// An installed program: its folder has no Data of its own but ../share/varimon/Data exists (a
// package's /usr/bin). Such a folder is never the program folder, even where it is writable.
bool IsInstalledProgramFolder(const QString& executableFolder);

// Where a program in executableFolder looks for Data after its program folder: ../Data, the
// installed ../share/varimon/Data, and buildData only for a program inside buildFolder, so that
// an installed program never reads a build's files.
QStringList DataFolderCandidates(const QString& executableFolder, const QString& buildFolder,
                                 const QString& buildData);

// The folders of a program in executableFolder, by the rules above.
ProgramFolders ResolveExecutableFolders(const QString& executableFolder, const QString& userFolder,
                                        const QString& buildFolder, const QString& buildData);

// The folders of the running executable.
ProgramFolders ResolveApplicationFolders();

}  // namespace vm
