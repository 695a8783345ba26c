#pragma once
// The seam between the main window's network logic and the fault history, which the network
// logic runs without until it is installed.

#include "catalogue/StationRecord.h"

#include <QString>

namespace vm {

// The fault history: one record per new fault of a station.
class FaultHistoryHook {
public:
    virtual ~FaultHistoryHook() = default;
    virtual void AddFault(const StationRecord& record, const QString& deviceName) = 0;
};

}  // namespace vm
