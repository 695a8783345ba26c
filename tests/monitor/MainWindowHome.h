#pragma once
// A temporary home for a main window under test: its settings under config/, its program and
// user folders with the compiled Data folder as the shipped one, and a path to link a line at.

#include "platform/ProgramFolders.h"
#include "platform/Settings.h"

#include <QSettings>
#include <QString>
#include <QTemporaryDir>

namespace vm::test {

class MainWindowHome {
public:
    MainWindowHome()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("config"));
    }

    // The time-out and repetitions the window reads at its start.
    void StoreLineTiming(int timeOutMs, int retryCount) const
    {
        QSettings s(kCompanyKey, kApplicationKey);
        s.setValue("Main/TimeOut", timeOutMs);
        s.setValue("Main/Retry Count", retryCount);
    }
    ProgramFolders Folders() const
    {
        return ResolveProgramFolders(dir.filePath("program"), dir.filePath("user"), {VARIMON_TEST_DATA_DIR});
    }
    QString Link() const { return dir.filePath("line"); }

    QTemporaryDir dir;
};

}  // namespace vm::test
