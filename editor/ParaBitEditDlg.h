#pragma once
// "Edit Parameter" for a bit field: up to sixteen check boxes "Bit0".."Bit15", only those the
// parameter has, and the value text after "Val:". Everything else is CParaEditDlg's.

#include "editor/ParaEditDlg.h"

namespace vm {

class CParaBitEditDlg : public CParaEditDlg {
    Q_OBJECT
public:
    CParaBitEditDlg(ToolHost& host, int station, std::shared_ptr<ParameterData> data, CItem* item,
                    CCustom::Entry* entry, MessageSink& messages, QWidget* parent = nullptr);

    std::optional<uint32_t> ControlRaw() const override;
    // How many boxes are shown.
    int VisibleBits() const;

protected:
    void ShowValue(uint32_t raw) override;
};

}  // namespace vm
