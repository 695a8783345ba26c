#include "keypad/KeypadEditLogic.h"

#include "catalogue/Models.h"
#include "catalogue/Registers.h"
#include "paramdb/ParameterData.h"

#include <cmath>

namespace vm {

KeypadEditLogic::KeypadEditLogic(CommManager& comm, const StationRecord& record, const MonitorItem& item,
                                 QObject* parent)
    : QObject(parent), comm_(comm), station_(record.station), model_(record.model),
      modelName_(QString::fromLatin1(ModelName(record.model))), item_(item)
{
    // Acceleration and deceleration times are entered in the drive's own time resolution.
    if (IsTimeItem()) {
        workScale_ = record.timeScale > 0 ? record.timeScale : kDefaultTimeScale;
        decimals_ = record.timeScale == 1 ? 0 : record.timeScale == 100 ? 2 : 1;
    } else {
        workScale_ = item.scale > 0 ? item.scale : 1;
        decimals_ = DecimalsOfScale(item.scale);
    }
}

bool KeypadEditLogic::IsTimeItem() const
{
    const uint16_t a = item_.address;
    return a == reg::kAccTime || a == reg::kDecTime || a == reg::kC20AccTime || a == reg::kC20DecTime;
}

QString KeypadEditLogic::Caption() const
{
    return QStringLiteral("Edit Parameter [%1:%2]").arg(station_).arg(modelName_);
}

QString KeypadEditLogic::LimitText(int32_t raw) const
{
    const double v = (Signed() ? static_cast<int16_t>(raw) : raw) / double(item_.scale > 0 ? item_.scale : 1);
    const int q = DecimalsOfScale(item_.scale);
    if (q == 0)
        return QString::number(static_cast<int>(v));
    return QString::number(v, 'f', q);
}

QString KeypadEditLogic::InputPattern() const
{
    const QString sign = Signed() ? QStringLiteral("-?") : QString();
    const QString whole = QStringLiteral("\\d{0,%1}").arg(5 - decimals_);
    if (decimals_ == 0)
        return sign + whole;
    return sign + whole + QStringLiteral("(\\.\\d{0,%1})?").arg(decimals_);
}

void KeypadEditLogic::Read()
{
    busy_ = true;
    comm_.QueueRead(station_, item_.address, this);
    emit changed();
}

void KeypadEditLogic::Write(const QString& text)
{
    bool ok = false;
    const double x = text.trimmed().toDouble(&ok);
    double lo = 0, hi = 0;
    if (IsTimeItem()) {
        lo = item_.minimum / double(item_.scale);
        hi = item_.maximum / double(item_.scale);
    } else {
        lo = (Signed() ? static_cast<int16_t>(item_.minimum) : item_.minimum) / double(workScale_);
        hi = (Signed() ? static_cast<int16_t>(item_.maximum) : item_.maximum) / double(workScale_);
    }
    // A minus sign on an unsigned item is a number nobody meant: rejected, not made positive.
    const bool inRange = ok && (Signed() || x >= 0) && x >= lo && x <= hi;
    const double raw = std::floor(x * workScale_ + 0.5);
    if (!inRange || raw < -32768 || raw > 65535) {
        status_ =
            QStringLiteral("*** %1 ***").arg(QString::fromLatin1(CommManager::ErrorText(kDataRangeError)));
        Read();
        return;
    }
    status_ = QStringLiteral(" ");
    busy_ = true;
    comm_.QueueWrite(station_, item_.address, static_cast<uint16_t>(static_cast<int32_t>(raw)), this);
    emit changed();
}

void KeypadEditLogic::Fail(int error)
{
    status_ = QStringLiteral("*** %1 ***").arg(QString::fromLatin1(CommManager::ErrorText(error)));
}

void KeypadEditLogic::OnCommReply(int station, const CommReply& reply)
{
    if (station != station_)
        return;
    // A failed attempt is repeated; only the final reply (a Modbus exception included) counts.
    if (!IsFinalError(reply.error))
        return;
    if (reply.error == kNoError && reply.count > 0 && reply.addresses[0] == item_.address) {
        errorMark_ = false;
        if (reply.command == 'R') {
            const uint32_t r = reply.values[0] & 0xFFFF;
            const double v = (Signed() ? static_cast<int16_t>(r) : double(r)) / workScale_;
            valueText_ = QString::number(v, 'f', decimals_);
        }
        busy_ = false;
        if (reply.command == 'R')
            emit valueRead(valueText_);
        emit changed();
        return;
    }
    Fail(reply.error == kGiveUp ? reply.lastError : reply.error);
    if (reply.command == 'W') {
        Read();
        return;
    }
    errorMark_ = true;
    busy_ = false;
    valueText_.clear();
    emit changed();
}

}  // namespace vm
