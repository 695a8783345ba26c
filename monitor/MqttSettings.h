#pragma once
// The main window's publisher settings, section "MQTT" of the program's settings, and the form
// of its Setup dialog: what is typed is checked here, without widgets.

#include "publish/MqttOptions.h"

#include <QString>

#include <optional>

class QSettings;

namespace vm {

struct MqttSettings {
    bool enabled = false;
    QString url = QStringLiteral("mqtt://localhost:1883");
    QString line;  // empty: the port's name
    int intervalMs = 1000;
    QString user;
    QString password;
    QString caFile;
    bool insecure = false;
};

inline constexpr int kMqttIntervalMin = 100;
inline constexpr int kMqttIntervalMax = 3600000;

MqttSettings LoadMqttSettings(QSettings& s);
void SaveMqttSettings(QSettings& s, const MqttSettings& m);

// The client's options for a port, or what is wrong with the URL. User and password typed in the
// dialog win over those in the URL.
Result<MqttOptions> ToMqttOptions(const MqttSettings& m, const QString& portName);

// The Setup dialog's check of what was typed; the first problem, or nothing.
std::optional<QString> CheckMqttSettings(const MqttSettings& m);

}  // namespace vm
