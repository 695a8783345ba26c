#pragma once
// Setup > MQTT Publisher...: the broker, the line's name in the topics, the state interval, and
// the credentials and TLS certificate plant brokers ask for.

#include "monitor/MqttSettings.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace vm {

class MqttSetupDialog : public QDialog {
    Q_OBJECT
public:
    MqttSetupDialog(const MqttSettings& settings, const QString& portName, QWidget* parent = nullptr);
    const MqttSettings& Result() const { return result_; }
    void accept() override;

private:
    MqttSettings Read() const;

    MqttSettings result_;
    QCheckBox* enabled_ = nullptr;
    QLineEdit* url_ = nullptr;
    QLineEdit* line_ = nullptr;
    QSpinBox* interval_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* caFile_ = nullptr;
    QCheckBox* insecure_ = nullptr;
};

}  // namespace vm
