#pragma once
#include "comm/Kx485.h"
#include "comm/ModbusRtu.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vm::test {

// A pseudo-terminal pair made by the test: the port under test opens slavePath, the responder
// answers on the master side.
struct PtyPair {
    PtyPair();
    ~PtyPair();
    int master = -1;
    int slave = -1;
    std::string slavePath;
};

// A small station on the master side of a pty: answers KX485 or Modbus requests from a register
// map (unknown registers read as address * 3). Runs on its own thread.
class PtyResponder {
public:
    PtyResponder(int masterFd, int protocolMode);
    ~PtyResponder();
    int Requests() const { return m_requests.load(); }
    uint16_t Register(uint16_t address);

private:
    void Run();
    void HandleKx485(const kx485::Request& r);
    void HandleModbus(const modbus::Request& r);
    void Send(const std::vector<uint8_t>& bytes);
    uint16_t Value(uint16_t address);

    int m_fd;
    int m_mode;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
    std::atomic<int> m_requests{0};
    std::mutex m_mutex;
    std::map<uint16_t, uint16_t> m_registers;
    std::map<int, std::vector<uint16_t>> m_registered;
};

}  // namespace vm::test
