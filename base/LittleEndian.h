#pragma once
// Integers and doubles as the file formats store them (parameter archives, scope files, the
// report's spreadsheets): least significant byte first, whatever the host's own order.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace vm::le {

template <typename T>
concept Storable = std::is_integral_v<T> || std::is_same_v<T, double>;

// Puts v into out[0, sizeof v).
template <Storable T>
constexpr void Store(uint8_t* out, T v)
{
    if constexpr (std::is_same_v<T, double>) {
        Store(out, std::bit_cast<uint64_t>(v));
    } else {
        using U = std::make_unsigned_t<T>;
        const U u = static_cast<U>(v);
        for (size_t i = 0; i < sizeof(T); ++i)
            out[i] = static_cast<uint8_t>(u >> (8 * i));
    }
}

// The value in in[0, sizeof(T)).
template <Storable T>
constexpr T Load(const uint8_t* in)
{
    if constexpr (std::is_same_v<T, double>) {
        return std::bit_cast<double>(Load<uint64_t>(in));
    } else {
        using U = std::make_unsigned_t<T>;
        U u = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            u = static_cast<U>(u | static_cast<U>(static_cast<U>(in[i]) << (8 * i)));
        return static_cast<T>(u);
    }
}

// Appends v to a byte container with push_back (std::vector<uint8_t>, std::string, QByteArray).
template <Storable T, typename Bytes>
void Append(Bytes& out, T v)
{
    uint8_t b[sizeof(T)];
    Store(b, v);
    for (uint8_t c : b)
        out.push_back(static_cast<typename Bytes::value_type>(c));
}

}  // namespace vm::le
