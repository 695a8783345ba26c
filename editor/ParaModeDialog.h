#pragma once
// The mode setup dialog shown before every parameter editor and from an editor's "Parameter
// &Mode..." command: FREQ/RPM, TIME1, and for a new offline editor the model and version whose
// data file it loads. Its decisions live in ParaModeLogic.

#include "editor/ParaModeLogic.h"

#include <QDialog>

#include <optional>

class QButtonGroup;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace vm {

class CParaModeDlg : public QDialog {
    Q_OBJECT
public:
    CParaModeDlg(ToolHost& host, int station, ModeUse use, QWidget* parent = nullptr);

    const ParaModeLogic& Logic() const { return logic_; }

    // The dialog run modally; the settings are stored whichever button closed it.
    static std::optional<ModeChoice> Run(ToolHost& host, int station, ModeUse use, QWidget* parent);

private:
    void Mirror();
    void OnSetup();

    ParaModeLogic logic_;
    QRadioButton* freq_ = nullptr;
    QRadioButton* rpm_ = nullptr;
    QComboBox* time1_ = nullptr;
    QComboBox* model_ = nullptr;
    QComboBox* version_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* setup_ = nullptr;
    bool mirroring_ = false;
};

}  // namespace vm
