#pragma once
// "Reading Parameter Information...": reads a group, a user group or every group through
// ParaReadLogic and closes itself at the end. The tree runs it modally and keeps it so that a new
// read can cancel it (Cancel()); Cancelled() then tells the tree not to show the node again.

#include "editor/ParaReadLogic.h"

#include <QDialog>

#include <memory>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace vm {

class ParameterData;
class ToolHost;

class CParaReadDlg : public QDialog {
    Q_OBJECT
public:
    // kind 0 group, 1 user group, 2 all groups (group/userGroup null as the kind needs).
    CParaReadDlg(ToolHost& host, int station, std::shared_ptr<ParameterData> data, ParaReadLogic::Kind kind,
                 CGroup* group, CCustom* userGroup, QWidget* parent = nullptr);
    ~CParaReadDlg() override;

    // The reading stops at once; a reply still queued is withdrawn.
    void Cancel();
    bool Cancelled() const { return logic_->Cancelled(); }
    ParaReadLogic& Logic() { return *logic_; }

    void reject() override { Cancel(); }

private:
    void Refresh();

    std::shared_ptr<ParameterData> data_;
    std::unique_ptr<ParaReadLogic> logic_;
    QProgressBar* progress_ = nullptr;
    QGroupBox* box_ = nullptr;
    QLabel* text_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace vm
