#pragma once
// The simulator's process: one thread, one poll() loop over the line, the console (stdin) and
// the signals, on its own monotonic clock.

#include "base/Result.h"
#include "tools/sim/SimLine.h"
#include "tools/sim/SimOptions.h"

#include <ostream>
#include <string>

namespace vm::sim {

// A pseudo-terminal in raw mode. The simulator keeps the slave side open too, so a client that
// closes and reopens it does not hang the line up.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;  // /dev/pts/N
};
Result<Pty> OpenPty();
void ClosePty(Pty& pty);

// Serves the line until "quit", SIGINT, SIGTERM or SIGHUP. Prints "ready <device>" on out once
// it listens and one answer per console command. Returns the process exit code.
int RunSimulator(const SimOptions& options, SimLine& line, std::ostream& out, std::ostream& err);

}  // namespace vm::sim
