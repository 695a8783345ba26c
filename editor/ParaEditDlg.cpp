#include "editor/ParaEditDlg.h"

#include "catalogue/Models.h"
#include "comm/CommManager.h"
#include "editor/ParaBitEditDlg.h"
#include "frames/FloatFrame.h"
#include "frames/ToolHost.h"
#include "paramdb/MessageSink.h"
#include "paramdb/ParameterData.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace vm {

namespace {

constexpr const char* kCaption = "Parameter Editor";

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

}  // namespace

CParaEditDlg::CParaEditDlg(ToolHost& host, int station, std::shared_ptr<ParameterData> data, CItem* item,
                           CCustom::Entry* entry, MessageSink& messages, QWidget* parent)
    : CParaEditDlg(host, station, std::move(data), item, entry, messages, parent, false)
{}

CParaEditDlg::CParaEditDlg(ToolHost& host, int station, std::shared_ptr<ParameterData> data, CItem* item,
                           CCustom::Entry* entry, MessageSink& messages, QWidget* parent, bool bits)
    : QDialog(parent), host_(host), station_(station), data_(std::move(data)), messages_(messages)
{
    logic_ = std::make_unique<ParaEditLogic>(host.Comm(), host.Record(station), item, entry);
    logic_->onValue = [this](uint32_t raw) { ShowValue(raw); };
    logic_->onStateChanged = [this] { Refresh(); };
    setWindowTitle(QStringLiteral("Edit Parameter"));
    Build(bits);
}

CParaEditDlg::~CParaEditDlg()
{
    // The logic goes first: no reply may reach widgets being torn down.
    logic_.reset();
}

void CParaEditDlg::SetUndoSink(std::function<void(const EditUndoRecord&)> push)
{
    logic_->pushUndo = std::move(push);
}

void CParaEditDlg::Build(bool bits)
{
    const CItem* item = logic_->Item();
    auto* layout = new QVBoxLayout(this);
    box_ = new QGroupBox(this);
    QFont bold = box_->font();
    bold.setBold(true);
    box_->setFont(bold);
    auto* grid = new QGridLayout(box_);
    auto plain = [](QWidget* w) {
        QFont f = w->font();
        f.setBold(false);
        w->setFont(f);
        return w;
    };
    int row = 0;
    if (bits) {
        auto* boxes = new QGridLayout;
        for (int i = 0; i < 16; ++i) {
            auto* check = new QCheckBox(QStringLiteral("Bit%1").arg(i), box_);
            plain(check);
            boxes->addWidget(check, i / 4, i % 4);
            bits_.push_back(check);
        }
        grid->addLayout(boxes, row++, 0, 1, 3);
        grid->addWidget(plain(new QLabel(QStringLiteral("Val:"), box_)), row, 0);
        bitValue_ = new QLabel(box_);
        plain(bitValue_);
        grid->addWidget(bitValue_, row++, 1, 1, 2);
    } else {
        edit_ = new QLineEdit(box_);
        unit_ = new QLabel(box_);
        choice_ = new QComboBox(box_);
        plain(edit_);
        plain(unit_);
        plain(choice_);
        grid->addWidget(edit_, row, 0, 1, 2);
        grid->addWidget(unit_, row, 2);
        grid->addWidget(choice_, ++row, 0, 1, 3);
        ++row;
    }
    const char* names[] = {"Min:", "Default:", "Max:"};
    QLabel** values[] = {&min_, &default_, &max_};
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(plain(new QLabel(QString::fromLatin1(names[i]), box_)), row, 0);
        *values[i] = new QLabel(box_);
        plain(*values[i]);
        grid->addWidget(*values[i], row++, 1, 1, 2);
    }
    layout->addWidget(box_);
    status_ = new QLabel(this);
    status_->setMinimumWidth(260);
    layout->addWidget(status_);

    auto* buttons = new QHBoxLayout;
    read_ = new QPushButton(QStringLiteral("Read(&R)"), this);
    write_ = new QPushButton(QStringLiteral("Write(&W)"), this);
    close_ = new QPushButton(QStringLiteral("Close(&C)"), this);
    auto* move = new QGroupBox(QStringLiteral("Parameter Move"), this);
    auto* moveLayout = new QHBoxLayout(move);
    previous_ = new QToolButton(move);
    next_ = new QToolButton(move);
    previous_->setArrowType(Qt::UpArrow);
    next_->setArrowType(Qt::DownArrow);
    previous_->setToolTip(QStringLiteral("Previous parameter (Page Up)"));
    next_->setToolTip(QStringLiteral("Next parameter (Page Down)"));
    moveLayout->addWidget(previous_);
    moveLayout->addWidget(next_);
    buttons->addWidget(read_);
    buttons->addWidget(write_);
    buttons->addWidget(close_);
    buttons->addWidget(move);
    layout->addLayout(buttons);
    read_->setAutoDefault(false);
    close_->setAutoDefault(false);
    write_->setDefault(true);

    connect(read_, &QPushButton::clicked, this, &CParaEditDlg::PressRead);
    connect(write_, &QPushButton::clicked, this, &CParaEditDlg::PressWrite);
    connect(close_, &QPushButton::clicked, this, &CParaEditDlg::PressClose);
    connect(previous_, &QToolButton::clicked, this, [this] { PressMove(kMovePrevious); });
    connect(next_, &QToolButton::clicked, this, [this] { PressMove(kMoveNext); });
    auto* down = new QShortcut(QKeySequence(Qt::Key_PageDown), this);
    auto* up = new QShortcut(QKeySequence(Qt::Key_PageUp), this);
    connect(down, &QShortcut::activated, this, [this] { PressMove(kMoveNext); });
    connect(up, &QShortcut::activated, this, [this] { PressMove(kMovePrevious); });

    if (!item) {
        box_->setTitle(QString());
        Refresh();
        logic_->Open();
        return;
    }
    const StationRecord& record = host_.Record(station_);
    setWindowTitle(QStringLiteral("[%1] - %2:%3")
                       .arg(Q(item->Group() ? item->Group()->name : std::string()))
                       .arg(record.station)
                       .arg(Q(ModelName(record.model))));
    box_->setTitle(QStringLiteral("%1 : %2").arg(item->Code()).arg(Q(item->displayName)));
    min_->setText(Q(item->MinText()));
    default_->setText(Q(item->DefaultText()));
    max_->setText(Q(item->MaxText()));
    if (bits) {
        for (size_t i = item->BitCount(); i < bits_.size(); ++i)
            bits_[i]->hide();
    } else if (item->IsChoice()) {
        edit_->hide();
        unit_->hide();
        for (const std::string& text : item->ChoiceTexts())
            choice_->addItem(Q(text));
        choice_->setCurrentIndex(0);
    } else {
        choice_->hide();
        unit_->setText(Q(item->UnitText()));
        const EditFormat f = item->GetEditFormat();
        edit_->setMaxLength(static_cast<int>(f.prefix.size()) + f.maxDigits +
                            (f.decimals ? f.decimals + 1 : 0) + (f.allowSign ? 1 : 0));
    }
    logic_->SetSuspended(host_.GraphWatch());
    logic_->Open();
    Refresh();
}

void CParaEditDlg::ShowValue(uint32_t raw)
{
    const CItem* item = logic_->Item();
    if (!item || !edit_)
        return;
    if (item->IsChoice()) {
        choice_->setCurrentIndex(static_cast<int>(raw) < choice_->count() ? static_cast<int>(raw) : -1);
        return;
    }
    const EditFormat f = item->GetEditFormat();
    QString text;
    if (f.kind == EditFormat::Kind::Hex)
        text = QString::fromLatin1(f.prefix.data(), static_cast<int>(f.prefix.size())) +
               QString::number(raw & 0xFFFF, 16).toUpper().rightJustified(f.maxDigits, QLatin1Char('0'));
    else if (f.kind == EditFormat::Kind::Binary)
        text = QString::fromLatin1(f.prefix.data(), static_cast<int>(f.prefix.size())) +
               QString::number(raw & 0xFFFF, 2).rightJustified(f.maxDigits, QLatin1Char('0'));
    else
        text = QString::number(item->Decode(raw), 'f', f.decimals);
    edit_->setText(text);
}

std::optional<double> CParaEditDlg::EnteredValue() const
{
    const CItem* item = logic_->Item();
    if (!item)
        return std::nullopt;
    if (!bits_.empty()) {
        const auto raw = ControlRaw();
        return raw ? std::optional<double>(*raw) : std::nullopt;
    }
    if (item->IsChoice())
        return choice_->currentIndex() < 0 ? std::nullopt : std::optional<double>(choice_->currentIndex());
    const EditFormat f = item->GetEditFormat();
    QString text = edit_->text().trimmed();
    bool ok = false;
    double value = 0;
    if (f.kind == EditFormat::Kind::Hex || f.kind == EditFormat::Kind::Binary) {
        const QString prefix = QString::fromLatin1(f.prefix.data(), static_cast<int>(f.prefix.size()));
        if (text.startsWith(prefix, Qt::CaseInsensitive))
            text = text.mid(prefix.size());
        value = static_cast<double>(text.toUInt(&ok, f.kind == EditFormat::Kind::Hex ? 16 : 2));
    } else {
        value = text.toDouble(&ok);
    }
    return ok ? std::optional<double>(value) : std::nullopt;
}

std::optional<uint32_t> CParaEditDlg::ControlRaw() const
{
    const auto value = EnteredValue();
    if (!value)
        return std::nullopt;
    return logic_->RawOf(*value);
}

void CParaEditDlg::Refresh()
{
    const bool enabled = logic_->ControlsEnabled();
    const CItem* item = logic_->Item();
    for (QWidget* w : std::initializer_list<QWidget*>{read_, write_, close_, previous_, next_})
        w->setEnabled(enabled || (!item && w != read_ && w != write_));
    if (!item) {
        read_->setEnabled(false);
        write_->setEnabled(false);
        for (QWidget* w : std::initializer_list<QWidget*>{min_, default_, max_})
            w->setEnabled(false);
    }
    const bool valueOn = enabled && logic_->HasValue() && logic_->WriteEnabled();
    if (edit_) {
        edit_->setEnabled(valueOn);
        choice_->setEnabled(valueOn);
        if (enabled && !logic_->HasValue()) {
            edit_->clear();
            choice_->setCurrentIndex(-1);
        }
    }
    for (QCheckBox* b : bits_)
        b->setEnabled(valueOn);
    if (bitValue_)
        bitValue_->setEnabled(enabled && logic_->HasValue());
    write_->setEnabled(enabled && logic_->WriteEnabled());
    status_->setText(Q(item ? logic_->StatusText() : std::string(edit_text::kNoItem)));
    if (enabled) {
        // The value control takes the focus, whichever it is: the entry field, the choice list or
        // the first bit.
        if (valueOn && edit_ && !edit_->isHidden()) {
            edit_->setFocus();
            edit_->selectAll();
        } else if (valueOn && choice_ && !choice_->isHidden()) {
            choice_->setFocus();
        } else if (valueOn && !bits_.empty()) {
            bits_.front()->setFocus();
        } else if (!logic_->WriteEnabled()) {
            previous_->setFocus();
        }
    }
}

void CParaEditDlg::PressRead()
{
    logic_->SetSuspended(host_.GraphWatch());
    logic_->Read();
}

void CParaEditDlg::PressWrite()
{
    logic_->SetSuspended(host_.GraphWatch());
    const auto value = EnteredValue();
    if (!value) {
        // Nothing a number can be made of: as out of range.
        logic_->Write(1e12);
        Refresh();
        return;
    }
    if (logic_->Write(*value) == ParaEditLogic::WriteResult::RunLocked)
        messages_.Show(MessageKind::Information, edit_text::kRunLocked, kCaption);
    Refresh();
}

void CParaEditDlg::PressMove(int code)
{
    move_ = code;
    AskAndClose();
}

void CParaEditDlg::PressClose()
{
    AskAndClose();
}

void CParaEditDlg::reject()
{
    AskAndClose();
}

void CParaEditDlg::AskAndClose()
{
    if (closing_ || !isVisible())
        return;
    if (logic_->NeedsSaveQuestion(ControlRaw()) && messages_.AskYesNo(edit_text::kSaveQuestion, kCaption)) {
        logic_->ClearReplyHandled();
        PressWrite();
        if (!logic_->ReplyHandled() && !logic_->ControlsEnabled()) {
            // Bounded: a stopped port never answers.
            QEventLoop loop;
            CFloatFrame::ModalScope scope(this, &loop);
            QTimer bound;
            bound.setSingleShot(true);
            connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
            QTimer poll;
            connect(&poll, &QTimer::timeout, &loop, [&] {
                if (logic_->ReplyHandled() || !isVisible())
                    loop.quit();
            });
            bound.start(logic_->CloseWaitMs());
            poll.start(10);
            if (scope.Allowed())
                loop.exec();
        }
    }
    closing_ = true;
    done(QDialog::Rejected);
}

void CParaEditDlg::done(int result)
{
    remembered_ = geometry();
    QDialog::done(result);
}

std::unique_ptr<CParaEditDlg> OpenParaEditDialog(ToolHost& host, int station,
                                                 std::shared_ptr<ParameterData> data, CItem* item,
                                                 CCustom::Entry* entry, MessageSink& messages,
                                                 QWidget* parent)
{
    const CItem* target = entry ? entry->Item() : item;
    if (target && target->Type() && target->Type()->IsBitField())
        return std::make_unique<CParaBitEditDlg>(host, station, std::move(data), item, entry, messages,
                                                 parent);
    return std::make_unique<CParaEditDlg>(host, station, std::move(data), item, entry, messages, parent);
}

}  // namespace vm
