// Record facts from a canonical header.
#include "describe.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "conv-qvascii.h"
#include "qvascii.h"

namespace {

// "+01:00" for an offset east of UTC in seconds, "+05:45:30" with seconds.
void zone_text(char *dst, std::size_t size, std::int64_t offset) {
    char sign = offset < 0 ? '-' : '+';
    std::int64_t a = offset < 0 ? -offset : offset;
    std::int64_t h = a / 3600, m = a % 3600 / 60, s = a % 60;
    if (s != 0)
        std::snprintf(dst, size, "%c%02" PRId64 ":%02" PRId64 ":%02" PRId64, sign, h, m, s);
    else
        std::snprintf(dst, size, "%c%02" PRId64 ":%02" PRId64, sign, h, m);
}

// A fixed text field up to its first NUL or its end (it need not hold a NUL).
template <std::size_t N, std::size_t M>
void copy_text(char (&dst)[M], const char (&field)[N]) {
    static_assert(M > N);
    std::size_t n = strnlen(field, N);
    std::memcpy(dst, field, n);
    dst[n] = '\0';
}

} // namespace

const char *qvdesc_format_word(unsigned fmt) {
    switch (fmt) {
    case QVFMT_RAW: return "raw";
    case QVFMT_ASCII: return "txt";
    case QVFMT_XQV: return "xqv";
    case QVFMT_BQV: return "bqv";
    default: return "";
    }
}

unsigned qvdesc_file_format(unsigned fmt, const qvraw_header *h) {
    if (fmt != QVFMT_XQV && fmt != QVFMT_BQV) return fmt;
    return h->file_type == QVRAW_FILETYPE_BACKGROUND ? QVFMT_BQV : QVFMT_XQV;
}

const char *qvdesc_type_word(std::uint32_t file_type) {
    switch (file_type) {
    case QVRAW_FILETYPE_EVENT: return "event";
    case QVRAW_FILETYPE_BACKGROUND: return "background";
    default: return "unknown";
    }
}

void qvdesc_time_of(qvdesc_time *out, const qvraw_timestamp *t, const qvraw_header *h) {
    *out = qvdesc_time{};
    out->sec = t->sec;
    out->nsec = t->nsec;
    // Date and time exactly as the text format writes them.
    std::int32_t offset;
    int mode = conv_qvascii_time_display(h, &offset);
    qvascii_print_date(out->date, sizeof out->date, t, mode, offset);
    qvascii_print_time(out->time, sizeof out->time, t, mode, offset);
    if (mode == QVASCII_TIME_UTC) {
        std::snprintf(out->zone, sizeof out->zone, "Z");
    } else if (mode == QVASCII_TIME_OFFSET) {
        zone_text(out->zone, sizeof out->zone, offset);
    } else {
        // The machine's zone: its offset at that moment, daylight saving included.
        std::time_t tt = static_cast<std::time_t>(t->sec);
        std::tm tm{};
        if (localtime_r(&tt, &tm)) zone_text(out->zone, sizeof out->zone, tm.tm_gmtoff);
    }
    if (out->date[0] != '\0' && out->time[0] != '\0' && out->zone[0] != '\0')
        std::snprintf(out->iso, sizeof out->iso, "%sT%s%s", out->date, out->time, out->zone);
}

void qvdesc_describe(qvdesc_record *out, const qvraw_header *h) {
    *out = qvdesc_record{};
    out->type = qvdesc_type_word(h->file_type);
    out->unit = conv_vocab_text(sensor_unit_array, h->sensor_unit);

    const double scale = static_cast<double>(h->sensor_scale);
    out->nchans = qvraw_header_get_nchans(h);
    for (std::size_t c = 0; c < out->nchans; c++) {
        qvdesc_channel &ch = out->chan[c];
        conv_qvascii_channel_name(ch.name, sizeof ch.name, h, c);
        bool unscaled = qvascii_column_unscaled(ch.name);
        ch.factor = unscaled ? 1.0 : scale;
        ch.unit = unscaled ? "" : out->unit;
        ch.peak = h->peak[c] * ch.factor;
    }
    out->vsum = h->vsum * scale;

    out->frames = h->nsamples;
    const double frames = static_cast<double>(h->nsamples);
    if (h->file_type == QVRAW_FILETYPE_EVENT && h->rate != 0) {
        out->interval = 1.0 / static_cast<double>(h->rate);
        out->duration = frames / static_cast<double>(h->rate);
    } else if (h->file_type == QVRAW_FILETYPE_BACKGROUND) {
        out->interval = static_cast<double>(h->back_period);
        out->duration = frames * out->interval;
    }

    copy_text(out->recorder, h->name);
    if (h->time_mode == QVRAW_TIME_LOCAL_ZONE) {
        char region[sizeof h->region + 1], city[sizeof h->city + 1];
        copy_text(region, h->region);
        copy_text(city, h->city);
        std::snprintf(out->zone_name, sizeof out->zone_name, "%s/%s", region, city);
    } else {
        std::snprintf(out->zone_name, sizeof out->zone_name, "%s",
                      h->time_mode == QVRAW_TIME_LOCAL ? "local" : "UTC");
    }

    qvdesc_time_of(&out->start, &h->start_time, h);
    // The text format states a trigger moment exactly when the recording
    // cause is a trigger.
    out->has_trigger = h->rec_cause == QVRAW_CAUSE_TRIGGER;
    if (out->has_trigger) {
        qvdesc_time_of(&out->trigger, &h->trigger_time, h);
        // In doubles: the differences of arbitrary stored values may not fit.
        auto d = [](auto a, auto b) { return static_cast<double>(a) - static_cast<double>(b); };
        out->trigger_offset = d(h->trigger_time.sec, h->start_time.sec) +
                              d(h->trigger_time.nsec, h->start_time.nsec) / 1e9;
    }
}
