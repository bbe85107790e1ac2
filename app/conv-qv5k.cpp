// Canonical header to the recorder-binary header record, and the
// conversion's error texts.
//
// Amplitudes (peaks, offsets, KBFTm) travel in the record as counts of full
// scale, FS = 2^(resolution - 1); thresholds as counts of the value of one
// count (LSB), which the record keeps as a decimal mantissa and exponent.
// The record's time is the recorder's local wall clock with a sub-second
// part counted in samples.
//
// The conversion is one helper per section of the header, called in the
// order of the record's checks: the first code a section returns decides.
#include "conv-qv5k.h"

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string_view>

#include "conv-qv5k-codes.h"

using namespace conv_qv5k;

namespace {

// Resolutions of the two variants written by this module.
constexpr unsigned kXqvResolution = 24;
constexpr unsigned kBqvResolution = 20;

// Fixed record contents.
constexpr std::uint16_t kFixed216 = 10000;
constexpr std::string_view kIdent = "XQV5416";
constexpr std::array<std::string_view, 3> kAxes = {"X/L", "Y/T", "Z/V"};

// The background-mode row for a canonical background mode. "Peak + VSUM"
// has two: peaks alone for a record of one signal, peaks and their vector
// sum for any other count.
const qv5k_back_mode *back_mode_for(std::uint32_t canon_mode, std::size_t nsignals) {
    const std::size_t want = nsignals == 1 ? 1 : 2;
    const qv5k_back_mode *row = nullptr;
    for (const qv5k_back_mode &m : QV5K_BACK_MODES)
        if (m.canon_mode == canon_mode && (!row || m.nsignals == want)) row = &m;
    return row;
}

// Length of the text in a fixed canonical text field: the field holds a
// NUL-terminated string of at most size - 1 characters, but a header read
// from a file may lack the NUL.
template <std::size_t N>
std::size_t field_len(const char (&field)[N]) {
    return strnlen(field, N - 1);
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

void put_amplitudes(qv5k_header *h, const qvraw_header *c, double fs) {
    qv5k_set_uint32(h->nsamples, c->nsamples);
    h->dir_count = low8(c->dir_count);
    for (int i = 0; i < 3; ++i) {
        qv5k_set_uint24(h->peak[i], qv5k_trunc_bits(clamp_fs(c->peak[i]) * fs));
        qv5k_set_int24(h->offset[i],
                       static_cast<std::int32_t>(qv5k_trunc_bits(clamp_fs(c->offset[i]) * fs)));
    }
}

// The record keeps one moment: the trigger of a triggered record, else its
// start.
void put_moment(qv5k_header *h, const qvraw_header *c) {
    const qvraw_timestamp &moment = c->trigger_time.sec != 0 ? c->trigger_time : c->start_time;
    qv5k_set_uint16(h->subsec, low16(qv5k_trunc_bits(moment.nsec / 1e9 * c->rate)));
    const std::time_t t = static_cast<std::time_t>(moment.sec);
    if (c->time_mode == QVRAW_TIME_LOCAL)
        qv5k_set_time_local(h->time, h->date, &t);
    else
        qv5k_set_time_custom(h->time, h->date, &t, c->utc_offset);
}

void put_firmware(qv5k_header *h, const qvraw_header *c) {
    char fw[sizeof c->firmware];
    field_copy(fw, c->firmware);
    std::uint8_t ver[4];
    version_str_to_numbers(fw, ver);
    if ((ver[0] | ver[1] | ver[2] | ver[3]) == 0) version_str_to_numbers("1.0.0", ver);
    h->fw_major = ver[0];
    h->fw_minor = ver[1];
    h->fw_patch = ver[2];
    h->fw_suffix = ver[3];
}

// Rate, filter and resolution; a rate of 0 (in 16 bits) is refused.
std::uint32_t put_acquisition(qv5k_header *h, const qvraw_header *c, unsigned resolution) {
    h->three56 = 3;
    const std::uint16_t rate = low16(c->rate);
    qv5k_set_uint16(h->rate, rate);
    if (rate == 0) return CONV_QV5K_ERR_RATE;
    const filter_code *f =
        find_row(kFilters, [&](const filter_code &r) { return r.canon == c->filter; });
    h->filter = f ? f->byte : 0x00;
    h->resolution = static_cast<std::uint8_t>(resolution);
    return CONV_QV5K_ERR_NONE;
}

// The identifier, and "name-uid" cut to the 30 bytes of the field.
void put_recorder(qv5k_header *h, const qvraw_header *c) {
    qv5k_str_to_array(h->ident, sizeof h->ident, kIdent.data(), kIdent.size(), 1);
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
}

// The value of one count, the unit, the axes and the sensor type.
std::uint32_t put_sensor(qv5k_header *h, const qvraw_header *c, double lsb) {
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
        mantissa = low16(qv5k_trunc_bits(v));
    }
    for (auto &slot : h->lsb) {
        qv5k_set_uint16(slot, mantissa);
        slot[2] = static_cast<std::uint8_t>(static_cast<std::int8_t>(exponent));
    }

    const unit_text *u =
        find_row(kUnits, [&](const unit_text &r) { return r.canon == c->sensor_unit; });
    if (!u) return CONV_QV5K_ERR_SENSOR_UNIT;
    for (auto &field : h->unit)
        qv5k_str_to_array(field, sizeof field, u->text.data(), u->text.size(), 0);
    for (int i = 0; i < 3; ++i)
        qv5k_str_to_array(h->axis[i], sizeof h->axis[i], kAxes[i].data(), kAxes[i].size(), 1);

    const sensor_code *s =
        find_row(kSensors, [&](const sensor_code &r) { return r.canon == c->sensor_type; });
    if (!s) return CONV_QV5K_ERR_SENSOR_TYPE;
    h->sensor_type = s->byte;
    return CONV_QV5K_ERR_NONE;
}

// Pre- and post-event seconds and the trigger settings.
std::uint32_t put_trigger(qv5k_header *h, const qvraw_header *c, double lsb) {
    // An event record that never triggered has no pre- and post-event time.
    const bool untriggered = c->file_type == QVRAW_FILETYPE_EVENT && c->trigger_time.sec == 0;
    h->pre_event = untriggered ? 0 : low8(c->pre_event);
    h->post_event = untriggered ? 0 : low8(c->post_event);

    if (c->trig_enabled == 0) {
        h->trig_chans = kTrigOff;
        h->trig_signal = 0;
        return CONV_QV5K_ERR_NONE;
    }
    for (int i = 0; i < 3; ++i) {
        // A count value of 0 (range 0) gives thresholds of 0 counts.
        const std::uint32_t counts = lsb > 0 ? qv5k_trunc_bits(c->trig_threshold[i] / lsb) : 0;
        qv5k_set_uint24(h->threshold[i], counts);
    }
    for (int i = 0; i < 3; ++i) {
        const double a = c->trig_aux_a[i];
        const double b = c->trig_aux_b[i];
        if (b == 0) continue;
        h->trig_param[i][0] = low8(qv5k_trunc_bits(b));
        h->trig_param[i][1] = low8(qv5k_trunc_bits(a * 10));
        h->trig_param[i][2] = low8(qv5k_trunc_bits(10 * a / b));
    }
    const trig_chans_code *ch = find_row(kTrigChans, [&](const trig_chans_code &r) {
        return r.chans == c->trig_chans &&
               (r.logic == QVRAW_LOGIC_UNKNOWN || r.logic == c->trig_logic);
    });
    if (!ch) return CONV_QV5K_ERR_TRIG_COMB;
    h->trig_chans = ch->byte;
    const trig_signal_code *sig =
        find_row(kTrigSignals, [&](const trig_signal_code &r) { return r.canon == c->trig_mode; });
    if (!sig) return CONV_QV5K_ERR_TRIG_SIGNAL;
    h->trig_signal = sig->byte;
    return CONV_QV5K_ERR_NONE;
}

// Background mode and period, supply voltage, and a background record's
// KBFTm values.
std::uint32_t put_background(qv5k_header *h, const qvraw_header *c, double fs) {
    h->back_mode = 0;
    if (c->back_enabled != 0) {
        const qv5k_back_mode *m = back_mode_for(c->back_mode, c->nsignals);
        if (!m) return CONV_QV5K_ERR_BACK_MODE;
        h->back_mode = m->back_mode;
    }
    for (auto &v : h->fixed216)
        qv5k_set_uint16(v, kFixed216);
    h->back_period = low8(c->back_period);
    qv5k_set_uint16(h->voltage, low16(round_bits(c->voltage * 1000)));
    if (c->file_type == QVRAW_FILETYPE_BACKGROUND)
        for (int i = 0; i < 3; ++i)
            qv5k_set_uint24(h->kbftm_freq[i], qv5k_trunc_bits(clamp_fs(c->kbftm[i]) * fs));
    return CONV_QV5K_ERR_NONE;
}

// The part both variants share: 0 or the code of the first refusal.
std::uint32_t qvraw_header_to_qv5k(qv5k_header *h, const qvraw_header *c, unsigned resolution) {
    *h = qv5k_header{};
    const double fs = full_scale(resolution);
    put_amplitudes(h, c, fs);
    put_moment(h, c);
    put_firmware(h, c);
    if (std::uint32_t code = put_acquisition(h, c, resolution)) return code;
    put_recorder(h, c);
    const double lsb = c->sensor_range / std::ldexp(1.0, static_cast<int>(resolution));
    if (std::uint32_t code = put_sensor(h, c, lsb)) return code;
    if (std::uint32_t code = put_trigger(h, c, lsb)) return code;
    return put_background(h, c, fs);
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
    if (canon->model != QVRAW_MODEL_QV7300) return fail(err, CONV_QV5K_ERR_MODEL);
    if (std::uint32_t code = qvraw_header_to_qv5k(header, canon, kXqvResolution))
        return fail(err, code);
    if (canon->nsignals != 1) return fail(err, CONV_QV5K_ERR_NSIGNALS);
    if (canon->signals[0] != QVRAW_SIGNAL_RAW && canon->signals[0] != QVRAW_SIGNAL_FILTER)
        return fail(err, CONV_QV5K_ERR_SIGNAL);

    header->rec_mode = QV5K_RECMODE_EVENT;
    header->xqv_flag = 1;
    if (canon->rec_cause == QVRAW_CAUSE_TIMED)
        header->rec_cause = kCauseByteTimed;
    else if (canon->rec_cause == QVRAW_CAUSE_TRIGGER)
        header->rec_cause = low8(canon->triggered_chans & kCauseChanMask);
    else
        header->rec_cause = kCauseByteManual;
    header->test_pulse = canon->rec_cause == QVRAW_CAUSE_TEST_PULSE ? 1 : 0;
    header->xqv_code = low8(canon->xqv_code);
    // Dominant frequencies in tenths of a hertz: two bytes of each
    // three-byte slot, the third stays 0.
    for (int i = 0; i < 3; ++i)
        qv5k_set_uint24(header->kbftm_freq[i], low16(round_bits(canon->dom_freq[i] * 10)));
    return 0;
}

// The recording mode follows from the signals: the background-mode row
// that holds exactly these signals. (The background mode byte is not
// checked against it.)
int conv_qv5k_to_bqv_header(std::uint32_t *err, qv5k_header *header, const qvraw_header *canon) {
    if (std::uint32_t code = qvraw_header_to_qv5k(header, canon, kBqvResolution))
        return fail(err, code);
    const std::size_t n = canon->nsignals;
    if (n != 1 && n != 2) return fail(err, CONV_QV5K_ERR_NSIGNALS);
    const qv5k_back_mode *m = find_row(QV5K_BACK_MODES, [&](const qv5k_back_mode &r) {
        return r.nsignals == n && r.signals[0] == canon->signals[0] &&
               (n == 1 || r.signals[1] == canon->signals[1]);
    });
    if (!m) return fail(err, CONV_QV5K_ERR_SIGNAL);
    header->rec_mode = m->rec_mode;
    return 0;
}

const char *conv_qv5k_strerror(std::uint32_t *err) {
    static constexpr const char *texts[] = {
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
        nullptr, // 11: not assigned
        "Invalid resolution",
    };
    static_assert(std::size(texts) == CONV_QV5K_ERR_COUNT);
    if (!err) return texts[CONV_QV5K_ERR_NONE];
    const std::uint32_t code = *err;
    *err = CONV_QV5K_ERR_NONE;
    return code < std::size(texts) && texts[code] ? texts[code] : "Unknown error";
}
