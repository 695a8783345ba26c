#pragma once
// The port the manager opens by default: a serial device for a device name, a connection to a
// serial device server for "tcp://" and "rfc2217://" names, chosen again at every Open.
#include "comm/CommPort.h"

#include <memory>

namespace vm {

class LinePort : public CommPort {
public:
    bool Open(const PortSettings& settings, CommErrorSink* errors, std::function<void()> onReceived) override;
    bool Start() override { return port_ && port_->Start(); }
    bool WriteBytes(std::span<const uint8_t> bytes) override { return port_ && port_->WriteBytes(bytes); }
    bool WriteText(std::string_view text) override { return port_ && port_->WriteText(text); }
    bool IsOpen() const override { return port_ && port_->IsOpen(); }
    void Close() override
    {
        if (port_)
            port_->Close();
    }
    bool IsLost() const override { return port_ && port_->IsLost(); }
    bool ReadByte(uint8_t& byte) override { return port_ && port_->ReadByte(byte); }
    size_t ReadAll(std::vector<uint8_t>& out) override { return port_ ? port_->ReadAll(out) : 0; }
    int64_t LastWriteDoneUs() const override { return port_ ? port_->LastWriteDoneUs() : -1; }
    int64_t LastArrivalUs() const override { return port_ ? port_->LastArrivalUs() : -1; }

    // The port in use (null before the first Open).
    CommPort* Inner() const { return port_.get(); }

private:
    std::unique_ptr<CommPort> port_;
};

}  // namespace vm
