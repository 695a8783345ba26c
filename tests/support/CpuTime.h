#pragma once
// CPU time this process has used, for tests that show a wait costs next to nothing.

#include <ctime>

namespace vm::test {

inline double ProcessCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace vm::test
