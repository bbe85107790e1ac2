// What both directions of the recorder-binary header conversion share: the
// record's codes with their canonical counterparts, one table per coded
// field read both ways, and the number and text helpers. Only conv-qv5k's
// own sources include it.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "qv5k.h"
#include "qvraw.h"

namespace conv_qv5k {

// Record codes.
inline constexpr std::uint8_t kTrigOff = 7;          // byte 140: trigger off
inline constexpr std::uint8_t kCauseByteManual = 64; // byte 142
inline constexpr std::uint8_t kCauseByteTimed = 128;
inline constexpr std::uint8_t kCauseChanMask = 0x07;

// --- Code tables, each read both ways ----------------------------------------

// The first row of `table` that `match` accepts, or null.
template <typename Row, std::size_t N, typename Match>
constexpr const Row *find_row(const Row (&table)[N], Match match) {
    for (const Row &r : table)
        if (match(r)) return &r;
    return nullptr;
}

// Filters: canonical code and byte 62 (any other: flat, byte 0).
struct filter_code {
    std::uint32_t canon;
    std::uint8_t byte;
};
inline constexpr filter_code kFilters[] = {
    {QVRAW_FILTER_FIR_50, 0x11},    {QVRAW_FILTER_FIR_1_50, 0x22}, {QVRAW_FILTER_FIR_1_100, 0x44},
    {QVRAW_FILTER_FIR_1_156, 0x55}, {QVRAW_FILTER_IIR_1_80, 0x66}, {QVRAW_FILTER_IIR_1_315, 0x99},
};

// Units: canonical code and the text of the unit fields.
struct unit_text {
    std::uint32_t canon;
    std::string_view text;
};
inline constexpr unit_text kUnits[] = {
    {QVRAW_UNIT_MM_S, "mm/s"},
    {QVRAW_UNIT_MG, "mg"},
    {QVRAW_UNIT_MV, "mV"},
};

// Sensor types: canonical code and byte 175.
struct sensor_code {
    std::uint32_t canon;
    std::uint8_t byte;
};
inline constexpr sensor_code kSensors[] = {
    {QVRAW_SENSOR_VELOCITY, 'V'},
    {QVRAW_SENSOR_ACCELERATION, 'A'},
};

// Trigger signals: the canonical trigger mode and byte 141.
struct trig_signal_code {
    std::uint32_t canon;
    std::uint8_t byte;
};
inline constexpr trig_signal_code kTrigSignals[] = {
    {QVRAW_SIGNAL_LEVEL, 0},
    {QVRAW_SIGNAL_STA_LTA, 1},
};

// Trigger channel combinations: the canonical channels and logic, and byte
// 140. A single axis has no logic: any logic writes it, none is read back.
struct trig_chans_code {
    std::uint32_t chans;
    std::uint32_t logic; // QVRAW_LOGIC_UNKNOWN: a single axis
    std::uint8_t byte;
};
// clang-format off
inline constexpr trig_chans_code kTrigChans[] = {
    {QVRAW_CHAN_X,                QVRAW_LOGIC_UNKNOWN, 0},
    {QVRAW_CHAN_Y,                QVRAW_LOGIC_UNKNOWN, 1},
    {QVRAW_CHAN_Z,                QVRAW_LOGIC_UNKNOWN, 2},
    {QVRAW_CHAN_X | QVRAW_CHAN_Y, QVRAW_LOGIC_OR,      3},
    {QVRAW_CHAN_XYZ,              QVRAW_LOGIC_OR,      4},
    {QVRAW_CHAN_XYZ,              QVRAW_LOGIC_AND,     5},
};
// clang-format on

// --- Numbers -----------------------------------------------------------------
// Every double that becomes an integer goes through the library's checked
// conversion (qv5k_trunc_bits): the C++ cast is undefined for NaN,
// infinities and values out of range.

// The low 32 bits of round(v) (halves away from zero); NaN and infinities 0.
inline std::uint32_t round_bits(double v) {
    return qv5k_trunc_bits(std::round(v));
}

inline std::uint8_t low8(std::uint32_t v) {
    return static_cast<std::uint8_t>(v & 0xFFu);
}
inline std::uint16_t low16(std::uint32_t v) {
    return static_cast<std::uint16_t>(v & 0xFFFFu);
}

// Held just inside full scale, which the signed count fields cannot hold.
inline double clamp_fs(double v) {
    if (v >= QV5K_FS_LIMIT) return QV5K_FS_LIMIT;
    if (v <= -QV5K_FS_LIMIT) return -QV5K_FS_LIMIT;
    return v; // NaN passes through and is stored as 0
}

// Full scale in counts: 2^(resolution - 1).
inline double full_scale(unsigned resolution) {
    return std::ldexp(1.0, static_cast<int>(resolution) - 1);
}

// --- Texts and results -------------------------------------------------------

// Copies at most size - 1 bytes of `text` into a canonical text field and
// terminates it.
template <std::size_t N>
inline void field_copy(char (&field)[N], const char *text) {
    std::size_t n = strnlen(text, N - 1);
    std::memcpy(field, text, n);
    field[n] = '\0';
}

// Stores `code` in *err (when there is a record) and returns -1.
inline int fail(std::uint32_t *err, std::uint32_t code) {
    if (err) *err = code;
    return -1;
}

} // namespace conv_qv5k
