// The recorder-binary header record to the canonical header: every field
// the record holds, fixed values for what it does not, and a refusal of
// codes this side does not know.
//
// The conversion is one helper per section of the header, called in the
// order of the record's checks: the first code a section returns decides.
#include "conv-qv5k.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "conv-qv5k-codes.h"

using namespace conv_qv5k;

namespace {

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

void get_amplitudes(qvraw_header *c, const qv5k_header *h, double fs) {
    c->nsamples = qv5k_get_uint32(h->nsamples);
    c->dir_count = h->dir_count;
    for (int i = 0; i < 3; ++i) {
        c->peak[i] = qv5k_get_uint24(h->peak[i]) / fs;
        c->offset[i] = qv5k_get_int24(h->offset[i]) / fs;
    }
}

// The recorder's local time. A sub-second count of a whole second or more
// is carried into the seconds, and a rate of 0 gives no sub-second part.
// The moment is a triggered event's trigger, with the start the pre-event
// seconds before it; any other record's start.
void get_moment(qvraw_header *c, const qv5k_header *h) {
    c->time_mode = QVRAW_TIME_LOCAL;
    const std::uint16_t rate = qv5k_get_uint16(h->rate);
    const std::uint16_t subsec = qv5k_get_uint16(h->subsec);
    std::int64_t sec = qv5k_get_time(h->time, h->date);
    std::int32_t nsec = 0;
    if (rate != 0) {
        sec += subsec / rate;
        nsec = static_cast<std::int32_t>(
            qv5k_trunc_bits(static_cast<double>(subsec % rate) / rate * 1e9));
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
}

void get_firmware(qvraw_header *c, const qv5k_header *h) {
    char suffix[16] = "";
    if (h->fw_suffix == 255)
        std::snprintf(suffix, sizeof suffix, "-dev");
    else if (h->fw_suffix != 0)
        std::snprintf(suffix, sizeof suffix, "-rc%u", static_cast<unsigned>(h->fw_suffix));
    char fw[32];
    std::snprintf(fw, sizeof fw, "%u.%u.%u%s", static_cast<unsigned>(h->fw_major),
                  static_cast<unsigned>(h->fw_minor), static_cast<unsigned>(h->fw_patch), suffix);
    field_copy(c->firmware, fw);
}

// Rate, filter (flat for a byte the table does not list), the one model,
// and "name-uid": the UID follows the last dash, the name may hold dashes.
void get_recorder(qvraw_header *c, const qv5k_header *h) {
    c->rate = qv5k_get_uint16(h->rate);
    const filter_code *f =
        find_row(kFilters, [&](const filter_code &r) { return r.byte == h->filter; });
    c->filter = f ? f->canon : QVRAW_FILTER_FLAT;
    c->model = QVRAW_MODEL_QV7300;

    char ident[31];
    qv5k_array_to_str(ident, sizeof ident, h->name, sizeof h->name);
    if (char *dash = std::strrchr(ident, '-')) {
        *dash = '\0';
        field_copy(c->uid, dash + 1);
    }
    field_copy(c->name, ident);
}

// Unit, sensor type, range and scale; the value of one count into *lsb:
// mantissa x 10^exponent, a non-negative exponent leaving the mantissa as
// it is.
std::uint32_t get_sensor(qvraw_header *c, const qv5k_header *h, double *lsb) {
    char unit[17];
    qv5k_array_to_str(unit, sizeof unit, h->unit[0], sizeof h->unit[0]);
    const unit_text *u = find_row(kUnits, [&](const unit_text &r) { return r.text == unit; });
    if (!u) return CONV_QV5K_ERR_SENSOR_UNIT;
    c->sensor_unit = u->canon;

    const sensor_code *s =
        find_row(kSensors, [&](const sensor_code &r) { return r.byte == h->sensor_type; });
    if (!s) return CONV_QV5K_ERR_SENSOR_TYPE;
    c->sensor_type = s->canon;

    double v = qv5k_get_uint16(h->lsb[0]);
    for (int e = static_cast<std::int8_t>(h->lsb[0][2]); e < 0; ++e)
        v /= 10;
    *lsb = v;
    c->sensor_range = round_bits(std::ldexp(1.0, static_cast<int>(h->resolution)) * v);
    c->sensor_scale = c->sensor_range / 2;
    return CONV_QV5K_ERR_NONE;
}

std::uint32_t get_trigger(qvraw_header *c, const qv5k_header *h, double lsb) {
    c->pre_event = h->pre_event;
    c->post_event = h->post_event;
    for (int i = 0; i < 3; ++i) {
        const double v = std::round(qv5k_get_uint24(h->threshold[i]) * lsb * 100);
        c->trig_threshold[i] = static_cast<double>(trunc_i64(v)) / 100;
        c->trig_aux_b[i] = h->trig_param[i][0];
        c->trig_aux_a[i] = h->trig_param[i][1] / 10; // whole units only
    }
    // A byte the table does not list sets no channels.
    if (const trig_chans_code *ch = find_row(
            kTrigChans, [&](const trig_chans_code &r) { return r.byte == h->trig_chans; })) {
        c->trig_chans = ch->chans;
        c->trig_logic = ch->logic;
    }
    c->trig_enabled = h->trig_chans != kTrigOff ? 1 : 0;
    const trig_signal_code *sig =
        find_row(kTrigSignals, [&](const trig_signal_code &r) { return r.byte == h->trig_signal; });
    if (!sig) return CONV_QV5K_ERR_TRIG_SIGNAL;
    c->trig_mode = sig->canon;
    return CONV_QV5K_ERR_NONE;
}

// Background mode and period, supply voltage, and a background record's
// KBFTm values.
std::uint32_t get_background(qvraw_header *c, const qv5k_header *h, double fs) {
    if (h->back_mode != 0) {
        const qv5k_back_mode *m = qv5k_back_mode_of(h->back_mode);
        if (!m) return CONV_QV5K_ERR_BACK_MODE;
        c->back_enabled = 1;
        c->back_mode = m->canon_mode;
    }
    c->back_period = h->back_period;
    c->voltage = qv5k_get_uint16(h->voltage) / 1000.0;
    if (h->rec_mode != 0)
        for (int i = 0; i < 3; ++i)
            c->kbftm[i] = qv5k_get_uint24(h->kbftm_freq[i]) / fs;
    return CONV_QV5K_ERR_NONE;
}

// The part both variants share: 0 or the code of the first refusal.
std::uint32_t qvraw_header_from_qv5k(qvraw_header *c, const qv5k_header *h) {
    std::memset(static_cast<void *>(c), 0, sizeof *c);
    // Full scale must be a power of two that a count field can express; a
    // resolution byte of 0 or above 31 would turn every amplitude into
    // nonsense.
    if (h->resolution == 0 || h->resolution > 31) return CONV_QV5K_ERR_RESOLUTION;
    const double fs = full_scale(h->resolution);
    get_amplitudes(c, h, fs);
    get_moment(c, h);
    get_firmware(c, h);
    get_recorder(c, h);
    double lsb = 0;
    if (std::uint32_t code = get_sensor(c, h, &lsb)) return code;
    if (std::uint32_t code = get_trigger(c, h, lsb)) return code;
    return get_background(c, h, fs);
}

} // namespace

int conv_qv5k_from_xqv_header(std::uint32_t *err, qvraw_header *canon, const qv5k_header *header) {
    if (std::uint32_t code = qvraw_header_from_qv5k(canon, header)) return fail(err, code);
    canon->nsignals = 1;
    canon->signals[0] = header->sensor_type == 'A' ? QVRAW_SIGNAL_RAW : QVRAW_SIGNAL_FILTER;
    canon->file_type = QVRAW_FILETYPE_EVENT;
    canon->rec_origin = QVRAW_ORIGIN_LOCAL;

    const std::uint8_t cause = header->rec_cause;
    canon->triggered_chans = cause & kCauseChanMask;
    if (canon->triggered_chans != 0)
        canon->rec_cause = QVRAW_CAUSE_TRIGGER;
    else if (cause == kCauseByteManual)
        canon->rec_cause = QVRAW_CAUSE_MANUAL;
    else if (cause == kCauseByteTimed)
        canon->rec_cause = QVRAW_CAUSE_TIMED;
    if (header->test_pulse == 1) canon->rec_cause = QVRAW_CAUSE_TEST_PULSE;

    canon->xqv_code = header->xqv_code;
    for (int i = 0; i < 3; ++i)
        canon->dom_freq[i] = qv5k_get_uint16(header->kbftm_freq[i]) / 10.0;
    return 0;
}

// The signals follow from the background mode byte (its table row); a
// record without one (byte 0) has no recording mode this side can read.
int conv_qv5k_from_bqv_header(std::uint32_t *err, qvraw_header *canon, const qv5k_header *header) {
    if (std::uint32_t code = qvraw_header_from_qv5k(canon, header)) return fail(err, code);
    const qv5k_back_mode *m = qv5k_back_mode_of(header->back_mode);
    if (!m) return fail(err, CONV_QV5K_ERR_REC_MODE);
    canon->nsignals = m->nsignals;
    for (std::size_t i = 0; i < m->nsignals; ++i)
        canon->signals[i] = m->signals[i];
    canon->file_type = QVRAW_FILETYPE_BACKGROUND;
    canon->rec_origin = QVRAW_ORIGIN_LOCAL;
    canon->rec_cause = QVRAW_CAUSE_CONTINUOUS;
    return 0;
}
