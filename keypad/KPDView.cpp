#include "keypad/KPDView.h"

#include "frames/ToolHost.h"
#include "keypad/KeypadEditDialog.h"
#include "keypad/KeypadLamp.h"
#include "keypad/SevenSegmentDisplay.h"
#include "platform/WindowPlacement.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace vm {

namespace {

QLabel* Line(const QString& style, double fontScale, int height, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setAlignment(Qt::AlignCenter);
    l->setFixedHeight(height);
    l->setStyleSheet(style);
    QFont f = l->font();
    f.setPixelSize(std::max(9, static_cast<int>(height * fontScale)));
    f.setBold(true);
    l->setFont(f);
    return l;
}

QPushButton* RunButton(const QString& text, const QString& accessible, const QColor& color, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setAccessibleName(accessible);
    b->setMinimumHeight(40);
    b->setFocusPolicy(Qt::StrongFocus);
    b->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; font-weight: bold; border: 2px outset %2;"
                       " border-radius: 5px; padding: 4px; }"
                       "QPushButton:pressed { border-style: inset; background: %2; }"
                       "QPushButton:focus { border-color: #ffd84a; }"
                       "QPushButton:disabled { background: #9a9a9a; color: #e0e0e0; border-color: #8a8a8a; }")
            .arg(color.name(), color.darker(140).name()));
    return b;
}

}  // namespace

CKPDView::CKPDView(ToolHost& host, int station, QWidget* parent)
    : QWidget(parent), host_(host), logic_(host, station, this)
{
    const QString paleYellow =
        QStringLiteral("background: #ffffc8; color: black; border: 1px solid #a0a080;");
    title_ = Line(paleYellow, 0.7, 24, this);
    name_ = Line(paleYellow, 0.8, 18, this);
    name_->setFont([this] {
        QFont f = name_->font();
        f.setBold(false);
        return f;
    }());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(title_);
    layout->addWidget(name_);

    for (int d = 0; d < KeypadLogic::kDisplays; ++d) {
        const QString label = QStringLiteral("Parameter%1").arg(d + 1);
        lists_[d] = new QComboBox(this);
        lists_[d]->setAccessibleName(label);
        lists_[d]->setObjectName(label);
        displays_[d] = new SevenSegmentDisplay(this);
        displays_[d]->setObjectName(QStringLiteral("Display %1").arg(d + 1));
        displays_[d]->setAccessibleName(displays_[d]->objectName());
        units_[d] = Line(QStringLiteral("background: white; color: black; border: 1px solid #808080;"), 0.6,
                         22, this);
        units_[d]->setFixedWidth(44);
        units_[d]->setAccessibleName(QStringLiteral("Unit %1").arg(d + 1));
        auto* row = new QHBoxLayout;
        row->addWidget(displays_[d], 1);
        row->addWidget(units_[d], 0, Qt::AlignBottom);
        layout->addSpacing(4);
        layout->addWidget(lists_[d]);
        layout->addLayout(row);

        connect(lists_[d], &QComboBox::currentIndexChanged, this, [this, d](int index) {
            if (!filling_)
                logic_.SelectItem(d, index);
        });
        connect(displays_[d], &SevenSegmentDisplay::activated, this, [this, d] { OpenEdit(d); });
    }

    revLamp_ = new KeypadLamp(QStringLiteral("REV"), QColor(40, 220, 60), this);
    faultLamp_ = new KeypadLamp(QStringLiteral("FAULT"), QColor(255, 40, 30), this);
    fwdLamp_ = new KeypadLamp(QStringLiteral("FWD"), QColor(40, 220, 60), this);
    auto* lamps = new QHBoxLayout;
    lamps->addWidget(revLamp_);
    lamps->addWidget(faultLamp_);
    lamps->addWidget(fwdLamp_);
    layout->addSpacing(4);
    layout->addLayout(lamps);

    rev_ = RunButton(QStringLiteral("REV"), QStringLiteral("Reverse Run"), QColor(32, 96, 168), this);
    stop_ = RunButton(QStringLiteral("STOP\nRESET"), QStringLiteral("Stop/Reset"), QColor(196, 36, 28), this);
    fwd_ = RunButton(QStringLiteral("FWD"), QStringLiteral("Forward Run"), QColor(32, 128, 56), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(rev_);
    buttons->addWidget(stop_);
    buttons->addWidget(fwd_);
    layout->addLayout(buttons);

    // Each press is one command; a double click is two presses.
    connect(rev_, &QPushButton::clicked, &logic_, &KeypadLogic::ReverseRun);
    connect(stop_, &QPushButton::clicked, &logic_, &KeypadLogic::StopReset);
    connect(fwd_, &QPushButton::clicked, &logic_, &KeypadLogic::ForwardRun);
    connect(&logic_, &KeypadLogic::displaysChanged, this, &CKPDView::RefreshDisplays);
    connect(&logic_, &KeypadLogic::lampsChanged, this, &CKPDView::RefreshLamps);
    connect(&logic_, &KeypadLogic::graphWatchApplied, this, [this](bool on) {
        if (on)
            CancelEdit();
        EnableControls();
    });
    setFixedWidth(240);
}

void CKPDView::InitialUpdate()
{
    title_->setText(logic_.TitleText());
    RefreshName();
    logic_.Open();
    FillLists();
    RefreshDisplays();
    RefreshLamps();
    EnableControls();
}

void CKPDView::FillLists()
{
    filling_ = true;
    for (int d = 0; d < KeypadLogic::kDisplays; ++d) {
        lists_[d]->clear();
        for (const MonitorItem& item : logic_.Items())
            lists_[d]->addItem(QString::fromStdString(item.name), item.address);
        lists_[d]->setCurrentIndex(logic_.Index(d));
    }
    filling_ = false;
}

void CKPDView::RefreshName()
{
    name_->setText(logic_.NameText());
}

void CKPDView::RefreshDisplays()
{
    for (int d = 0; d < KeypadLogic::kDisplays; ++d) {
        const DisplayFormat f = logic_.Format(d);
        units_[d]->setText(f.unit);
        const auto reading = logic_.Reading(d);
        displays_[d]->SetDecimals(f.decimals);
        displays_[d]->SetShowSign(reading && reading->sign ? *reading->sign : f.sign);
        if (reading)
            displays_[d]->SetValue(reading->value);
        else
            displays_[d]->SetBlank(true);
    }
}

void CKPDView::RefreshLamps()
{
    const LampState s = logic_.Lamps();
    fwdLamp_->SetOn(s.forward);
    revLamp_->SetOn(s.reverse);
    faultLamp_->SetOn(s.fault);
}

void CKPDView::EnableControls()
{
    const bool on = logic_.CommandsEnabled();
    for (QComboBox* l : lists_)
        l->setEnabled(on);
    for (QPushButton* b : {rev_, stop_, fwd_})
        b->setEnabled(on);
}

void CKPDView::ApplyGraphWatch(bool on)
{
    logic_.ApplyGraphWatch(on);
}

KeypadEditDialog* CKPDView::OpenEdit(int display)
{
    if (edit_ || display < 0 || display >= KeypadLogic::kDisplays)
        return nullptr;
    const MonitorItem* item = logic_.EditableItem(display);
    if (!item)
        return nullptr;
    auto* dialog = new KeypadEditDialog(host_.Comm(), host_.Record(logic_.Station()), *item, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    SevenSegmentDisplay* shown = displays_[display];
    const QRect anchor(shown->mapToGlobal(QPoint(0, 0)), shown->size());
    const QScreen* screen = window()->screen();
    edit_ = dialog;
    dialog->move(anchor.bottomLeft() + QPoint(0, 1));
    dialog->open();
    // Placed once shown, when its size is final: a keypad near a screen edge keeps it whole.
    if (screen)
        dialog->move(PlaceBelow(anchor, dialog->frameGeometry().size(), screen->availableGeometry()));
    return dialog;
}

void CKPDView::CancelEdit()
{
    if (edit_)
        edit_->reject();
}

void CKPDView::Close()
{
    CancelEdit();
    logic_.Close();
}

}  // namespace vm
