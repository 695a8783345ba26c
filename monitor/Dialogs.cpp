#include "monitor/Dialogs.h"

#include "comm/NetAddress.h"
#include "platform/PortDiscovery.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vm {

namespace {

// A spin box whose arrows stay inside lo-hi while typing is limited only by length, so that a
// typed value outside the range reaches the dialog's check and its message.
class RangeSpinBox : public QSpinBox {
public:
    RangeSpinBox(int lo, int hi, int digits, const QString& text, QWidget* parent)
        : QSpinBox(parent), lo_(lo), hi_(hi)
    {
        int typedMax = 9;
        for (int i = 1; i < digits; ++i)
            typedMax = typedMax * 10 + 9;
        setRange(0, typedMax);
        lineEdit()->setMaxLength(digits);
        setAlignment(Qt::AlignRight);
        lineEdit()->setText(text);
    }
    void stepBy(int steps) override { setValue(std::clamp(value() + steps, lo_, hi_)); }

protected:
    StepEnabled stepEnabled() const override
    {
        StepEnabled e = StepNone;
        if (value() > lo_)
            e |= StepDownEnabled;
        if (value() < hi_)
            e |= StepUpEnabled;
        return e;
    }

private:
    int lo_;
    int hi_;
};

QComboBox* Combo(const QStringList& items, int index, QWidget* parent)
{
    auto* c = new QComboBox(parent);
    c->addItems(items);
    c->setCurrentIndex(index);
    return c;
}

QLabel* Notice(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    return l;
}

// A label whose mnemonic moves the focus to its control.
QLabel* Buddy(const QString& text, QWidget* control, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setBuddy(control);
    return l;
}

}  // namespace

// --- Communication Port Setup ----------------------------------------------------------------

CPortSetupDlg::CPortSetupDlg(const MainSettings& settings, const QStringList& portNames,
                             const std::vector<PortRecord>& discovered, QWidget* parent)
    : QDialog(parent), form_(settings, portNames), result_(settings), discovered_(discovered)
{
    setObjectName(QStringLiteral("PortSetupDialog"));
    setWindowTitle(QStringLiteral("Communication Port Setup"));

    auto* top = new QVBoxLayout(this);
    top->addWidget(Notice(QStringLiteral("Setup communication port and operation mode matching "
                                         "to your network environment for proper operation."),
                          this));

    auto* line = new QGroupBox(QStringLiteral("Serial Line"), this);
    auto* form = new QFormLayout(line);
    port_ = new QComboBox(line);
    port_->setObjectName(QStringLiteral("port"));
    port_->setEditable(true);
    port_->setInsertPolicy(QComboBox::NoInsert);
    port_->addItems(form_.ports);
    port_->setToolTip(
        QStringLiteral("A serial device, or a serial device server as tcp://HOST:PORT or "
                       "rfc2217://HOST:PORT"));
    port_->setCurrentText(form_.port);
    port_->setMinimumContentsLength(18);
    portNote_ = new QLabel(line);
    portNote_->setObjectName(QStringLiteral("portNote"));
    QFont small = portNote_->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    portNote_->setFont(small);
    portNote_->setEnabled(false);
    form->addRow(QStringLiteral("&Comm. Port"), port_);
    form->addRow(QString(), portNote_);

    baud_ = Combo(PortSetupForm::BaudRates(), form_.baudIndex, line);
    auto* baudRow = new QHBoxLayout;
    baudRow->addWidget(baud_, 1);
    baudRow->addWidget(new QLabel(QStringLiteral("BPS"), line));
    form->addRow(Buddy(QStringLiteral("Comm. &Baud"), baud_, line), baudRow);
    dataBit_ = Combo(PortSetupForm::DataBits(), form_.dataBitIndex, line);
    form->addRow(QStringLiteral("&Data Bit"), dataBit_);
    parity_ = Combo(PortSetupForm::Parities(), form_.parityIndex, line);
    form->addRow(QStringLiteral("&Parity Bit"), parity_);
    stopBit_ = Combo(PortSetupForm::StopBits(), form_.stopBitIndex, line);
    form->addRow(QStringLiteral("&Stop Bit"), stopBit_);

    auto* tx = new QGroupBox(QStringLiteral("RS485 TX Enable Control"), this);
    auto* txRow = new QHBoxLayout(tx);
    autoMode_ = new QRadioButton(QStringLiteral("Auto Mode"), tx);
    rtsMode_ = new QRadioButton(QStringLiteral("RTS Mode"), tx);
    txLevel_ = Combo(PortSetupForm::TxLevels(), form_.txLevelIndex, tx);
    txLevel_->setObjectName(QStringLiteral("txLevel"));
    (form_.autoTx ? autoMode_ : rtsMode_)->setChecked(true);
    txRow->addWidget(autoMode_);
    txRow->addWidget(rtsMode_);
    txRow->addWidget(txLevel_);
    txRow->addStretch();

    auto* op = new QGroupBox(QStringLiteral("Operation"), this);
    auto* opForm = new QFormLayout(op);
    protocol_ = Combo(PortSetupForm::Protocols(), form_.protocolIndex, op);
    opForm->addRow(QStringLiteral("Protocol &Mode"), protocol_);
    timeOut_ = new RangeSpinBox(kTimeOutMin, kTimeOutMax, 4, form_.timeOutText, op);
    timeOut_->setObjectName(QStringLiteral("timeOut"));
    timeOut_->setSingleStep(1);
    auto* timeRow = new QHBoxLayout;
    timeRow->addWidget(timeOut_, 1);
    timeRow->addWidget(new QLabel(QStringLiteral("msec"), op));
    opForm->addRow(Buddy(QStringLiteral("&TimeOut"), timeOut_, op), timeRow);
    retry_ = Combo(PortSetupForm::Retries(), form_.retryIndex, op);
    opForm->addRow(QStringLiteral("&Retry Number"), retry_);
    pacing_ = Combo(PortSetupForm::Pacings(), form_.pacingIndex, op);
    pacing_->setObjectName(QStringLiteral("pacing"));
    opForm->addRow(QStringLiteral("P&acing"), pacing_);
    turnaround_ = new RangeSpinBox(0, kTurnaroundMaxMs, 3, form_.turnaroundText, op);
    turnaround_->setObjectName(QStringLiteral("turnaround"));
    auto* turnRow = new QHBoxLayout;
    turnRow->addWidget(turnaround_, 1);
    turnRow->addWidget(new QLabel(QStringLiteral("msec"), op));
    opForm->addRow(Buddy(QStringLiteral("T&urnaround"), turnaround_, op), turnRow);
    blockReads_ = new QCheckBox(QStringLiteral("Block reads, up to"), op);
    blockReads_->setObjectName(QStringLiteral("blockReads"));
    blockReads_->setChecked(form_.blockReads);
    blockReadMax_ = new RangeSpinBox(kBlockReadMin, kBlockReadMax, 3, form_.blockReadMaxText, op);
    blockReadMax_->setObjectName(QStringLiteral("blockReadMax"));
    auto* blockRow = new QHBoxLayout;
    blockRow->addWidget(blockReads_);
    blockRow->addWidget(blockReadMax_, 1);
    blockRow->addWidget(new QLabel(QStringLiteral("registers"), op));
    opForm->addRow(QString(), blockRow);
    netAllowance_ = new QSpinBox(op);
    netAllowance_->setObjectName(QStringLiteral("netAllowance"));
    netAllowance_->setRange(0, kNetAllowanceMax);
    netAllowance_->setSingleStep(50);
    netAllowance_->setValue(form_.netAllowance);
    netAllowance_->setSuffix(QStringLiteral(" msec"));
    netAllowance_->setToolTip(QStringLiteral("Added to the time-out on tcp:// and rfc2217:// ports"));
    opForm->addRow(Buddy(QStringLiteral("&Network Allowance"), netAllowance_, op), netAllowance_);

    auto* columns = new QHBoxLayout;
    columns->addWidget(line, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(op);
    right->addWidget(tx);
    right->addStretch();
    columns->addLayout(right, 1);
    top->addLayout(columns);

    auto* note = new QGroupBox(QStringLiteral("[ Notice When Select Protocol Mode ]"), this);
    auto* noteLayout = new QVBoxLayout(note);
    noteLayout->addWidget(
        Notice(QStringLiteral("When select MODBUS-RTU mode, the monitoring speed is more slow than KX485 "
                              "mode. Therefore KX485 mode is preferable to MODBUS-RTU mode"),
               note));
    top->addWidget(note);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(buttons);

    connect(autoMode_, &QRadioButton::toggled, this, &CPortSetupDlg::UpdateEnabling);
    connect(pacing_, &QComboBox::currentIndexChanged, this, &CPortSetupDlg::UpdateEnabling);
    connect(protocol_, &QComboBox::currentIndexChanged, this, &CPortSetupDlg::UpdateEnabling);
    connect(blockReads_, &QCheckBox::toggled, this, &CPortSetupDlg::UpdateEnabling);
    connect(port_, &QComboBox::currentTextChanged, this, &CPortSetupDlg::UpdatePortNote);
    connect(port_, &QComboBox::currentTextChanged, this, &CPortSetupDlg::UpdateEnabling);
    UpdateEnabling();
    UpdatePortNote();
}

void CPortSetupDlg::UpdateEnabling()
{
    const PortSetupForm f = Form();
    txLevel_->setEnabled(f.TxLevelEnabled());
    turnaround_->setEnabled(f.TurnaroundEnabled());
    blockReads_->setEnabled(f.BlockReadsEnabled());
    blockReadMax_->setEnabled(f.BlockReadsEnabled() && f.blockReads);
    netAllowance_->setEnabled(f.NetAllowanceEnabled());
}

void CPortSetupDlg::UpdatePortNote()
{
    const QString device = port_->currentText().trimmed();
    if (IsNetworkPortName(device.toStdString())) {
        portNote_->setText(ParseNetAddress(device.toStdString())
                               ? (device.startsWith(QLatin1String("rfc2217"))
                                      ? QStringLiteral("Serial device server (RFC 2217)")
                                      : QStringLiteral("Serial device server (raw TCP)"))
                               : QStringLiteral("Use tcp://HOST:PORT or rfc2217://HOST:PORT"));
        return;
    }
    QString note =
        QFileInfo::exists(device) ? QStringLiteral("Device path") : QStringLiteral("No such device");
    for (const PortRecord& p : discovered_) {
        if (p.devicePath == device) {
            note = p.usb ? QStringLiteral("USB adapter: %1").arg(p.description) : p.description;
            break;
        }
    }
    portNote_->setText(note);
}

PortSetupForm CPortSetupDlg::Form() const
{
    PortSetupForm f = form_;
    f.port = port_->currentText();
    f.baudIndex = baud_->currentIndex();
    f.dataBitIndex = dataBit_->currentIndex();
    f.parityIndex = parity_->currentIndex();
    f.stopBitIndex = stopBit_->currentIndex();
    f.autoTx = autoMode_->isChecked();
    f.txLevelIndex = txLevel_->currentIndex();
    f.protocolIndex = protocol_->currentIndex();
    f.timeOutText = timeOut_->text();
    f.retryIndex = retry_->currentIndex();
    f.pacingIndex = pacing_->currentIndex();
    f.turnaroundText = turnaround_->text();
    f.blockReads = blockReads_->isChecked();
    f.blockReadMaxText = blockReadMax_->text();
    f.netAllowance = netAllowance_->value();
    return f;
}

void CPortSetupDlg::accept()
{
    MainSettings s = result_;
    if (auto error = Form().Apply(s)) {
        QMessageBox::warning(this, windowTitle(), *error);
        timeOut_->setFocus();
        return;
    }
    result_ = s;
    QDialog::accept();
}

// --- Select ID -------------------------------------------------------------------------------

CSelectIdDlg::CSelectIdDlg(const MainSettings& settings, QWidget* parent) : QDialog(parent), result_(settings)
{
    setObjectName(QStringLiteral("SelectIdDialog"));
    setWindowTitle(QStringLiteral("Select ID"));
    const SelectIdForm form(settings);

    auto* top = new QVBoxLayout(this);
    top->addWidget(Notice(QStringLiteral("Select inverter IDs to check connection in network"), this));

    auto* box = new QGroupBox(this);
    auto* grid = new QGridLayout(box);
    modes_ = new QButtonGroup(this);
    auto* oneMode = new QRadioButton(QStringLiteral("&One ID:"), box);
    auto* rangeMode = new QRadioButton(QStringLiteral("IDs - &Range:"), box);
    auto* allMode = new QRadioButton(QStringLiteral("&All IDs"), box);
    modes_->addButton(oneMode, kScanOneId);
    modes_->addButton(rangeMode, kScanRange);
    modes_->addButton(allMode, kScanAllIds);
    modes_->button(form.mode)->setChecked(true);

    const auto spin = [box](const QString& name, const QString& text) {
        auto* s = new RangeSpinBox(kStationIdMin, kStationIdMax, 3, text, box);
        s->setObjectName(name);
        s->setMinimumWidth(70);
        return s;
    };
    one_ = spin(QStringLiteral("one"), form.oneText);
    from_ = spin(QStringLiteral("from"), form.fromText);
    to_ = spin(QStringLiteral("to"), form.toText);
    grid->addWidget(oneMode, 0, 0);
    grid->addWidget(one_, 0, 1);
    grid->addWidget(rangeMode, 1, 0);
    grid->addWidget(from_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("~"), box), 1, 2);
    grid->addWidget(to_, 1, 3);
    grid->addWidget(allMode, 2, 0, 1, 4);
    grid->setColumnStretch(4, 1);
    top->addWidget(box);

    quick_ = new QCheckBox(QStringLiteral("&Quick scan"), this);
    quick_->setObjectName(QStringLiteral("quickScan"));
    quick_->setToolTip(QStringLiteral("Give up an ID that does not answer after one short attempt"));
    quick_->setChecked(form.quickScan);
    top->addWidget(quick_);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("&Search"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(buttons);

    connect(modes_, &QButtonGroup::idToggled, this, &CSelectIdDlg::UpdateEnabling);
    UpdateEnabling();
}

SelectIdForm CSelectIdDlg::Form() const
{
    SelectIdForm f(result_);
    f.mode = modes_->checkedId();
    f.oneText = one_->text();
    f.fromText = from_->text();
    f.toText = to_->text();
    f.quickScan = quick_->isChecked();
    return f;
}

void CSelectIdDlg::UpdateEnabling()
{
    const SelectIdForm f = Form();
    one_->setEnabled(f.OneEnabled());
    from_->setEnabled(f.RangeEnabled());
    to_->setEnabled(f.RangeEnabled());
}

void CSelectIdDlg::accept()
{
    SelectIdForm f = Form();
    MainSettings s = result_;
    if (auto error = f.Accept(s)) {
        QMessageBox::warning(this, windowTitle(), *error);
        return;
    }
    result_ = s;
    QDialog::accept();
}

}  // namespace vm
