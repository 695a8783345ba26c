#pragma once
// The "Communication Port Setup" and "Select ID" dialogs: thin windows over their forms.

#include "monitor/DialogForms.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;
class QSpinBox;

namespace vm {

struct PortRecord;

class CPortSetupDlg : public QDialog {
    Q_OBJECT
public:
    CPortSetupDlg(const MainSettings& settings, const QStringList& portNames,
                  const std::vector<PortRecord>& discovered, QWidget* parent = nullptr);

    // The form as the controls show it now.
    PortSetupForm Form() const;
    // Valid after the dialog was accepted.
    const MainSettings& Result() const { return result_; }

    void accept() override;

private:
    void UpdateEnabling();
    void UpdatePortNote();

    PortSetupForm form_;
    MainSettings result_;
    std::vector<PortRecord> discovered_;
    QComboBox* port_;
    QLabel* portNote_;
    QComboBox* baud_;
    QComboBox* dataBit_;
    QComboBox* parity_;
    QComboBox* stopBit_;
    QRadioButton* autoMode_;
    QRadioButton* rtsMode_;
    QComboBox* txLevel_;
    QComboBox* protocol_;
    QSpinBox* timeOut_;
    QComboBox* retry_;
    QComboBox* pacing_;
    QSpinBox* turnaround_;
    QCheckBox* blockReads_;
    QSpinBox* blockReadMax_;
    QSpinBox* netAllowance_ = nullptr;
};

class CSelectIdDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSelectIdDlg(const MainSettings& settings, QWidget* parent = nullptr);

    SelectIdForm Form() const;
    const MainSettings& Result() const { return result_; }

    void accept() override;

private:
    void UpdateEnabling();

    MainSettings result_;
    QButtonGroup* modes_;
    QSpinBox* one_;
    QSpinBox* from_;
    QSpinBox* to_;
    QCheckBox* quick_;
};

}  // namespace vm
