#pragma once
// The serial ports of this machine, for the port setup dialog and for validating the stored port.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace vm {

struct PortRecord {
    QString devicePath;    // what to open, e.g. /dev/ttyUSB0
    QString portName;      // e.g. ttyUSB0
    QString friendlyName;  // user-visible name, e.g. "FT232R USB UART (ttyUSB0)"
    uint32_t usb = 0;      // 1 when the port is on a USB adapter
    QString description;
};

// What the system's enumeration reports for one port, before the records are made.
struct SystemPort {
    QString portName;
    QString systemLocation;
    QString description;
};

// Fills missing names: an empty friendly name becomes the port name; an empty description
// becomes the friendly name, or its part before the first "(" (trimmed) when the "(" is not the
// first character.
void PostProcessPorts(std::vector<PortRecord>& ports);

// Records for the enumerated ports, in enumeration order, post-processed. The USB flag comes from
// the device's place in sysfs below sysfsRoot (normally "/sys").
std::vector<PortRecord> MakePortRecords(const std::vector<SystemPort>& system, const QString& sysfsRoot);

// 1 when /sys/class/tty/<portName>/device resolves to a device below a USB bus.
uint32_t UsbFlagFromSysfs(const QString& sysfsRoot, const QString& portName);

// Enumerates the ports present now (QSerialPortInfo and sysfs).
std::vector<PortRecord> DiscoverPorts();

// The names offered by the port setup dialog: each record's device path, in discovery order;
// when there is none, the sixteen built-in port names /dev/ttyS0 ... /dev/ttyS15.
QStringList PortNameList(const std::vector<PortRecord>& ports);

}  // namespace vm
