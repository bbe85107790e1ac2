// The headers of the records this project makes for itself: the example
// records (tools/make_examples.cpp) and the benchmark's records
// (bench/make_records.cpp). Every record comes from a three-axis velocity
// recorder that keeps UTC and samples 1024 times a second; an event record
// was triggered by a level on the named axes, a background record holds
// per-minute peaks and their vector sum. The frame count and statistics
// are the maker's to fill in.
#pragma once

#include <cstdint>
#include <cstdio>

#include "qvraw.h"

// What tells the records of one maker apart.
struct record_site {
    const char *uid;
    const char *name;
    const char *comment;
    double voltage; // supply voltage in volts
    long start;     // the first frame, in seconds since 1970-01-01 UTC
};

inline void record_text(char *field, std::size_t size, const char *s) {
    std::snprintf(field, size, "%s", s);
}

inline qvraw_header record_common_header(const record_site &site) {
    qvraw_header h{};
    h.model = QVRAW_MODEL_QV7300;
    record_text(h.uid, sizeof h.uid, site.uid);
    record_text(h.name, sizeof h.name, site.name);
    record_text(h.comment, sizeof h.comment, site.comment);
    record_text(h.firmware, sizeof h.firmware, "3.0.12");
    record_text(h.sensor_name, sizeof h.sensor_name, "Geophone 3D");
    h.sensor_type = QVRAW_SENSOR_VELOCITY;
    h.sensor_unit = QVRAW_UNIT_MM_S;
    h.sensor_range = 254;
    h.sensor_scale = 127;
    h.time_mode = QVRAW_TIME_UTC;
    h.rate = 1024;
    h.filter = QVRAW_FILTER_FIR_1_100;
    h.voltage = site.voltage;
    h.start_time.sec = site.start;
    return h;
}

// An event record of raw signals, triggered one second after its start by
// a level of `threshold` (in sensor units, as every threshold is) on
// `triggered_chans`.
inline qvraw_header record_event_header(const record_site &site, std::uint32_t triggered_chans,
                                        double threshold) {
    qvraw_header h = record_common_header(site);
    h.file_type = QVRAW_FILETYPE_EVENT;
    h.rec_cause = QVRAW_CAUSE_TRIGGER;
    h.nsignals = 1;
    h.signals[0] = QVRAW_SIGNAL_RAW;
    h.trig_enabled = 1;
    h.trig_mode = QVRAW_SIGNAL_LEVEL;
    h.trig_chans = QVRAW_CHAN_XYZ;
    h.trig_logic = QVRAW_LOGIC_OR;
    h.triggered_chans = triggered_chans;
    for (double &t : h.trig_threshold)
        t = threshold;
    h.pre_event = 1;
    h.post_event = 2;
    h.trigger_time = h.start_time;
    h.trigger_time.sec += 1;
    return h;
}

// A background record of per-minute peaks of X, Y, Z and their vector sum.
inline qvraw_header record_background_header(const record_site &site) {
    qvraw_header h = record_common_header(site);
    h.file_type = QVRAW_FILETYPE_BACKGROUND;
    h.rec_cause = QVRAW_CAUSE_CONTINUOUS;
    h.nsignals = 2;
    h.signals[0] = QVRAW_SIGNAL_VM_PEAK;
    h.signals[1] = QVRAW_SIGNAL_VM_VSUM;
    h.back_enabled = 1;
    h.back_mode = QVRAW_BACK_PEAK_VSUM;
    h.back_period = 60;
    return h;
}
