// The byte order every file format of the program uses, checked against hand-written bytes.

#include "base/LittleEndian.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace vm::le {
namespace {

using Bytes = std::vector<uint8_t>;

template <typename T>
Bytes Appended(T v)
{
    Bytes out;
    Append(out, v);
    return out;
}

TEST(LittleEndian, integersGoLowestByteFirstWithTheirSignsBitPattern)
{
    EXPECT_EQ(Appended<uint8_t>(0xA5), (Bytes{0xA5}));
    EXPECT_EQ(Appended<uint16_t>(0x1234), (Bytes{0x34, 0x12}));
    EXPECT_EQ(Appended<int16_t>(-2), (Bytes{0xFE, 0xFF}));
    EXPECT_EQ(Appended<uint32_t>(0x89ABCDEF), (Bytes{0xEF, 0xCD, 0xAB, 0x89}));
    EXPECT_EQ(Appended<int32_t>(39153), (Bytes{0xF1, 0x98, 0x00, 0x00}));
    EXPECT_EQ(Appended<int32_t>(std::numeric_limits<int32_t>::min()), (Bytes{0x00, 0x00, 0x00, 0x80}));
    EXPECT_EQ(Appended<uint64_t>(0x0102030405060708), (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
}

TEST(LittleEndian, doublesAreTheirIeeeBitsLowestByteFirst)
{
    EXPECT_EQ(Appended(100.0), (Bytes{0, 0, 0, 0, 0, 0, 0x59, 0x40}));
    EXPECT_EQ(Appended(-0.0), (Bytes{0, 0, 0, 0, 0, 0, 0, 0x80}));
    EXPECT_EQ(Appended(1e6), (Bytes{0, 0, 0, 0, 0x80, 0x84, 0x2E, 0x41}));
    const Bytes nan = {0, 0, 0, 0, 0, 0, 0xF8, 0x7F};
    EXPECT_TRUE(std::isnan(Load<double>(nan.data())));
    EXPECT_TRUE(std::signbit(Load<double>(Appended(-0.0).data())));
}

TEST(LittleEndian, loadReadsBackWhatStorePutAndAppendGrowsAnyByteContainer)
{
    uint8_t buffer[8] = {};
    Store<uint16_t>(buffer + 1, 0xBEEF);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 0xEF);
    EXPECT_EQ(buffer[2], 0xBE);
    EXPECT_EQ(buffer[3], 0);
    EXPECT_EQ(Load<uint16_t>(buffer + 1), 0xBEEF);
    Store<int32_t>(buffer, -123456);
    EXPECT_EQ(Load<int32_t>(buffer), -123456);
    EXPECT_EQ(Load<uint32_t>(buffer), static_cast<uint32_t>(-123456));
    Store(buffer, 46000.5);
    EXPECT_EQ(Load<double>(buffer), 46000.5);

    // The high bit of each byte survives a container of plain char.
    std::string text = "x";
    Append<uint16_t>(text, 0x80FF);
    ASSERT_EQ(text.size(), 3u);
    EXPECT_EQ(static_cast<uint8_t>(text[1]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(text[2]), 0x80);
    EXPECT_EQ(Load<uint16_t>(reinterpret_cast<const uint8_t*>(text.data()) + 1), 0x80FF);
}

}  // namespace
}  // namespace vm::le
