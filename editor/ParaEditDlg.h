#pragma once
// "Edit Parameter": the online edit dialog of one parameter (numbers in an entry field, choices
// in a drop-down). The decisions are ParaEditLogic's; this shows them. CParaBitEditDlg is the
// same dialog with check boxes for a bit field.
//
// For the frame: create with OpenParaEditDialog (it picks the bit dialog for bit fields), set
// SetUndoSink (push onto the undo stack) and SetRememberedGeometry, exec(), then read MoveCode()
// (0 none, 1 next row, 2 previous row, wrapping is the list's) and RememberedGeometry(). The
// frame's StopEditing (graph watch, disconnect) closes it with done(Rejected) and no question.

#include "editor/ParaEditLogic.h"

#include <QDialog>
#include <QRect>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace vm {

class MessageSink;
class ParameterData;
class ToolHost;

class CParaEditDlg : public QDialog {
    Q_OBJECT
public:
    enum MoveCode { kMoveNone = 0, kMoveNext = 1, kMovePrevious = 2 };

    // item: the parameter; entry: a user group entry instead (entry mode). data keeps the
    // parameter data alive while the dialog is open.
    CParaEditDlg(ToolHost& host, int station, std::shared_ptr<ParameterData> data, CItem* item,
                 CCustom::Entry* entry, MessageSink& messages, QWidget* parent = nullptr);
    ~CParaEditDlg() override;

    void SetUndoSink(std::function<void(const EditUndoRecord&)> push);
    void SetRememberedGeometry(const QRect& rect) { remembered_ = rect; }
    QRect RememberedGeometry() const { return remembered_; }
    int MoveCode() const { return move_; }
    ParaEditLogic& Logic() { return *logic_; }

    // The raw value the controls hold now; nothing when the entry field holds no valid number.
    virtual std::optional<uint32_t> ControlRaw() const;
    // Buttons, for tests and the frame.
    void PressRead();
    void PressWrite();
    void PressClose();
    void PressMove(int code);

    void done(int result) override;
    void reject() override;

protected:
    CParaEditDlg(ToolHost& host, int station, std::shared_ptr<ParameterData> data, CItem* item,
                 CCustom::Entry* entry, MessageSink& messages, QWidget* parent, bool bits);
    virtual void ShowValue(uint32_t raw);

private:
    void Build(bool bits);
    void Refresh();
    std::optional<double> EnteredValue() const;
    void AskAndClose();

    ToolHost& host_;
    int station_;
    std::shared_ptr<ParameterData> data_;
    MessageSink& messages_;
    std::unique_ptr<ParaEditLogic> logic_;
    QRect remembered_;
    int move_ = kMoveNone;
    bool closing_ = false;

protected:
    QGroupBox* box_ = nullptr;
    QLineEdit* edit_ = nullptr;
    QLabel* unit_ = nullptr;
    QComboBox* choice_ = nullptr;
    std::vector<QCheckBox*> bits_;
    QLabel* bitValue_ = nullptr;
    QLabel* min_ = nullptr;
    QLabel* default_ = nullptr;
    QLabel* max_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* read_ = nullptr;
    QPushButton* write_ = nullptr;
    QPushButton* close_ = nullptr;
    QToolButton* previous_ = nullptr;
    QToolButton* next_ = nullptr;
};

// The dialog for the item (bit field or not); entry mode when entry is set.
std::unique_ptr<CParaEditDlg> OpenParaEditDialog(ToolHost& host, int station,
                                                 std::shared_ptr<ParameterData> data, CItem* item,
                                                 CCustom::Entry* entry, MessageSink& messages,
                                                 QWidget* parent = nullptr);

}  // namespace vm
