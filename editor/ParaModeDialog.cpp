#include "editor/ParaModeDialog.h"

#include "frames/FloatFrame.h"
#include "paramdb/TextCodec.h"
#include "platform/Settings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>

namespace vm {

CParaModeDlg::CParaModeDlg(ToolHost& host, int station, ModeUse use, QWidget* parent)
    : QDialog(parent), logic_(host, station, use, [] {
          QSettings s(kCompanyKey, kApplicationKey);
          return ModeSettings::Read(s);
      }())
{
    setWindowTitle(logic_.Caption());
    auto* layout = new QVBoxLayout(this);
    auto* modeBox = new QGroupBox(QStringLiteral("Parameter Mode"), this);
    auto* modeLayout = new QHBoxLayout(modeBox);
    freq_ = new QRadioButton(QStringLiteral("FREQ Mode"), modeBox);
    rpm_ = new QRadioButton(QStringLiteral("RPM Mode"), modeBox);
    modeLayout->addWidget(freq_);
    modeLayout->addWidget(rpm_);
    layout->addWidget(modeBox);

    auto* form = new QFormLayout;
    time1_ = new QComboBox(this);
    for (const QString& t : Time1Texts())
        time1_->addItem(t);
    model_ = new QComboBox(this);
    version_ = new QComboBox(this);
    form->addRow(QStringLiteral("TIME1"), time1_);
    form->addRow(QStringLiteral("Model"), model_);
    form->addRow(QStringLiteral("Version"), version_);
    layout->addLayout(form);
    status_ = new QLabel(QStringLiteral("Data file initial status : OK"), this);
    status_->setWordWrap(true);
    layout->addWidget(status_);

    auto* buttons = new QDialogButtonBox(this);
    setup_ = buttons->addButton(QStringLiteral("&Setup"), QDialogButtonBox::AcceptRole);
    QPushButton* close = buttons->addButton(QStringLiteral("&Close"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    setup_->setDefault(true);

    connect(setup_, &QPushButton::clicked, this, &CParaModeDlg::OnSetup);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(freq_, &QRadioButton::toggled, this, [this](bool on) {
        if (!mirroring_)
            logic_.SetFreq(on);
    });
    connect(time1_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!mirroring_)
            logic_.SetTime1Index(i);
    });
    connect(model_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (mirroring_)
            return;
        logic_.SelectModel(i);
        Mirror();
    });
    connect(version_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!mirroring_)
            logic_.SelectVersion(i);
    });
    Mirror();
}

void CParaModeDlg::Mirror()
{
    mirroring_ = true;
    (logic_.Freq() ? freq_ : rpm_)->setChecked(true);
    time1_->setCurrentIndex(logic_.Time1Index());
    time1_->setEnabled(logic_.Time1Enabled());
    model_->clear();
    for (const ListEntry& e : logic_.Models())
        model_->addItem(QString::fromStdString(Cp1252ToUtf8(e.text)), e.data);
    model_->setCurrentIndex(logic_.ModelIndex());
    model_->setEnabled(logic_.ModelEnabled());
    version_->clear();
    for (const ListEntry& e : logic_.Versions())
        version_->addItem(QString::fromStdString(Cp1252ToUtf8(e.text)), e.data);
    version_->setCurrentIndex(logic_.VersionIndex());
    version_->setEnabled(logic_.VersionEnabled());
    if (!logic_.Status().isEmpty() || logic_.StatusIsError())
        status_->setText(logic_.Status());
    else if (!logic_.Online())
        status_->clear();
    status_->setStyleSheet(logic_.StatusIsError() ? QStringLiteral("color: rgb(255, 0, 0);")
                                                  : QStringLiteral("color: rgb(0, 0, 255);"));
    setup_->setEnabled(logic_.SetupEnabled());
    mirroring_ = false;
}

void CParaModeDlg::OnSetup()
{
    if (logic_.Setup()) {
        accept();
        return;
    }
    Mirror();
}

std::optional<ModeChoice> CParaModeDlg::Run(ToolHost& host, int station, ModeUse use, QWidget* parent)
{
    CParaModeDlg dlg(host, station, use, parent);
    const bool ok = CFloatFrame::RunModal(parent, dlg) == QDialog::Accepted;
    QSettings s(kCompanyKey, kApplicationKey);
    dlg.Logic().StoreSettings(s);
    if (!ok)
        return std::nullopt;
    return dlg.Logic().Choice();
}

}  // namespace vm
