#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

// Serial line settings. parity: 0 none, 1 odd, 2 even, 3 mark, 4 space;
// stopBits: 0 = one, 1 = one and a half, 2 = two.
struct PortSettings {
    std::string portName = "ttyUSB0";  // a device path, or a name below /dev
    int baudRate = 9600;
    int parity = 0;
    int dataBits = 8;
    int stopBits = 0;
    bool autoTxEnable = true;  // false: RTS drives the RS-485 transmitter
    bool txActiveHigh = true;  // with RTS control: RTS high while transmitting
};

inline constexpr const char* kPortErrorCaption = "Application Error";

// "WARNING:  <call> Failed with the following error: \n<system text>\nPort: <port>\n"
std::string FormatPortWarning(std::string_view call, std::string_view systemText, std::string_view portName);

// The microsecond clock reply times are taken on: monotonic, shared by ports and the manager.
inline int64_t SteadyMicroseconds()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// Receives serial-port failures. May be called from the port's own thread.
class CommErrorSink {
public:
    virtual ~CommErrorSink() = default;
    virtual void ReportPortError(const std::string& caption, const std::string& text) = 0;
};

// A byte pipe to the line. Bytes received are kept in order until the owner takes them with
// ReadByte; onReceived (possibly called from another thread) tells the owner that bytes wait.
class CommPort {
public:
    virtual ~CommPort() = default;
    virtual bool Open(const PortSettings& settings, CommErrorSink* errors,
                      std::function<void()> onReceived) = 0;
    virtual bool Start() = 0;
    // Both discard every byte received and not yet taken before the frame goes out.
    virtual bool WriteBytes(std::span<const uint8_t> bytes) = 0;
    virtual bool WriteText(std::string_view text)
    {
        return WriteBytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    }
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // True once the device has gone away (hung up, unplugged): it stays unusable until the
    // port is opened again. May be asked from any thread.
    virtual bool IsLost() const { return false; }
    // Takes the next received byte; false when none waits.
    virtual bool ReadByte(uint8_t& byte) = 0;
    // For reply times measured where the bytes pass, on the port's own microsecond clock: when
    // the last frame finished going out, and when the newest byte taken arrived. -1 when the port
    // cannot tell; the manager then times the reply on its own clock.
    virtual int64_t LastWriteDoneUs() const { return -1; }
    virtual int64_t LastArrivalUs() const { return -1; }
    // Appends every received byte waiting to out; the count taken.
    virtual size_t ReadAll(std::vector<uint8_t>& out)
    {
        size_t n = 0;
        for (uint8_t byte = 0; ReadByte(byte); ++n)
            out.push_back(byte);
        return n;
    }
};

}  // namespace vm
