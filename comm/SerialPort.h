#pragma once
#include "comm/CommPort.h"
#include "comm/PortWorker.h"
#include "comm/RxQueue.h"

#include <termios.h>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace vm {

// CommPort on a POSIX tty (USB adapter, built-in port or pseudo-terminal). One worker thread
// reads the device and writes the frames, so neither blocks the caller. With RTS direction
// control, RTS is at the transmit level from just before the write until the output has drained.
// Devices without modem-control lines (pseudo-terminals) get no RTS handling and no warning.
// A hang-up, an I/O error that means the device is gone, or a device node that has disappeared
// makes the port lost: it stops watching and writing the device and waits to be closed.
class SerialPort : public CommPort {
public:
    static constexpr size_t kBufferSize = 512;

    SerialPort() = default;
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    bool Open(const PortSettings& settings, CommErrorSink* errors, std::function<void()> onReceived) override;
    bool Start() override;
    bool WriteBytes(std::span<const uint8_t> bytes) override;
    // A text frame keeps one byte of the buffer for its terminator.
    bool WriteText(std::string_view text) override
    {
        return text.size() < kBufferSize && CommPort::WriteText(text);
    }
    bool IsOpen() const override;
    void Close() override;
    bool IsLost() const override { return m_lost.load(); }
    bool ReadByte(uint8_t& byte) override;
    size_t ReadAll(std::vector<uint8_t>& out) override { return m_rx.TakeAll(out); }
    // On the steady clock, taken by the worker as the bytes pass.
    int64_t LastWriteDoneUs() const override { return m_writeDoneUs.load(); }
    int64_t LastArrivalUs() const override { return m_arrivalUs.load(); }

    // The device path opened for a port name ("ttyS0" -> "/dev/ttyS0"; paths are kept).
    static std::string DevicePath(const std::string& portName);
    // Raw line settings for the device; false when a value is not supported.
    static bool ApplySettings(const PortSettings& settings, termios& tio);
    // The latency timer of a USB serial adapter's driver, read from sysfs; none for other devices.
    static std::optional<int> UsbLatencyTimerMs(const std::string& devicePath,
                                                const std::string& sysRoot = "/sys");
    // True when the driver took the request for low latency at open.
    bool LowLatency() const { return m_lowLatency; }
    // True when the device has modem-control lines, i.e. RTS can be driven.
    bool HasModemControl() const { return m_modemControl; }
    // Frames written to the device so far (for diagnostics and tests).
    uint64_t FramesWritten() const { return m_framesWritten.load(); }

private:
    void WriteFrame();
    void SetRts(bool transmitting);
    void ReadAvailable(short events);
    void Report(const char* call, int err);
    bool Configure(int fd);
    void CheckLost(int err);

    PortSettings m_settings;
    CommErrorSink* m_errors = nullptr;
    int m_fd = -1;
    bool m_modemControl = false;
    bool m_lowLatency = false;
    std::atomic<uint64_t> m_framesWritten{0};
    std::atomic<bool> m_lost{false};
    std::atomic<int64_t> m_writeDoneUs{-1};
    std::atomic<int64_t> m_arrivalUs{-1};

    RxQueue m_rx;
    bool m_readBroken = false;  // worker only: device hung up, stop polling input
    // Declared last, so destroyed first: its thread ends before the members it uses go.
    PortWorker m_worker;
};

}  // namespace vm
