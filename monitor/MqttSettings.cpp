#include "monitor/MqttSettings.h"

#include <QFileInfo>
#include <QSettings>

namespace vm {

MqttSettings LoadMqttSettings(QSettings& s)
{
    MqttSettings m;
    s.beginGroup(QStringLiteral("MQTT"));
    m.enabled = s.value(QStringLiteral("Enable"), 0).toInt() != 0;
    m.url = s.value(QStringLiteral("URL"), m.url).toString();
    m.line = s.value(QStringLiteral("Line"), QString()).toString();
    m.intervalMs = std::clamp(s.value(QStringLiteral("Interval"), m.intervalMs).toInt(), kMqttIntervalMin,
                              kMqttIntervalMax);
    m.user = s.value(QStringLiteral("User"), QString()).toString();
    m.password = s.value(QStringLiteral("Password"), QString()).toString();
    m.caFile = s.value(QStringLiteral("CA File"), QString()).toString();
    m.insecure = s.value(QStringLiteral("Insecure"), 0).toInt() != 0;
    s.endGroup();
    return m;
}

void SaveMqttSettings(QSettings& s, const MqttSettings& m)
{
    s.beginGroup(QStringLiteral("MQTT"));
    s.setValue(QStringLiteral("Enable"), m.enabled ? 1 : 0);
    s.setValue(QStringLiteral("URL"), m.url);
    s.setValue(QStringLiteral("Line"), m.line);
    s.setValue(QStringLiteral("Interval"), m.intervalMs);
    s.setValue(QStringLiteral("User"), m.user);
    s.setValue(QStringLiteral("Password"), m.password);
    s.setValue(QStringLiteral("CA File"), m.caFile);
    s.setValue(QStringLiteral("Insecure"), m.insecure ? 1 : 0);
    s.endGroup();
}

Result<MqttOptions> ToMqttOptions(const MqttSettings& m, const QString& portName)
{
    Result<MqttOptions> parsed = ParseMqttUrl(m.url.trimmed().toStdString());
    if (!parsed)
        return parsed;
    MqttOptions* o = &parsed.Value();
    if (!m.user.isEmpty()) {
        o->user = m.user.toStdString();
        o->password = m.password.toStdString();
    }
    o->line =
        m.line.trimmed().isEmpty() ? LineTopicName(portName.toStdString()) : m.line.trimmed().toStdString();
    o->intervalMs = m.intervalMs;
    o->caFile = m.caFile.toStdString();
    o->insecure = m.insecure;
    return parsed;
}

std::optional<QString> CheckMqttSettings(const MqttSettings& m)
{
    if (!m.enabled)
        return std::nullopt;
    if (const Result<MqttOptions> options = ToMqttOptions(m, QStringLiteral("line")); !options)
        return QString::fromStdString(options.Text());
    if (m.line.contains(QLatin1Char('/')) || m.line.contains(QLatin1Char('+')) ||
        m.line.contains(QLatin1Char('#')))
        return QStringLiteral("The line name may not contain '/', '+' or '#'.");
    if (m.intervalMs < kMqttIntervalMin || m.intervalMs > kMqttIntervalMax)
        return QStringLiteral("Please enter an integer between %1 and %2.")
            .arg(kMqttIntervalMin)
            .arg(kMqttIntervalMax);
    if (!m.caFile.isEmpty() && !QFileInfo(m.caFile).isReadable())
        return QStringLiteral("The CA certificate %1 cannot be read.").arg(m.caFile);
    return std::nullopt;
}

}  // namespace vm
