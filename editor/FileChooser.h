#pragma once
// Where the parameter editor asks for file names: file dialogs in the program, a script in tests.

#include <QString>

namespace vm {

class FileChooser {
public:
    virtual ~FileChooser() = default;
    // An empty name means the user cancelled.
    virtual QString OpenFileName(const QString& title, const QString& filter, const QString& folder) = 0;
    // promptOverwrite: the dialog itself asks before replacing a file.
    virtual QString SaveFileName(const QString& title, const QString& filter, const QString& folder,
                                 bool promptOverwrite) = 0;
};

}  // namespace vm
