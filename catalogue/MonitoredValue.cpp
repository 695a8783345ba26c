#include "catalogue/MonitoredValue.h"

#include "catalogue/Registers.h"

#include <cmath>

namespace vm {

namespace {

double ByTimeScale(uint32_t raw, int timeScale)
{
    if (timeScale == 1)
        return raw;
    return timeScale == 100 ? raw / 100.0 : raw / 10.0;
}

double RoundTo2(double x)
{
    return std::floor(x * 100 + 0.5) * 0.01;
}

bool IsAnalogInput(uint16_t a)
{
    return a == reg::kAnalog1 || a == reg::kAnalog2 || a == reg::kAnalog3;
}

// Converter counts: model 10 has a 10-bit converter, model 9 a 12-bit one, others 16-bit.
double AnalogValue(uint16_t a, uint32_t r, int model)
{
    double span = a == reg::kAnalog3 ? 20.0 : (model == kModelQmF20X ? 15.0 : 10.0);
    const double full = model == kModelQmB20X ? 1023.0 : model == kModelQmF20X ? 4095.0 : 65472.0;
    const double v = r * span / full;
    return RoundTo2(a == reg::kAnalog2 && model == kModelQmB20X ? -v : v);
}

}  // namespace

bool IsSpeedDisplay(uint16_t address, int model, int32_t value26)
{
    return address == reg::kSpeed && model != kModelQmC20 && value26 != 0;
}

bool IsC20SignedWord(uint16_t a)
{
    return a == reg::kRpm || (a >= reg::kC20SpeedInput && a <= reg::kC20TorqueFeedback) ||
           (a >= reg::kC20PidRef && a <= reg::kC20PidOutput) || (a >= 1285 && a <= 1289) || a == 1291 ||
           a == 1292;
}

MonitoredValue ConvertMonitored(const MonitorItem& item, uint32_t raw, int model, int timeScale,
                                int32_t value26, ValueView view)
{
    const uint16_t a = item.address;
    const uint32_t r = raw & 0xFFFF;
    const auto s16 = static_cast<int16_t>(r);
    const double scale = IsSpeedDisplay(a, model, value26) ? 1 : (item.scale != 0 ? item.scale : 1);
    const double plain = (item.minimum < 0 ? double(s16) : double(r)) / scale;

    if (view == ValueView::Graph && a == reg::kFault)
        return {r != 0 ? 1.0 : 0.0, {}};
    if (model == kModelQmC20) {
        if (IsC20SignedWord(a))
            return {s16 / scale, (r & 0x8000) != 0};
        if (view == ValueView::Graph && IsAnalogInput(a))
            return {0.0, {}};
        if (a == reg::kC20AccTime || a == reg::kC20DecTime)
            return {ByTimeScale(r, timeScale), {}};
        return {plain, {}};
    }
    if (a == reg::kAccTime || a == reg::kDecTime)
        return {ByTimeScale(r, timeScale), {}};
    if (IsAnalogInput(a))
        return {AnalogValue(a, r, model), {}};
    return {plain, {}};
}

std::string MonitoredUnit(const MonitorItem& item, int model, int32_t value26)
{
    return IsSpeedDisplay(item.address, model, value26) ? "rpm" : item.unit;
}

}  // namespace vm
