// Record facts: what a front end shows of a record, computed from its
// canonical header in one place so that every front end (qvinfo, qvplot,
// the Python module) shows the same words, names, factors and times, and
// shows them as the text format writes them.
//
// Nothing here reads a file or prints: the caller reads the header through
// the format layer and passes it in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qvfmt.h"
#include "qvraw.h"

// A time of the record, shown in the record's time mode as the text format
// shows it: UTC for a record kept in UTC (or of unknown mode), UTC plus the
// header's offset for a named zone, and the machine's zone (TZ) for local
// time without a zone, the one case where the text depends on the machine.
struct qvdesc_time {
    long sec;          // as stored: seconds since 1970-01-01 00:00:00 UTC
    std::int32_t nsec; // and nanoseconds within the second
    char date[24];     // "2025-12-01"
    char time[24];     // "10:00:00", or "10:00:00.250000" when there are microseconds
    char zone[32];     // "Z" (UTC), "+01:00" (the offset from UTC at that moment)
    // ISO 8601: date "T" time zone, "2025-12-01T10:00:00.250000Z"; the empty
    // text when the moment cannot be shown (out of the platform's range).
    char iso[80];
};

// One channel, in frame order.
struct qvdesc_channel {
    char name[32]; // as the text format heads its sample column: "Raw X", "VM VSum"
    // A stored value times `factor` is the value in the sensor's units, as the
    // text format writes the column: the sensor scale, or 1 for a column of
    // ratios or frequencies.
    double factor;
    double peak; // the header's peak of the channel times `factor`
};

struct qvdesc_record {
    const char *type; // "event", "background", "unknown"
    const char *unit; // the sensor unit's word: "mm/s", "mg", "mV", "Unknown"
    std::size_t nchans;
    qvdesc_channel chan[QVFMT_MAX_CHANNELS];
    double vsum;          // the header's vector-sum peak in the sensor's units
    std::uint32_t frames; // the header's frame count
    // Seconds from one frame to the next: 1 / rate for an event, the
    // background period for a background record (each frame covers one
    // period); 0 when the record states none (unknown type, rate 0).
    double interval;
    double duration;    // frames * interval, in seconds
    char recorder[22];  // the recorder's name
    char zone_name[32]; // "UTC", "local" (the machine's zone), or "Region/City"
    qvdesc_time start;
    // The record states the moment of its trigger (its recording cause is a
    // trigger): then `trigger` holds it and `trigger_offset` its distance
    // from the first frame in seconds.
    int has_trigger;
    qvdesc_time trigger;
    double trigger_offset;
};

// "raw", "txt", "xqv", "bqv" for a QVFMT_* identifier; "" for any other.
const char *qvdesc_format_word(unsigned fmt);
// "event", "background", "unknown" for a record type (file_type).
const char *qvdesc_type_word(std::uint32_t file_type);
// The time `t` of the record of header `h`, shown in its time mode.
void qvdesc_time_of(qvdesc_time *out, const qvraw_timestamp *t, const qvraw_header *h);
// Fills `out` from the header. It has no failure: every header can be shown.
void qvdesc_describe(qvdesc_record *out, const qvraw_header *h);
