#pragma once
// What a harness demands beyond "no crash": a failed check aborts, so libFuzzer keeps the input
// as a crash and scripts/fuzz (and with it scripts/test) fails.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace vm::fuzz {

inline std::span<const uint8_t> Bytes(std::string_view text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

inline bool SameBytes(std::span<const uint8_t> a, std::span<const uint8_t> b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

// Hex digits may arrive in lower case; the builders write upper case.
inline bool HasLowerHex(std::span<const uint8_t> frame)
{
    for (uint8_t c : frame)
        if (c >= 'a' && c <= 'f')
            return true;
    return false;
}

}  // namespace vm::fuzz
