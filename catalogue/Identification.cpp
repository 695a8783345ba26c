#include "catalogue/Identification.h"

#include "catalogue/Models.h"

namespace vm {

bool StoreIdentification(StationRecord& record, uint16_t address, uint16_t value)
{
    const int32_t v = value;
    switch (address) {
    case reg::kModel:
        record.model = v;
        return true;
    case reg::kCapacity:
        record.capacity = v;
        return true;
    case reg::kVoltage:
        record.voltage = v;
        return true;
    case reg::kVersion:
        record.version = v;
        record.capacity = AdjustCapacity(record.model, record.version, record.capacity);
        record.timeScale = kDefaultTimeScale;
        return true;
    default:
        if (TimeScaleRegister(record.model) != address)
            return false;
        record.timeScale = TimeScale(v);
        return true;
    }
}

std::optional<uint16_t> NextIdentificationRead(const StationRecord& record, uint16_t answered,
                                               TimeScaleRead timeScale)
{
    switch (answered) {
    case reg::kModel:
        return reg::kCapacity;
    case reg::kCapacity:
        return reg::kVoltage;
    case reg::kVoltage:
        return reg::kVersion;
    case reg::kVersion:
        if (timeScale == TimeScaleRead::Read)
            return TimeScaleRegister(record.model);
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

}  // namespace vm
