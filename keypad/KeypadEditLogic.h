#pragma once
// What the keypad's edit dialog decides, without widgets: the texts it shows for one writable
// monitored item, how a typed value is checked and turned into the raw word written, and how the
// replies of its own reads and writes enable the dialog again or report a failure.

#include "catalogue/MonitorItems.h"
#include "catalogue/StationRecord.h"
#include "comm/CommManager.h"

#include <QObject>
#include <QString>

namespace vm {

class KeypadEditLogic : public QObject, public CommClient {
    Q_OBJECT
public:
    KeypadEditLogic(CommManager& comm, const StationRecord& record, const MonitorItem& item,
                    QObject* parent = nullptr);

    QString Caption() const;  // "Edit Parameter [%d:%s]"
    QString ItemName() const { return QString::fromStdString(item_.name); }
    QString Unit() const { return QString::fromStdString(item_.unit); }
    QString MinimumText() const { return LimitText(item_.minimum); }
    QString MaximumText() const { return LimitText(item_.maximum); }
    // Fraction digits of the value field; it takes 5 - Decimals() integer digits.
    int Decimals() const { return decimals_; }
    int WorkingScale() const { return workScale_; }
    bool Signed() const { return item_.minimum < 0; }
    // What the value field accepts while typing.
    QString InputPattern() const;

    // Queues a read of the item; the controls stay disabled until its final reply.
    void Read();
    // Checks the entry and queues the write, or reports a range error and reads again.
    void Write(const QString& text);

    bool Busy() const { return busy_; }
    // The value field is unusable after a read that failed.
    bool ValueEnabled() const { return !busy_ && !errorMark_; }
    QString ValueText() const { return valueText_; }
    QString StatusText() const { return status_; }

signals:
    void changed();
    // A read reply brought the item's value.
    void valueRead(const QString& text);

protected:
    void OnCommReply(int station, const CommReply& reply) override;

private:
    bool IsTimeItem() const;
    QString LimitText(int32_t raw) const;
    void Fail(int error);

    CommManager& comm_;
    const int station_;
    const int model_;
    const QString modelName_;
    const MonitorItem item_;
    int workScale_ = 1;
    int decimals_ = 0;
    bool busy_ = false;
    bool errorMark_ = false;
    QString valueText_;
    QString status_;
};

}  // namespace vm
