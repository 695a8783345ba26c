#pragma once
// A log device that accepts a number of bytes and then fails like a full disk.

#include <QByteArray>
#include <QIODevice>

namespace vm::test {

class FullDiskDevice : public QIODevice {
public:
    explicit FullDiskDevice(qint64 room) : room_(room) { open(QIODevice::WriteOnly); }
    QByteArray written;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override
    {
        if (len > room_) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        room_ -= len;
        written.append(data, len);
        return len;
    }

private:
    qint64 room_;
};

}  // namespace vm::test
