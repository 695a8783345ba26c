#include "comm/LinePort.h"

#include "comm/NetAddress.h"
#include "comm/NetPort.h"
#include "comm/SerialPort.h"

namespace vm {

bool LinePort::Open(const PortSettings& settings, CommErrorSink* errors, std::function<void()> onReceived)
{
    port_.reset();
    if (IsNetworkPortName(settings.portName))
        port_ = std::make_unique<NetPort>();
    else
        port_ = std::make_unique<SerialPort>();
    return port_->Open(settings, errors, std::move(onReceived));
}

}  // namespace vm
