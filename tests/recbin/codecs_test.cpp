// Field codecs: little-endian integers, padded texts, BCD timestamps and the
// checked double-to-integer conversions behind every stored count.
#include "recbin_util.h"

#include <cmath>
#include <cstring>
#include <limits>

using namespace recbin_test;

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(IntegerFields, ValuesKeepTheirFieldWidthAndSign) {
    struct {
        Bytes b;
        std::int32_t in, s; // value written, value read back signed
        std::uint32_t u;    // value read back unsigned
    } cases[] = {{{0xFF, 0xFF, 0x7F}, 8388607, 8388607, 8388607},
                 {{0x00, 0x00, 0x80}, -8388608, -8388608, 8388608},
                 {{0xFF, 0xFF, 0xFF}, -1, -1, 16777215},
                 {{0x67, 0x45, 0x23}, 0x01234567, 0x234567, 0x234567}};
    for (const auto &c : cases) {
        Bytes buf{0xAA, 0, 0, 0, 0xAA};
        qv5k_set_int24(&buf[1], c.in);
        EXPECT_EQ(buf, (Bytes{0xAA, c.b[0], c.b[1], c.b[2], 0xAA}));
        qv5k_set_uint24(&buf[1], static_cast<std::uint32_t>(c.in));
        EXPECT_EQ(slice(buf, 1, 3), c.b);
        EXPECT_EQ(qv5k_get_int24(c.b.data()), c.s);
        EXPECT_EQ(qv5k_get_uint24(c.b.data()), c.u);
    }
    Bytes buf(8, 0xAA);
    qv5k_set_uint48(&buf[1], 0xFEDC123456789ABCull);
    EXPECT_EQ(buf, (Bytes{0xAA, 0xBC, 0x9A, 0x78, 0x56, 0x34, 0x12, 0xAA}));
    EXPECT_EQ(qv5k_get_uint48(&buf[1]), 0x123456789ABCull);
    qv5k_set_uint32(&buf[0], 0x89ABCDEF);
    qv5k_set_uint16(&buf[4], 0xBEEF);
    EXPECT_EQ(slice(buf, 0, 6), (Bytes{0xEF, 0xCD, 0xAB, 0x89, 0xEF, 0xBE}));
    EXPECT_EQ(qv5k_get_uint32(&buf[0]), 0x89ABCDEFu);
    EXPECT_EQ(qv5k_get_uint16(&buf[4]), 0xBEEF);
}

TEST(TextFields, PaddedArraysAndStrippedStrings) {
    struct {
        std::size_t size;
        const char *text;
        std::size_t len;
        int left;
        const char *array; // with one guard byte '#' on each side
    } to_array[] = {{5, "mm/s", 4, 0, "# mm/s#"},
                    {5, "mm/s", 4, 1, "#mm/s #"},
                    {7, "ABCDEFGHI", 9, 1, "#ABCDEFG#"},
                    {3, nullptr, 0, 1, "#   #"},
                    {4, "ab\0cd", 2, 1, "#ab  #"}};
    for (const auto &c : to_array) {
        std::string a(c.size + 2, '#');
        qv5k_str_to_array(reinterpret_cast<std::uint8_t *>(&a[1]), c.size, c.text, c.len, c.left);
        EXPECT_EQ(a, c.array);
    }
    struct {
        std::string array;
        std::size_t text_size;
        std::string text;
    } to_str[] = {{"  ABC-12" + std::string(22, ' '), 31, "ABC-12"},
                  {"  ABC-12" + std::string(22, ' '), 4, "ABC"},
                  {"     ", 10, ""},
                  {"", 10, ""},
                  {" a b ", 10, "a b"},
                  {std::string(" x\0y ", 5), 8, std::string("x\0y", 3)}};
    for (const auto &c : to_str) {
        char text[40];
        std::memset(text, '#', sizeof text);
        qv5k_array_to_str(text, c.text_size, reinterpret_cast<const std::uint8_t *>(c.array.data()),
                          c.array.size());
        EXPECT_EQ(std::string(text, c.text.size() + 1), c.text + '\0');
    }
}

TEST(Timestamps, TriplesAreLocalTime) {
    const Bytes time{0x05, 0x30, 0x14}, date{0x31, 0x12, 0x09};
    for (auto [tz, shift] : {std::pair{"UTC", 0}, {"Europe/Paris", 3600}}) {
        TzGuard guard(tz);
        std::time_t t = qv5k_get_time(time.data(), date.data());
        EXPECT_EQ(t, utc(2009, 12, 31, 14, 30, 5) - shift) << tz;
        Bytes t2(3), d2(3);
        qv5k_set_time_local(t2.data(), d2.data(), &t);
        EXPECT_EQ(t2, time);
        EXPECT_EQ(d2, date);
    }
    TzGuard paris("Europe/Paris"); // summer time
    const Bytes noon{0x00, 0x00, 0x12}, july{0x01, 0x07, 0x10};
    EXPECT_EQ(qv5k_get_time(noon.data(), july.data()), utc(2010, 7, 1, 10));
}

TEST(Timestamps, FixedOffsetIgnoresTheZoneAndRoundTrips) {
    TzGuard paris("Europe/Paris");
    Bytes time(3), date(3);
    std::time_t t = utc(2010, 1, 1);
    qv5k_set_time_custom(time.data(), date.data(), &t, 3600);
    EXPECT_EQ(time, (Bytes{0x00, 0x00, 0x01}));
    EXPECT_EQ(date, (Bytes{0x01, 0x01, 0x10}));
    t = utc(1999, 12, 31, 23, 59, 59); // year -1: 255 modulo 256, "digits" 25 and 5
    qv5k_set_time_custom(time.data(), date.data(), &t, 0);
    EXPECT_EQ(date[2], 0x95);

    TzGuard utc_zone("UTC");
    const std::int64_t last = sizeof(std::time_t) > 4 ? utc(2099, 12, 31, 23, 59, 59) : INT32_MAX;
    for (std::int64_t s = utc(2000, 1, 1); s <= last - 7200; s += 86400 + 3607) {
        const auto ts = static_cast<std::time_t>(s);
        qv5k_set_time_custom(time.data(), date.data(), &ts, 7200);
        ASSERT_EQ(qv5k_get_time(time.data(), date.data()), ts + 7200);
    }
    if (sizeof(std::time_t) == 4) { // dates after 2038 do not exist there
        const Bytes y2040{0x01, 0x01, 0x40};
        EXPECT_EQ(qv5k_get_time(time.data(), y2040.data()), static_cast<std::time_t>(-1));
    }
    time = {1, 2, 3}, date = {4, 5, 6}; // kept when there is no breakdown
    std::time_t big = std::numeric_limits<std::time_t>::max();
    std::time_t small = std::numeric_limits<std::time_t>::min();
    qv5k_set_time_custom(time.data(), date.data(), &big, 1);
    qv5k_set_time_custom(time.data(), date.data(), &small, -1);
    if (sizeof(std::time_t) > 4) { // every 32-bit time has a breakdown
        qv5k_set_time_local(time.data(), date.data(), &big);
        qv5k_set_time_custom(time.data(), date.data(), &big, 0);
    }
    EXPECT_EQ(time, (Bytes{1, 2, 3}));
    EXPECT_EQ(date, (Bytes{4, 5, 6}));
}

TEST(CheckedConversions, EveryDoubleHasADefinedCount) {
    const std::pair<double, std::int32_t> trunc[] = {
        {1.9, 1}, {-1.9, -1}, {kNan, 0}, {kInf, INT32_MAX}, {-kInf, INT32_MIN}, {-3e9, INT32_MIN}};
    for (auto [v, r] : trunc)
        EXPECT_EQ(qv5k_trunc_i32(v), r) << v;
    const std::pair<double, std::uint16_t> low16[] = {
        {65535.9, 65535},  {65537.5, 1}, {-1.5, 0xFFFF}, {0x1.0p60 + 0x1.0p20, 0},
        {0x1.0p40 + 7, 7}, {kNan, 0},    {-kInf, 0},     {kInf, 0}};
    for (auto [v, r] : low16)
        EXPECT_EQ(qv5k_low16(v), r) << v;
    const std::pair<double, std::uint16_t> peak[] = {
        {0.5, 0x8000}, {1.0, 0xFFF9},  {0.9999, 0xFFF9}, {-1.0, 0}, {-0.9999, 0},
        {0.0001, 6},   {-0.5, 0x8000}, {-0.00001, 0},    {kNan, 0}, {0.99989, 65528}};
    for (auto [v, r] : peak)
        EXPECT_EQ(qv5k_peak_code(v), r) << v;
    const std::pair<double, std::uint16_t> freq[] = {{12.34, 123}, {6553.5, 65535}, {6553.625, 0},
                                                     {6553.75, 1}, {-0.25, 0xFFFE}, {kNan, 0}};
    for (auto [v, r] : freq)
        EXPECT_EQ(qv5k_freq_code(v), r) << v;
}

} // namespace
