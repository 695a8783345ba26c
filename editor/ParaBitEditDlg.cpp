#include "editor/ParaBitEditDlg.h"

#include "paramdb/ParameterData.h"

#include <QCheckBox>
#include <QLabel>

namespace vm {

CParaBitEditDlg::CParaBitEditDlg(ToolHost& host, int station, std::shared_ptr<ParameterData> data,
                                 CItem* item, CCustom::Entry* entry, MessageSink& messages, QWidget* parent)
    : CParaEditDlg(host, station, std::move(data), item, entry, messages, parent, true)
{
    // The value arrived (entry mode) before this class was complete: show it again.
    if (Logic().HasValue())
        ShowValue(Logic().ShownValue());
}

int CParaBitEditDlg::VisibleBits() const
{
    int n = 0;
    for (const QCheckBox* b : bits_)
        n += b->isVisibleTo(this) ? 1 : 0;
    return n;
}

std::optional<uint32_t> CParaBitEditDlg::ControlRaw() const
{
    uint32_t raw = 0;
    for (size_t i = 0; i < bits_.size(); ++i)
        if (bits_[i]->isChecked())
            raw |= 1u << i;
    return raw;
}

void CParaBitEditDlg::ShowValue(uint32_t raw)
{
    for (size_t i = 0; i < bits_.size(); ++i)
        bits_[i]->setChecked((raw >> i) & 1u);
    if (const CItem* item = const_cast<CParaBitEditDlg*>(this)->Logic().Item())
        bitValue_->setText(QString::fromStdString(item->ValueText(raw, true)));
}

}  // namespace vm
