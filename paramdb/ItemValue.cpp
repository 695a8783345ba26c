// Value operations of CItem: raw value to text and entry-field number, and back.
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "paramdb/ParameterData.h"

namespace vm {

namespace {

constexpr uint32_t kMaxBits = 32;  // a bit field shows at most the 32 bits a raw value has
constexpr uint32_t kMaxHexDigits = 8;

std::string Format(const char* format, ...)
{
    char buf[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}

// Truncates toward zero; out-of-range values saturate and NaN gives 0.
int64_t TruncToInt64(double x)
{
    if (std::isnan(x))
        return 0;
    if (x >= 9.2e18)
        return std::numeric_limits<int64_t>::max();
    if (x <= -9.2e18)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(x);
}

// A raw value keeps the low 32 bits, so negative numbers become their two's complement.
uint32_t ToRaw(double x)
{
    return static_cast<uint32_t>(static_cast<uint64_t>(TruncToInt64(x)));
}

// A divisor of 0 in a data file would turn every value into infinity.
double Divisor(const CType& t)
{
    return t.realDivisor == 0.0 ? 1.0 : t.realDivisor;
}

}  // namespace

bool CItem::IsOnline() const
{
    const ParameterData* data = Data();
    const StationRecord* record = data ? data->Record() : nullptr;
    return record && record->station < kFirstOfflineSlot;
}

int CItem::Poles() const
{
    const ParameterData* data = Data();
    const StationRecord* record = data ? data->Record() : nullptr;
    return record ? record->value27 : 0;
}

bool CItem::IsRpmDisplay() const
{
    const CType* t = Type();
    if (!t || t->name != "FREQ3" || !IsOnline())
        return false;
    // Without a pole count there is no rpm to show; the value stays in Hz.
    return Data()->Record()->value26 == 1 && Poles() > 0;
}

int DecimalsOfScale(int scale)
{
    switch (scale) {
    case 10:
        return 1;
    case 100:
        return 2;
    case 1000:
        return 3;
    case 10000:
        return 4;
    default:
        return 0;
    }
}

int CItem::Decimals() const
{
    const CType* t = Type();
    if (!t || IsRpmDisplay())
        return 0;
    return DecimalsOfScale(t->divisor);
}

std::string CItem::FormatNumber(uint32_t raw) const
{
    const CType* t = Type();
    if (!t)
        return {};
    const double m = t->realMultiplier;
    const double d = Divisor(*t);
    double x = 0;
    if (t->IsSigned()) {
        x = static_cast<int16_t>(raw) * m / d;
    } else if (t->IsBitField()) {
        const uint32_t n = std::min(t->multiplier, kMaxBits);
        std::string bits = "b";
        for (uint32_t i = n; i-- > 0;)
            bits += (raw >> i) & 1 ? '1' : '0';
        return bits;
    } else if (IsRpmDisplay()) {
        x = static_cast<double>(uint64_t{raw} * 120 / static_cast<uint64_t>(Poles()) / 100);
    } else {
        x = raw * m / d;
    }
    if (t->IsHex())
        return Format("0x%0*X", static_cast<int>(std::min(t->multiplier, kMaxHexDigits)), ToRaw(x));
    if (const int decimals = Decimals(); decimals > 0)
        return Format("%.*f", decimals, x);
    return Format("%lld", static_cast<long long>(TruncToInt64(x)));
}

std::string CItem::ValueText(uint32_t raw, bool force) const
{
    if (!HasValueType())
        return {};
    if (!force && IsOnline() && valueStatus != 1)
        return {};
    if (IsChoice()) {
        const auto& texts = mess_->texts;
        if (raw < minimum || raw > maximum || raw >= texts.size())
            return Format("%d", static_cast<int32_t>(raw));
        return texts[raw];
    }
    return FormatNumber(raw);
}

std::string CItem::DefaultText() const
{
    if (!HasValueType())
        return {};
    if (IsChoice()) {
        const auto& texts = mess_->texts;
        if (defaultValue >= minimum && defaultValue <= maximum && defaultValue < texts.size())
            return texts[defaultValue];
        return Format("%d", static_cast<int32_t>(defaultValue));
    }
    return FormatNumber(defaultValue);
}

std::string CItem::MinText() const
{
    if (!HasValueType())
        return {};
    return IsChoice() ? Format("%d", static_cast<int32_t>(minimum)) : FormatNumber(minimum);
}

std::string CItem::MaxText() const
{
    if (!HasValueType())
        return {};
    return IsChoice() ? Format("%d", static_cast<int32_t>(maximum)) : FormatNumber(maximum);
}

std::string CItem::UnitText() const
{
    const CType* t = Type();
    if (!t)
        return {};
    if (!IsOnline())
        return t->unit;
    return IsRpmDisplay() ? "rpm" : t->unit;
}

double CItem::Decode(uint32_t raw) const
{
    if (!HasValueType())
        return 0;
    const CType* t = Type();
    if (!t || t->IsBitField())
        return raw;
    const double v =
        t->IsSigned() ? static_cast<double>(static_cast<int16_t>(raw)) : static_cast<double>(raw);
    const double d = Divisor(*t);
    const double result = std::floor((v * t->realMultiplier / d) * d + 0.5) / d;
    return IsRpmDisplay() ? result * 120 / Poles() : result;
}

double CItem::EntryToValue(double entry) const
{
    return IsRpmDisplay() ? entry * Poles() / 120 : entry;
}

uint32_t CItem::Encode(double entry) const
{
    const CType* t = Type();
    if (IsChoice() || (t && t->IsBitField()))
        return ToRaw(entry);
    const double m = t ? t->realMultiplier : 1.0;
    const double d = t ? Divisor(*t) : 1.0;
    if (m == 0.0)
        return 0;
    return ToRaw(std::floor(EntryToValue(entry) * d / m + 0.5));
}

std::vector<std::string> CItem::ChoiceTexts() const
{
    const CMess* mess = Choices();
    if (!mess)
        return {};
    const auto& texts = mess->texts;
    const int64_t max = static_cast<int32_t>(maximum);
    if (max >= 0 && max + 1 < static_cast<int64_t>(texts.size()))
        return {texts.begin(), texts.begin() + (max + 1)};
    return texts;
}

int CItem::ChoiceIndex(std::string_view text) const
{
    const CMess* mess = Choices();
    if (!mess)
        return -1;
    for (size_t i = 0; i < mess->texts.size(); ++i) {
        if (mess->texts[i] == text)
            return static_cast<int>(i);
    }
    return -1;
}

uint32_t CItem::BitCount() const
{
    const CType* t = Type();
    return t ? t->multiplier : 0;
}

bool CItem::InRange(double entry) const
{
    double v = EntryToValue(entry);
    if (IsChoice())
        return static_cast<int32_t>(minimum) <= v && v <= static_cast<int32_t>(maximum);
    const CType* t = Type();
    if (IsUnsignedNumber() && v < 0)
        v = -v;
    if (t && t->IsBitField())
        return static_cast<double>(minimum) <= v && v <= static_cast<double>(maximum);
    const double m = t ? t->realMultiplier : 1.0;
    const double d = t ? Divisor(*t) : 1.0;
    const double lo = static_cast<int32_t>(minimum) * m / d;
    const double hi = static_cast<int32_t>(maximum) * m / d;
    return lo <= v && v <= hi;
}

bool CItem::IsUnsignedNumber() const
{
    const CType* t = Type();
    return !IsChoice() && !(t && t->IsSigned());
}

std::optional<uint32_t> CItem::AcceptEntry(double entry) const
{
    if (!InRange(entry))
        return std::nullopt;
    return Encode(IsUnsignedNumber() && entry < 0 ? -entry : entry);
}

EditFormat CItem::GetEditFormat() const
{
    EditFormat f;
    const CType* t = Type();
    if (IsChoice()) {
        f.kind = EditFormat::Kind::Choice;
        f.maxDigits = 0;
    } else if (t && t->IsHex()) {
        f.kind = EditFormat::Kind::Hex;
        f.prefix = "0x";
        f.maxDigits = static_cast<int>(std::min(t->multiplier, kMaxHexDigits));
    } else if (t && t->IsBitField()) {
        f.kind = EditFormat::Kind::Binary;
        f.prefix = "b";
        f.maxDigits = static_cast<int>(std::min(t->multiplier, kMaxBits));
    } else {
        f.decimals = Decimals();
        f.maxDigits = 5 - f.decimals;
        f.allowSign = t && t->IsSigned();
    }
    return f;
}

}  // namespace vm
