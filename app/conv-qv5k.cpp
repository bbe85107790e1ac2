// Canonical header to and from the recorder-binary header record.
//
// Amplitudes (peaks, offsets, KBFTm) travel in the record as counts of full
// scale, FS = 2^(resolution - 1); thresholds as counts of the value of one
// count (LSB), which the record keeps as a decimal mantissa and exponent.
// The record's time is the recorder's local wall clock with a sub-second
// part counted in samples.
#include "conv-qv5k.h"

#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Resolutions of the two variants written by this module.
constexpr unsigned kXqvResolution = 24;
constexpr unsigned kBqvResolution = 20;
// Values at or beyond this fraction of full scale are held just inside it:
// full scale itself does not fit the signed count fields.
constexpr double kClamp = 0.9999;

// Canonical codes used here (the header vocabulary).
constexpr std::uint32_t kEvent = 1;
constexpr std::uint32_t kBackground = 2;
constexpr std::uint32_t kOriginLocal = 1;
constexpr std::uint32_t kCauseContinuous = 1;
constexpr std::uint32_t kCauseManual = 2;
constexpr std::uint32_t kCauseTimed = 3;
constexpr std::uint32_t kCauseTrigger = 4;
constexpr std::uint32_t kCauseTestPulse = 5;
constexpr std::uint32_t kModelQv7300 = 1;
constexpr std::uint32_t kTimeLocal = 2;
constexpr std::uint32_t kSensorVelocity = 1;
constexpr std::uint32_t kSensorAcceleration = 2;
constexpr std::uint32_t kFilterFlat = 1;
constexpr std::uint32_t kLogicOr = 1;
constexpr std::uint32_t kLogicAnd = 2;
constexpr std::uint32_t kSigRaw = 1;
constexpr std::uint32_t kSigFilter = 3;
constexpr std::uint32_t kSigStaLta = 4;
constexpr std::uint32_t kSigVmPeak = 5;
constexpr std::uint32_t kSigVmVsum = 6;
constexpr std::uint32_t kSigVmFreq = 7;
constexpr std::uint32_t kSigDinKbfti = 8;
constexpr std::uint32_t kSigSbrAVtop = 9;
constexpr std::uint32_t kSigSbrAFreq = 11;
constexpr std::uint32_t kSigSbrBVeff = 12;
constexpr std::uint32_t kSigLevel = 13;

// Record codes.
constexpr std::uint8_t kTrigOff = 7;          // byte 140: trigger off
constexpr std::uint8_t kCauseByteManual = 64; // byte 142
constexpr std::uint8_t kCauseByteTimed = 128;
constexpr std::uint8_t kCauseChanMask = 0x07;
constexpr std::uint16_t kFixed216 = 10000;

// Filter codes: canonical code and record byte.
constexpr std::array<std::array<std::uint8_t, 2>, 6> kFilters = {{
    {2, 0x11},
    {3, 0x22},
    {4, 0x44},
    {5, 0x55},
    {7, 0x66},
    {8, 0x99},
}};

// Background modes: canonical code and record byte (mode 1 depends on the
// signal count and is handled apart).
constexpr std::array<std::array<std::uint8_t, 2>, 7> kBackModes = {{
    {2, 10},
    {3, 2},
    {4, 11},
    {5, 12},
    {6, 13},
    {7, 14},
    {8, 9},
}};

// Units: canonical code and text.
constexpr std::array<std::string_view, 4> kUnits = {"", "mm/s", "mg", "mV"};
constexpr std::array<std::string_view, 3> kAxes = {"X/L", "Y/T", "Z/V"};
constexpr std::string_view kIdent = "XQV5416";

// --- Checked conversions ---------------------------------------------------
// Every double that becomes an integer goes through these: the C++ cast is
// undefined for NaN, infinities and values out of range.

constexpr double kTwo32 = 4294967296.0;

// The low 32 bits (two's complement) of trunc(v), exact for every finite
// value; NaN and infinities give 0.
std::uint32_t trunc_bits(double v) {
    if (!std::isfinite(v)) return 0;
    double m = std::fmod(std::trunc(v), kTwo32); // exact, in (-2^32, 2^32)
    if (m < 0) m += kTwo32;
    return static_cast<std::uint32_t>(m);
}

// The low 32 bits of round(v) (halves away from zero); NaN and infinities 0.
std::uint32_t round_bits(double v) {
    return trunc_bits(std::round(v));
}

std::uint8_t low8(std::uint32_t v) {
    return static_cast<std::uint8_t>(v & 0xFFu);
}
std::uint16_t low16(std::uint32_t v) {
    return static_cast<std::uint16_t>(v & 0xFFFFu);
}

// trunc(v) as a 64-bit integer, saturated at the type's limits; NaN gives 0.
std::int64_t trunc_i64(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9223372036854775807.0) return INT64_MAX;
    if (v <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<std::int64_t>(v);
}

// A count of seconds as the platform's long (32-bit in the 32-bit build),
// saturated.
long to_long(std::int64_t v) {
    if (v > LONG_MAX) return LONG_MAX;
    if (v < LONG_MIN) return LONG_MIN;
    return static_cast<long>(v);
}

double clamp_fs(double v) {
    if (v >= kClamp) return kClamp;
    if (v <= -kClamp) return -kClamp;
    return v; // NaN passes through and is stored as 0
}

// Length of the text in a fixed canonical text field: the field holds a
// NUL-terminated string of at most size - 1 characters, but a header read
// from a file may lack the NUL.
template <std::size_t N>
std::size_t field_len(const char (&field)[N]) {
    return strnlen(field, N - 1);
}

// Copies at most size - 1 bytes of `text` into a canonical text field and
// terminates it.
template <std::size_t N>
void field_copy(char (&field)[N], const char *text) {
    std::size_t n = strnlen(text, N - 1);
    std::memcpy(field, text, n);
    field[n] = '\0';
}

// atoi over the decimal digits at `p` (after blanks and a sign), kept
// modulo 256. The text is at most 16 characters, so the 64-bit sum cannot
// overflow.
std::uint8_t parse_byte(const char *p) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool neg = false;
    if (*p == '+' || *p == '-') neg = *p++ == '-';
    std::uint64_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        v = v * 10 + static_cast<std::uint64_t>(*p - '0');
    if (neg) v = ~v + 1; // two's complement, so -1 gives 255
    return static_cast<std::uint8_t>(v & 0xFFu);
}

// --- Canonical header to record ---------------------------------------------

std::uint32_t qvraw_header_to_qv5k(qv5k_header *h, const qvraw_header *c, unsigned resolution) {
    *h = qv5k_header{};
    qv5k_set_uint32(h->nsamples, c->nsamples);
    h->dir_count = low8(c->dir_count);

    const double fs = std::ldexp(1.0, static_cast<int>(resolution) - 1);
    for (int i = 0; i < 3; ++i) {
        qv5k_set_uint24(h->peak[i], trunc_bits(clamp_fs(c->peak[i]) * fs));
        qv5k_set_int24(h->offset[i],
                       static_cast<std::int32_t>(trunc_bits(clamp_fs(c->offset[i]) * fs)));
    }

    // The record keeps one moment: the trigger of a triggered record, else
    // its start.
    const qvraw_timestamp &moment = c->trigger_time.sec != 0 ? c->trigger_time : c->start_time;
    qv5k_set_uint16(h->subsec, low16(trunc_bits(moment.nsec / 1e9 * c->rate)));
    const std::time_t t = static_cast<std::time_t>(moment.sec);
    if (c->time_mode == kTimeLocal)
        qv5k_set_time_local(h->time, h->date, &t);
    else
        qv5k_set_time_custom(h->time, h->date, &t, c->utc_offset);

    char fw[sizeof c->firmware];
    field_copy(fw, c->firmware);
    std::uint8_t ver[4];
    version_str_to_numbers(fw, ver);
    if ((ver[0] | ver[1] | ver[2] | ver[3]) == 0) version_str_to_numbers("1.0.0", ver);
    h->fw_major = ver[0];
    h->fw_minor = ver[1];
    h->fw_patch = ver[2];
    h->fw_suffix = ver[3];

    h->three56 = 3;
    const std::uint16_t rate = low16(c->rate);
    qv5k_set_uint16(h->rate, rate);
    if (rate == 0) return CONV_QV5K_ERR_RATE;

    h->filter = 0x00;
    for (const auto &f : kFilters)
        if (c->filter == f[0]) h->filter = f[1];
    h->resolution = static_cast<std::uint8_t>(resolution);

    const double lsb = c->sensor_range / std::ldexp(1.0, static_cast<int>(resolution));

    qv5k_str_to_array(h->ident, sizeof h->ident, kIdent.data(), kIdent.size(), 1);

    // "name-uid", cut to the 30 bytes of the field.
    char ident[31];
    std::size_t n = 0;
    const std::size_t name_len = field_len(c->name);
    std::memcpy(ident, c->name, name_len);
    n += name_len;
    ident[n++] = '-';
    const std::size_t uid_len = field_len(c->uid);
    std::memcpy(ident + n, c->uid, uid_len);
    n += uid_len;
    if (n > sizeof h->name) n = sizeof h->name;
    qv5k_str_to_array(h->name, sizeof h->name, ident, n, 1);

    // The value of one count in decimal form: at least four significant
    // digits in the mantissa. A range of 0 gives a count value of 0, which
    // no power of ten brings to 1000: it is stored as 0 x 10^0.
    std::uint16_t mantissa = 0;
    int exponent = 0;
    if (lsb > 0) {
        double v = lsb;
        while (v < 1000 && exponent > INT8_MIN) {
            v *= 10;
            --exponent;
        }
        mantissa = low16(trunc_bits(v));
    }
    for (auto &slot : h->lsb) {
        qv5k_set_uint16(slot, mantissa);
        slot[2] = static_cast<std::uint8_t>(static_cast<std::int8_t>(exponent));
    }

    if (c->sensor_unit == 0 || c->sensor_unit >= kUnits.size()) return CONV_QV5K_ERR_SENSOR_UNIT;
    const std::string_view unit = kUnits[c->sensor_unit];
    for (auto &field : h->unit)
        qv5k_str_to_array(field, sizeof field, unit.data(), unit.size(), 0);
    for (int i = 0; i < 3; ++i)
        qv5k_str_to_array(h->axis[i], sizeof h->axis[i], kAxes[i].data(), kAxes[i].size(), 1);

    if (c->sensor_type == kSensorVelocity)
        h->sensor_type = 'V';
    else if (c->sensor_type == kSensorAcceleration)
        h->sensor_type = 'A';
    else
        return CONV_QV5K_ERR_SENSOR_TYPE;

    // An event record that never triggered has no pre- and post-event time.
    if (c->file_type == kEvent && c->trigger_time.sec == 0) {
        h->pre_event = 0;
        h->post_event = 0;
    } else {
        h->pre_event = low8(c->pre_event);
        h->post_event = low8(c->post_event);
    }

    if (c->trig_enabled != 0) {
        for (int i = 0; i < 3; ++i) {
            // A count value of 0 (range 0) gives thresholds of 0 counts.
            const std::uint32_t counts = lsb > 0 ? trunc_bits(c->trig_threshold[i] / lsb) : 0;
            qv5k_set_uint24(h->threshold[i], counts);
        }
        for (int i = 0; i < 3; ++i) {
            const double a = c->trig_aux_a[i];
            const double b = c->trig_aux_b[i];
            if (b == 0) continue;
            h->trig_param[i][0] = low8(trunc_bits(b));
            h->trig_param[i][1] = low8(trunc_bits(a * 10));
            h->trig_param[i][2] = low8(trunc_bits(10 * a / b));
        }

        const std::uint32_t chans = c->trig_chans;
        const std::uint32_t logic = c->trig_logic;
        if (chans == 1)
            h->trig_chans = 0;
        else if (chans == 2)
            h->trig_chans = 1;
        else if (chans == 4)
            h->trig_chans = 2;
        else if (chans == 3 && logic == kLogicOr)
            h->trig_chans = 3;
        else if (chans == 7 && logic == kLogicOr)
            h->trig_chans = 4;
        else if (chans == 7 && logic == kLogicAnd)
            h->trig_chans = 5;
        else
            return CONV_QV5K_ERR_TRIG_COMB;

        if (c->trig_mode == kSigStaLta)
            h->trig_signal = 1;
        else if (c->trig_mode == kSigLevel)
            h->trig_signal = 0;
        else
            return CONV_QV5K_ERR_TRIG_SIGNAL;
    } else {
        h->trig_chans = kTrigOff;
        h->trig_signal = 0;
    }

    h->back_mode = 0;
    if (c->back_enabled != 0) {
        if (c->back_mode == 1) {
            h->back_mode = c->nsignals == 1 ? 4 : 8;
        } else {
            for (const auto &m : kBackModes)
                if (c->back_mode == m[0]) h->back_mode = m[1];
            if (h->back_mode == 0) return CONV_QV5K_ERR_BACK_MODE;
        }
    }

    for (auto &v : h->fixed216)
        qv5k_set_uint16(v, kFixed216);
    h->back_period = low8(c->back_period);

    qv5k_set_uint16(h->voltage, low16(round_bits(c->voltage * 1000)));

    if (c->file_type == kBackground)
        for (int i = 0; i < 3; ++i)
            qv5k_set_uint24(h->kbftm_freq[i], trunc_bits(clamp_fs(c->kbftm[i]) * fs));
    return CONV_QV5K_ERR_NONE;
}

int fail(std::uint32_t *err, std::uint32_t code) {
    if (err) *err = code;
    return -1;
}

// --- Record to canonical header ---------------------------------------------

std::uint32_t qvraw_header_from_qv5k(qvraw_header *c, const qv5k_header *h) {
    std::memset(static_cast<void *>(c), 0, sizeof *c);

    // Full scale must be a power of two that a count field can express; a
    // resolution byte of 0 or above 31 would turn every amplitude into
    // nonsense.
    const unsigned resolution = h->resolution;
    if (resolution == 0 || resolution > 31) return CONV_QV5K_ERR_RESOLUTION;
    const double fs = std::ldexp(1.0, static_cast<int>(resolution) - 1);

    c->nsamples = qv5k_get_uint32(h->nsamples);
    c->dir_count = h->dir_count;
    for (int i = 0; i < 3; ++i) {
        c->peak[i] = qv5k_get_uint24(h->peak[i]) / fs;
        c->offset[i] = qv5k_get_int24(h->offset[i]) / fs;
    }
    c->time_mode = kTimeLocal;

    // Sub-second count in samples; a count of a whole second or more is
    // carried into the seconds, and a rate of 0 gives no sub-second part.
    const std::uint16_t rate = qv5k_get_uint16(h->rate);
    const std::uint16_t subsec = qv5k_get_uint16(h->subsec);
    std::int64_t sec = qv5k_get_time(h->time, h->date);
    std::int32_t nsec = 0;
    if (rate != 0) {
        sec += subsec / rate;
        nsec =
            static_cast<std::int32_t>(trunc_bits(static_cast<double>(subsec % rate) / rate * 1e9));
    }
    if (h->rec_mode != 0 || (h->rec_cause & kCauseChanMask) == 0) {
        c->start_time.sec = to_long(sec);
        c->start_time.nsec = nsec;
    } else {
        c->trigger_time.sec = to_long(sec);
        c->trigger_time.nsec = nsec;
        c->start_time.sec = to_long(sec - h->pre_event);
        c->start_time.nsec = nsec;
    }

    char suffix[16] = "";
    if (h->fw_suffix == 255)
        std::snprintf(suffix, sizeof suffix, "-dev");
    else if (h->fw_suffix != 0)
        std::snprintf(suffix, sizeof suffix, "-rc%u", static_cast<unsigned>(h->fw_suffix));
    char fw[32];
    std::snprintf(fw, sizeof fw, "%u.%u.%u%s", static_cast<unsigned>(h->fw_major),
                  static_cast<unsigned>(h->fw_minor), static_cast<unsigned>(h->fw_patch), suffix);
    field_copy(c->firmware, fw);

    c->rate = rate;
    c->filter = kFilterFlat;
    for (const auto &f : kFilters)
        if (h->filter == f[1]) c->filter = f[0];
    c->model = kModelQv7300;

    // "name-uid": the UID follows the last dash, the name may hold dashes.
    char ident[31];
    qv5k_array_to_str(ident, sizeof ident, h->name, sizeof h->name);
    if (char *dash = std::strrchr(ident, '-')) {
        *dash = '\0';
        field_copy(c->uid, dash + 1);
    }
    field_copy(c->name, ident);

    char unit[17];
    qv5k_array_to_str(unit, sizeof unit, h->unit[0], sizeof h->unit[0]);
    for (std::uint32_t code = 1; code < kUnits.size(); ++code)
        if (kUnits[code] == unit) c->sensor_unit = code;
    if (c->sensor_unit == 0) return CONV_QV5K_ERR_SENSOR_UNIT;

    if (h->sensor_type == 'A')
        c->sensor_type = kSensorAcceleration;
    else if (h->sensor_type == 'V')
        c->sensor_type = kSensorVelocity;
    else
        return CONV_QV5K_ERR_SENSOR_TYPE;

    // Value of one count: mantissa x 10^exponent, a non-negative exponent
    // leaving the mantissa as it is.
    double lsb = qv5k_get_uint16(h->lsb[0]);
    for (int e = static_cast<std::int8_t>(h->lsb[0][2]); e < 0; ++e)
        lsb /= 10;
    c->sensor_range = round_bits(std::ldexp(1.0, static_cast<int>(resolution)) * lsb);
    c->sensor_scale = c->sensor_range / 2;

    c->pre_event = h->pre_event;
    c->post_event = h->post_event;

    for (int i = 0; i < 3; ++i) {
        const double v = std::round(qv5k_get_uint24(h->threshold[i]) * lsb * 100);
        c->trig_threshold[i] = static_cast<double>(trunc_i64(v)) / 100;
        c->trig_aux_b[i] = h->trig_param[i][0];
        c->trig_aux_a[i] = h->trig_param[i][1] / 10; // whole units only
    }

    switch (h->trig_chans) {
    case 0: c->trig_chans = 1; break;
    case 1: c->trig_chans = 2; break;
    case 2: c->trig_chans = 4; break;
    case 3:
        c->trig_chans = 3;
        c->trig_logic = kLogicOr;
        break;
    case 4:
        c->trig_chans = 7;
        c->trig_logic = kLogicOr;
        break;
    case 5:
        c->trig_chans = 7;
        c->trig_logic = kLogicAnd;
        break;
    default: break;
    }
    c->trig_enabled = h->trig_chans != kTrigOff ? 1 : 0;

    if (h->trig_signal == 0)
        c->trig_mode = kSigLevel;
    else if (h->trig_signal == 1)
        c->trig_mode = kSigStaLta;
    else
        return CONV_QV5K_ERR_TRIG_SIGNAL;

    if (h->back_mode != 0) {
        c->back_enabled = 1;
        if (h->back_mode == 4 || h->back_mode == 8) {
            c->back_mode = 1;
        } else {
            for (const auto &m : kBackModes)
                if (h->back_mode == m[1]) c->back_mode = m[0];
            if (c->back_mode == 0) return CONV_QV5K_ERR_BACK_MODE;
        }
    }
    c->back_period = h->back_period;
    c->voltage = qv5k_get_uint16(h->voltage) / 1000.0;

    if (h->rec_mode != 0)
        for (int i = 0; i < 3; ++i)
            c->kbftm[i] = qv5k_get_uint24(h->kbftm_freq[i]) / fs;
    return CONV_QV5K_ERR_NONE;
}

} // namespace

void version_str_to_numbers(const char *text, std::uint8_t bytes[4]) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = 0;
    char work[17];
    std::size_t len = strnlen(text, 16);
    std::memcpy(work, text, len);
    work[len] = '\0';

    char *piece = work;
    for (int index = 0; index <= 3;) {
        char *dot = std::strchr(piece, '.');
        if (dot) *dot = '\0';
        if (char *dash = std::strchr(piece, '-')) {
            *dash = '\0';
            bytes[index] = parse_byte(piece);
            const char *rest = dash + 1;
            bytes[3] = rest[0] == 'r' && rest[1] == 'c' ? parse_byte(rest + 2) : 255;
            return;
        }
        bytes[index++] = parse_byte(piece);
        if (!dot) return;
        piece = dot + 1;
    }
}

int conv_qv5k_to_xqv_header(std::uint32_t *err, qv5k_header *header, const qvraw_header *canon) {
    if (canon->model != kModelQv7300) return fail(err, CONV_QV5K_ERR_MODEL);
    if (std::uint32_t code = qvraw_header_to_qv5k(header, canon, kXqvResolution))
        return fail(err, code);
    if (canon->nsignals != 1) return fail(err, CONV_QV5K_ERR_NSIGNALS);
    if (canon->signals[0] != kSigRaw && canon->signals[0] != kSigFilter)
        return fail(err, CONV_QV5K_ERR_SIGNAL);

    header->rec_mode = QV5K_RECMODE_EVENT;
    header->xqv_flag = 1;
    if (canon->rec_cause == kCauseTimed)
        header->rec_cause = kCauseByteTimed;
    else if (canon->rec_cause == kCauseTrigger)
        header->rec_cause = low8(canon->triggered_chans & kCauseChanMask);
    else
        header->rec_cause = kCauseByteManual;
    header->test_pulse = canon->rec_cause == kCauseTestPulse ? 1 : 0;
    header->xqv_code = low8(canon->xqv_code);
    // Dominant frequencies in tenths of a hertz: two bytes of each
    // three-byte slot, the third stays 0.
    for (int i = 0; i < 3; ++i)
        qv5k_set_uint24(header->kbftm_freq[i], low16(round_bits(canon->dom_freq[i] * 10)));
    return 0;
}

int conv_qv5k_to_bqv_header(std::uint32_t *err, qv5k_header *header, const qvraw_header *canon) {
    if (std::uint32_t code = qvraw_header_to_qv5k(header, canon, kBqvResolution))
        return fail(err, code);
    const std::uint32_t *s = canon->signals;
    if (canon->nsignals == 1) {
        if (s[0] != kSigVmPeak && s[0] != kSigDinKbfti && s[0] != kSigSbrBVeff)
            return fail(err, CONV_QV5K_ERR_SIGNAL);
        header->rec_mode = QV5K_RECMODE_BACK3;
    } else if (canon->nsignals == 2) {
        if (s[0] == kSigVmPeak && s[1] == kSigVmVsum)
            header->rec_mode = QV5K_RECMODE_BACK4;
        else if ((s[0] == kSigVmPeak && s[1] == kSigVmFreq) ||
                 (s[0] == kSigSbrAVtop && s[1] == kSigSbrAFreq))
            header->rec_mode = QV5K_RECMODE_BACK6;
        else
            return fail(err, CONV_QV5K_ERR_SIGNAL);
    } else {
        return fail(err, CONV_QV5K_ERR_NSIGNALS);
    }
    return 0;
}

int conv_qv5k_from_xqv_header(std::uint32_t *err, qvraw_header *canon, const qv5k_header *header) {
    if (std::uint32_t code = qvraw_header_from_qv5k(canon, header)) return fail(err, code);
    canon->nsignals = 1;
    canon->signals[0] = header->sensor_type == 'A' ? kSigRaw : kSigFilter;
    canon->file_type = kEvent;
    canon->rec_origin = kOriginLocal;

    const std::uint8_t cause = header->rec_cause;
    canon->triggered_chans = cause & kCauseChanMask;
    if (canon->triggered_chans != 0)
        canon->rec_cause = kCauseTrigger;
    else if (cause == kCauseByteManual)
        canon->rec_cause = kCauseManual;
    else if (cause == kCauseByteTimed)
        canon->rec_cause = kCauseTimed;
    if (header->test_pulse == 1) canon->rec_cause = kCauseTestPulse;

    canon->xqv_code = header->xqv_code;
    for (int i = 0; i < 3; ++i)
        canon->dom_freq[i] = qv5k_get_uint16(header->kbftm_freq[i]) / 10.0;
    return 0;
}

int conv_qv5k_from_bqv_header(std::uint32_t *err, qvraw_header *canon, const qv5k_header *header) {
    if (std::uint32_t code = qvraw_header_from_qv5k(canon, header)) return fail(err, code);
    switch (header->back_mode) {
    case 2:
        canon->nsignals = 1;
        canon->signals[0] = kSigDinKbfti;
        break;
    case 4:
        canon->nsignals = 1;
        canon->signals[0] = kSigVmPeak;
        break;
    case 8:
        canon->nsignals = 2;
        canon->signals[0] = kSigVmPeak;
        canon->signals[1] = kSigVmVsum;
        break;
    case 9:
        canon->nsignals = 1;
        canon->signals[0] = kSigSbrBVeff;
        break;
    case 10:
        canon->nsignals = 2;
        canon->signals[0] = kSigVmPeak;
        canon->signals[1] = kSigVmFreq;
        break;
    case 11:
    case 12:
    case 13:
    case 14:
        canon->nsignals = 2;
        canon->signals[0] = kSigSbrAVtop;
        canon->signals[1] = kSigSbrAFreq;
        break;
    default: return fail(err, CONV_QV5K_ERR_REC_MODE);
    }
    canon->file_type = kBackground;
    canon->rec_origin = kOriginLocal;
    canon->rec_cause = kCauseContinuous;
    return 0;
}

const char *conv_qv5k_strerror(std::uint32_t *err) {
    static constexpr std::array<const char *, 11> kTexts = {
        "None",
        "Invalid QV model",
        "Invalid sensor type",
        "Invalid sensor unit",
        "Invalid sampling rate",
        "Invalid trigger combination",
        "Invalid trigger signal",
        "Invalid recording mode",
        "Invalid background mode",
        "Invalid signal",
        "Too many signals",
    };
    if (!err) return kTexts[0];
    const std::uint32_t code = *err;
    *err = CONV_QV5K_ERR_NONE;
    if (code < kTexts.size()) return kTexts[code];
    if (code == CONV_QV5K_ERR_RESOLUTION) return "Invalid resolution";
    return "Unknown error";
}
