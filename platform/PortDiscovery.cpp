#include "platform/PortDiscovery.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace vm {

void PostProcessPorts(std::vector<PortRecord>& ports)
{
    for (PortRecord& p : ports) {
        if (p.friendlyName.isEmpty())
            p.friendlyName = p.portName;
        if (p.description.isEmpty()) {
            const qsizetype paren = p.friendlyName.indexOf(QLatin1Char('('));
            p.description = paren > 0 ? p.friendlyName.left(paren).trimmed() : p.friendlyName;
        }
    }
}

uint32_t UsbFlagFromSysfs(const QString& sysfsRoot, const QString& portName)
{
    const QString link = QDir(sysfsRoot).filePath(QStringLiteral("class/tty/%1/device").arg(portName));
    const QString target = QFileInfo(link).canonicalFilePath();
    if (target.isEmpty())
        return 0;
    // USB devices sit below a ".../usbN/..." bus node; their interface folders carry "usb" too.
    for (const QString& part : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part.startsWith(QLatin1String("usb")))
            return 1;
    }
    return 0;
}

std::vector<PortRecord> MakePortRecords(const std::vector<SystemPort>& system, const QString& sysfsRoot)
{
    std::vector<PortRecord> ports;
    for (const SystemPort& s : system) {
        PortRecord p;
        p.devicePath = s.systemLocation;
        p.portName = s.portName;
        if (!s.description.isEmpty())
            p.friendlyName = QStringLiteral("%1 (%2)").arg(s.description, s.portName);
        p.usb = UsbFlagFromSysfs(sysfsRoot, s.portName);
        ports.push_back(p);
    }
    PostProcessPorts(ports);
    return ports;
}

std::vector<PortRecord> DiscoverPorts()
{
    std::vector<SystemPort> system;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        system.push_back({info.portName(), info.systemLocation(), info.description()});
    return MakePortRecords(system, QStringLiteral("/sys"));
}

QStringList PortNameList(const std::vector<PortRecord>& ports)
{
    QStringList names;
    for (const PortRecord& p : ports) {
        if (!p.devicePath.isEmpty() && !names.contains(p.devicePath))
            names << p.devicePath;
    }
    if (names.isEmpty()) {
        for (int n = 0; n < 16; ++n)
            names << QStringLiteral("/dev/ttyS%1").arg(n);
    }
    return names;
}

}  // namespace vm
