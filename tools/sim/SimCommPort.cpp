#include "tools/sim/SimCommPort.h"

namespace vm::sim {

bool SimCommPort::WriteBytes(std::span<const uint8_t> bytes)
{
    rx_.clear();  // a frame going out discards what was not taken, as the serial port does
    ++frames_;
    line_.Receive(bytes, clockMs_);
    writeDoneUs_ = clockMs_ * 1000;
    return open_;
}

bool SimCommPort::ReadByte(uint8_t& byte)
{
    if (rx_.empty())
        return false;
    byte = rx_.front();
    rx_.pop_front();
    return true;
}

void SimCommPort::Deliver()
{
    line_.AdvanceTo(clockMs_);
    const std::vector<uint8_t> due = line_.TakeDue(clockMs_);
    rx_.insert(rx_.end(), due.begin(), due.end());
    if (!due.empty())
        arrivalUs_ = line_.LastTakenDue() * 1000;
}

}  // namespace vm::sim
