#include "monitor/MqttSetupDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vm {

MqttSetupDialog::MqttSetupDialog(const MqttSettings& s, const QString& portName, QWidget* parent)
    : QDialog(parent), result_(s)
{
    setObjectName(QStringLiteral("MqttSetupDialog"));
    setWindowTitle(QStringLiteral("MQTT Publisher"));
    auto* top = new QVBoxLayout(this);
    enabled_ = new QCheckBox(QStringLiteral("&Publish live drive data to an MQTT broker"), this);
    enabled_->setChecked(s.enabled);
    top->addWidget(enabled_);

    auto* form = new QFormLayout;
    url_ = new QLineEdit(s.url, this);
    url_->setObjectName(QStringLiteral("url"));
    url_->setPlaceholderText(QStringLiteral("mqtt://HOST:1883 or mqtts://HOST:8883"));
    url_->setMinimumWidth(280);
    form->addRow(QStringLiteral("&Broker"), url_);
    line_ = new QLineEdit(s.line, this);
    line_->setObjectName(QStringLiteral("line"));
    line_->setPlaceholderText(QString::fromStdString(LineTopicName(portName.toStdString())));
    form->addRow(QStringLiteral("&Line name"), line_);
    interval_ = new QSpinBox(this);
    interval_->setRange(kMqttIntervalMin, kMqttIntervalMax);
    interval_->setSingleStep(100);
    interval_->setValue(s.intervalMs);
    interval_->setSuffix(QStringLiteral(" msec"));
    form->addRow(QStringLiteral("State at most &every"), interval_);
    user_ = new QLineEdit(s.user, this);
    form->addRow(QStringLiteral("&User"), user_);
    password_ = new QLineEdit(s.password, this);
    password_->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("Pass&word"), password_);
    caFile_ = new QLineEdit(s.caFile, this);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file =
            QFileDialog::getOpenFileName(this, QStringLiteral("CA Certificate"), caFile_->text(),
                                         QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
        if (!file.isEmpty())
            caFile_->setText(file);
    });
    auto* caRow = new QHBoxLayout;
    caRow->addWidget(caFile_, 1);
    caRow->addWidget(browse);
    auto* caLabel = new QLabel(QStringLiteral("TLS &CA file"), this);
    caLabel->setBuddy(caFile_);
    form->addRow(caLabel, caRow);
    insecure_ = new QCheckBox(QStringLiteral("Do not check the broker's host name"), this);
    insecure_->setChecked(s.insecure);
    form->addRow(QString(), insecure_);
    top->addLayout(form);
    auto* note = new QLabel(QStringLiteral("Topics: varimon/LINE/ID/state (retained), varimon/LINE/ID/fault, "
                                           "varimon/LINE/events, varimon/LINE/status."),
                            this);
    note->setWordWrap(true);
    note->setEnabled(false);
    top->addWidget(note);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &MqttSetupDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &MqttSetupDialog::reject);
    top->addWidget(buttons);
}

MqttSettings MqttSetupDialog::Read() const
{
    MqttSettings m;
    m.enabled = enabled_->isChecked();
    m.url = url_->text().trimmed();
    m.line = line_->text().trimmed();
    m.intervalMs = interval_->value();
    m.user = user_->text();
    m.password = password_->text();
    m.caFile = caFile_->text().trimmed();
    m.insecure = insecure_->isChecked();
    return m;
}

void MqttSetupDialog::accept()
{
    const MqttSettings m = Read();
    if (const std::optional<QString> why = CheckMqttSettings(m)) {
        QMessageBox::warning(this, windowTitle(), *why);
        return;
    }
    result_ = m;
    QDialog::accept();
}

}  // namespace vm
