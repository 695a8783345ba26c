#pragma once
// The keypad's "Edit Parameter" dialog for one writable monitored item: read it from the drive,
// type a value within its limits and write it. The decisions live in KeypadEditLogic.

#include "keypad/KeypadEditLogic.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vm {

class KeypadEditDialog : public QDialog {
    Q_OBJECT
public:
    KeypadEditDialog(CommManager& comm, const StationRecord& record, const MonitorItem& item,
                     QWidget* parent = nullptr);

    KeypadEditLogic& Logic() { return logic_; }
    QLineEdit* ValueField() const { return value_; }
    QPushButton* ReadButton() const { return read_; }
    QPushButton* WriteButton() const { return write_; }
    QLabel* StatusLine() const { return status_; }

private:
    void Refresh();

    KeypadEditLogic logic_;
    QLineEdit* value_ = nullptr;
    QPushButton* read_ = nullptr;
    QPushButton* write_ = nullptr;
    QPushButton* close_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace vm
