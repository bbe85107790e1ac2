// Field codecs of the recorder-binary files: little-endian integers of 2, 3,
// 4 and 6 bytes, space-padded text arrays, BCD time and date triples, and
// the codes of the bqv peaks and frequencies.
#include "qv5k_internal.h"

#include <cstdint>
#include <cstring>
#include <ctime>

std::uint16_t qv5k_get_uint16(const std::uint8_t *p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void qv5k_set_uint16(std::uint8_t *p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::uint32_t qv5k_get_uint24(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16);
}

std::int32_t qv5k_get_int24(const std::uint8_t *p) {
    std::uint32_t u = qv5k_get_uint24(p);
    if (u & 0x800000u) u |= 0xFF000000u;
    return static_cast<std::int32_t>(u); // modular since C++20
}

void qv5k_set_uint24(std::uint8_t *p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
}

void qv5k_set_int24(std::uint8_t *p, std::int32_t v) {
    qv5k_set_uint24(p, static_cast<std::uint32_t>(v));
}

std::uint32_t qv5k_get_uint32(const std::uint8_t *p) {
    return qv5k_get_uint24(p) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void qv5k_set_uint32(std::uint8_t *p, std::uint32_t v) {
    qv5k_set_uint24(p, v);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint64_t qv5k_get_uint48(const std::uint8_t *p) {
    return static_cast<std::uint64_t>(qv5k_get_uint32(p)) |
           (static_cast<std::uint64_t>(qv5k_get_uint16(p + 4)) << 32);
}

void qv5k_set_uint48(std::uint8_t *p, std::uint64_t v) {
    qv5k_set_uint32(p, static_cast<std::uint32_t>(v));
    qv5k_set_uint16(p + 4, static_cast<std::uint16_t>(v >> 32));
}

void qv5k_str_to_array(std::uint8_t *array, std::size_t array_size, const char *text,
                       std::size_t text_length, int left_align) {
    std::size_t n = text_length < array_size ? text_length : array_size;
    std::size_t pad = array_size - n;
    std::uint8_t *dst = array;
    if (!left_align) {
        std::memset(dst, ' ', pad);
        dst += pad;
    }
    if (n) std::memcpy(dst, text, n);
    if (left_align) std::memset(dst + n, ' ', pad);
}

void qv5k_array_to_str(char *text, std::size_t text_size, const std::uint8_t *array,
                       std::size_t array_size) {
    if (text_size == 0) return;
    std::size_t begin = 0;
    std::size_t end = array_size; // one past the last byte kept
    while (begin < end && array[begin] == ' ')
        ++begin;
    while (end > begin && array[end - 1] == ' ')
        --end;
    std::size_t n = end - begin;
    if (n > text_size - 1) n = text_size - 1;
    if (n) std::memcpy(text, array + begin, n);
    text[n] = '\0';
}

namespace {

int bcd_decode(std::uint8_t b) {
    return (b >> 4) * 10 + (b & 0x0F);
}

// v modulo 256, then tens in the high nibble and units in the low one; only
// 0 to 99 round-trip.
std::uint8_t bcd_encode(unsigned v) {
    unsigned byte = v & 0xFFu;
    return static_cast<std::uint8_t>(((byte / 10) * 16 + byte % 10) & 0xFFu);
}

void store_tm(std::uint8_t *time, std::uint8_t *date, const std::tm &tm) {
    // Unsigned arithmetic: any tm_year the C library hands back reduces
    // modulo 256 without overflow.
    time[0] = bcd_encode(static_cast<unsigned>(tm.tm_sec));
    time[1] = bcd_encode(static_cast<unsigned>(tm.tm_min));
    time[2] = bcd_encode(static_cast<unsigned>(tm.tm_hour));
    date[0] = bcd_encode(static_cast<unsigned>(tm.tm_mday));
    date[1] = bcd_encode(static_cast<unsigned>(tm.tm_mon) + 1u);
    date[2] = bcd_encode(static_cast<unsigned>(tm.tm_year) - 100u);
}

} // namespace

std::time_t qv5k_get_time(const std::uint8_t *time, const std::uint8_t *date) {
    std::tm tm{};
    tm.tm_sec = bcd_decode(time[0]);
    tm.tm_min = bcd_decode(time[1]);
    tm.tm_hour = bcd_decode(time[2]);
    tm.tm_mday = bcd_decode(date[0]);
    tm.tm_mon = bcd_decode(date[1]) - 1;
    tm.tm_year = bcd_decode(date[2]) + 100;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

void qv5k_set_time_local(std::uint8_t *time, std::uint8_t *date, const std::time_t *t) {
    // The reentrant form: it uses the zone that the process has set up
    // (tzset) without looking the zone file up again on every block.
    std::tm tm;
    if (localtime_r(t, &tm)) store_tm(time, date, tm);
}

void qv5k_set_time_custom(std::uint8_t *time, std::uint8_t *date, const std::time_t *t,
                          std::int32_t offset) {
    // A sum beyond the range of time_t has no breakdown.
    std::time_t tt;
    if (__builtin_add_overflow(*t, offset, &tt)) return;
    std::tm tm;
    if (gmtime_r(&tt, &tm)) store_tm(time, date, tm);
}

namespace {

std::uint16_t low16(double v) {
    return static_cast<std::uint16_t>(qv5k_trunc_bits(v) & 0xFFFFu);
}

} // namespace

// The limit's own code: the largest peak code there is.
static_assert(static_cast<int>(QV5K_FS_LIMIT * 65536.0) == 0xFFF9);

std::uint16_t qv5k_peak_code(double v) {
    if (v >= QV5K_FS_LIMIT) return 0xFFF9;
    if (v <= -QV5K_FS_LIMIT) return 0;
    return low16(v * 65536.0);
}

std::uint16_t qv5k_freq_code(double f) {
    return low16(f * 10.0);
}
