#pragma once
// The keypad's form: title and name lines, two monitored items on seven-segment displays with
// their units, the FWD, REV and FAULT lamps and the three run buttons. It draws KeypadLogic's
// state and forwards the operator's choices; the edit dialog opens from a display.

#include "keypad/KeypadEditDialog.h"
#include "keypad/KeypadLogic.h"

#include <QPointer>
#include <QWidget>

#include <array>

class QComboBox;
class QLabel;
class QPushButton;

namespace vm {

class KeypadLamp;
class SevenSegmentDisplay;
class ToolHost;

class CKPDView : public QWidget {
    Q_OBJECT
public:
    CKPDView(ToolHost& host, int station, QWidget* parent = nullptr);

    KeypadLogic& Logic() { return logic_; }
    void InitialUpdate();
    void Close();
    void RefreshName();
    void ApplyGraphWatch(bool on);
    // Opens the edit dialog for display 0 or 1 when its item may be written; nothing otherwise.
    KeypadEditDialog* OpenEdit(int display);
    KeypadEditDialog* EditDialog() const { return edit_; }
    void CancelEdit();

    QComboBox* ItemList(int display) const { return lists_[display]; }
    SevenSegmentDisplay* Display(int display) const { return displays_[display]; }
    QLabel* UnitLabel(int display) const { return units_[display]; }
    KeypadLamp* ForwardLamp() const { return fwdLamp_; }
    KeypadLamp* ReverseLamp() const { return revLamp_; }
    KeypadLamp* FaultLamp() const { return faultLamp_; }
    QPushButton* ForwardButton() const { return fwd_; }
    QPushButton* ReverseButton() const { return rev_; }
    QPushButton* StopButton() const { return stop_; }
    QLabel* TitleLine() const { return title_; }
    QLabel* NameLine() const { return name_; }

private:
    void FillLists();
    void RefreshDisplays();
    void RefreshLamps();
    void EnableControls();

    ToolHost& host_;
    KeypadLogic logic_;
    QLabel* title_ = nullptr;
    QLabel* name_ = nullptr;
    std::array<QComboBox*, KeypadLogic::kDisplays> lists_{};
    std::array<SevenSegmentDisplay*, KeypadLogic::kDisplays> displays_{};
    std::array<QLabel*, KeypadLogic::kDisplays> units_{};
    KeypadLamp* revLamp_ = nullptr;
    KeypadLamp* faultLamp_ = nullptr;
    KeypadLamp* fwdLamp_ = nullptr;
    QPushButton* rev_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* fwd_ = nullptr;
    QPointer<KeypadEditDialog> edit_;
    bool filling_ = false;
};

}  // namespace vm
