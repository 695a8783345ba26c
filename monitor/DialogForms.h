#pragma once
// What the "Communication Port Setup" and "Select ID" dialogs decide, as plain classes that tests
// drive without showing a dialog.

#include "platform/Settings.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace vm {

// "Please enter an integer between %1 and %2." for a typed number outside lo-hi, or nothing.
std::optional<QString> CheckInteger(const QString& text, int lo, int hi, int* value);

class PortSetupForm {
public:
    static const QStringList& BaudRates();  // "1200" ... "38400"
    static const QStringList& DataBits();   // "5" ... "8"
    static const QStringList& Parities();   // index = value
    static const QStringList& StopBits();   // index = value
    static const QStringList& Protocols();  // index = value
    static const QStringList& TxLevels();   // "Active High", "Active Low"
    static const QStringList& Retries();    // "2" ... "5"
    static const QStringList& Pacings();    // index = value: "30 ms tick", "line-paced"

    // Fills the controls from the settings; a value not in its list shows the list's rule.
    PortSetupForm(const MainSettings& settings, const QStringList& portNames);

    QStringList ports;  // the port box's list; the port is also typed freely
    QString port;
    int baudIndex = 3;
    int dataBitIndex = 3;
    int parityIndex = 0;
    int stopBitIndex = 0;
    bool autoTx = true;
    int txLevelIndex = 0;
    int protocolIndex = 1;
    QString timeOutText;
    int retryIndex = 1;
    int pacingIndex = 0;
    QString turnaroundText;
    bool blockReads = false;
    QString blockReadMaxText;
    int netAllowance = 200;

    // The "Active High"/"Active Low" list is for RTS mode only.
    bool TxLevelEnabled() const { return !autoTx; }
    // The turnaround is kept on a line-paced port only; block reads are Modbus only.
    bool TurnaroundEnabled() const { return pacingIndex == 1; }
    bool BlockReadsEnabled() const { return protocolIndex == 0; }
    // The network allowance is for tcp:// and rfc2217:// ports only.
    bool NetAllowanceEnabled() const;

    // Reads the controls back into settings; on a refused entry returns its message and leaves
    // settings unchanged.
    std::optional<QString> Apply(MainSettings& settings) const;
};

class SelectIdForm {
public:
    explicit SelectIdForm(const MainSettings& settings);

    int mode = kScanOneId;
    QString oneText;
    QString fromText;
    QString toText;
    bool quickScan = true;

    bool OneEnabled() const { return mode == kScanOneId; }
    bool RangeEnabled() const { return mode == kScanRange; }

    // On Search: checks the entries, raises an end below the start, stores mode and values into
    // settings. Returns the message of a refused entry instead.
    std::optional<QString> Accept(MainSettings& settings);

    // The IDs a Search scans: [one], [from ... to], or 1 ... 31 for "All IDs".
    static std::vector<int> Ids(const MainSettings& settings);
};

}  // namespace vm
