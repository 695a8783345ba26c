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

// The folder of the running executable and the usual candidates for the shipped Data folder.
ProgramFolders ResolveApplicationFolders();

}  // namespace vm
