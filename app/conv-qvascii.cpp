// Canonical header to and from the ASCII header.
//
// Writing: every section of the record becomes a named group, written in a
// fixed order; entries whose value means nothing for the record (the mode of
// a disabled trigger, the zone of a record kept in UTC, the peaks of a record
// that has none) are left out. Normalised values (peaks, offsets, the vector
// sum) are shown in sensor units, i.e. multiplied by the sensor scale.
//
// Reading: the four groups "Recorder", "Sensor", "Acquisition" and "File"
// must be there; every other group and every entry is optional and has a
// default. Unknown words read as code 0 and malformed numbers as what their
// leading digits give: a header is only refused for a missing group.
#include "conv-qvascii.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

// --- Writing ------------------------------------------------------------------

// The text of a fixed text field of the canonical header, ready to be stored
// as a value: it ends at the first NUL or at the end of the field (a field
// read from a file need not hold a NUL), and CR and LF become spaces, since a
// line end inside a value would end the header line early.
template <std::size_t N>
struct field_text {
    char s[N + 1];
    explicit field_text(const char (&field)[N]) {
        std::size_t n = strnlen(field, N);
        for (std::size_t i = 0; i < n; i++)
            s[i] = (field[i] == '\r' || field[i] == '\n') ? ' ' : field[i];
        s[n] = '\0';
    }
};

// Chained setters: a group or entry that cannot be created stores nothing.
void put_str(qvascii_group *g, const char *key, const char *v) {
    qvascii_entry_set_str(qvascii_group_set(g, key), v);
}
void put_uint(qvascii_group *g, const char *key, std::uint32_t v) {
    qvascii_entry_set_uint(qvascii_group_set(g, key), v);
}
void put_int(qvascii_group *g, const char *key, std::int32_t v) {
    qvascii_entry_set_int(qvascii_group_set(g, key), v);
}
void put_double(qvascii_group *g, const char *key, double v) {
    qvascii_entry_set_double(qvascii_group_set(g, key), v);
}
void put_bool(qvascii_group *g, const char *key, bool v) {
    qvascii_entry_set_bool(qvascii_group_set(g, key), v);
}
void put_word(qvascii_group *g, const char *key, std::span<const conv_vocab> table,
              std::uint32_t code) {
    put_str(g, key, conv_vocab_text(table, code));
}
// Keys of the three axes, in slot order.
constexpr const char *const axis_suffix[3] = {"X", "Y", "Z"};
// Three per-axis values as "<prefix>-X", "-Y", "-Z", each times `factor`.
void put_axes(qvascii_group *g, const char *prefix, const double *v, double factor) {
    for (int i = 0; i < 3; i++) {
        char key[32];
        std::snprintf(key, sizeof key, "%s-%s", prefix, axis_suffix[i]);
        put_double(g, key, v[i] * factor);
    }
}
// All three slots compare equal to zero (-0.0 does, NaN does not).
bool all_zero(const double *v) {
    return v[0] == 0.0 && v[1] == 0.0 && v[2] == 0.0;
}

void put_timestamp(qvascii_group *g, const char *date_key, const char *time_key,
                   const qvraw_timestamp &t, const qvraw_header *h) {
    char text[128];
    std::int32_t offset;
    int mode = conv_qvascii_time_display(h, &offset);
    qvascii_print_date(text, sizeof text, &t, mode, offset);
    put_str(g, date_key, text);
    qvascii_print_time(text, sizeof text, &t, mode, offset);
    put_str(g, time_key, text);
}

// The record's duration in seconds, in single precision: frames over rate for
// an event, one background period per frame for a background record. An
// event without a rate has no duration that can be stated; it is shown as 0.
float record_length(const qvraw_header *h) {
    switch (h->file_type) {
    case QVRAW_FILETYPE_EVENT:
        if (h->rate == 0) return 0.0f;
        return static_cast<float>(h->nsamples) / static_cast<float>(h->rate);
    case QVRAW_FILETYPE_BACKGROUND:
        return static_cast<float>(h->nsamples) * static_cast<float>(h->back_period);
    default: return 0.0f;
    }
}

std::size_t signal_count(const qvraw_header *h) {
    return std::min<std::size_t>(h->nsignals, 4);
}

void put_alarm(qvascii_header *a, const char *name, std::uint32_t enabled, std::uint32_t mode,
               const double *threshold) {
    qvascii_group *g = qvascii_header_set(a, name);
    put_bool(g, "Enabled", enabled != 0);
    if (enabled == 0) return;
    put_word(g, "Mode", signal_type_array, mode);
    if (mode == QVRAW_SIGNAL_VM_VSUM) // one threshold on the vector sum
        put_double(g, "Threshold", threshold[0]);
    else if (mode == QVRAW_SIGNAL_LEVEL) // one threshold per axis
        put_axes(g, "Threshold", threshold, 1.0);
}

void put_file_group(qvascii_header *a, const qvraw_header *h) {
    const double scale = static_cast<double>(h->sensor_scale);
    qvascii_group *g = qvascii_header_set(a, "File");
    put_word(g, "Type", rec_type_array, h->file_type);
    if (h->file_type == QVRAW_FILETYPE_EVENT) {
        put_word(g, "RecordingOrigin", rec_origin_array, h->rec_origin);
        put_word(g, "RecordingCause", rec_cause_array, h->rec_cause);
        put_uint(g, "DirCount", h->dir_count);
        put_uint(g, "SplitCount", h->split_count);
    }

    char signals[128] = "";
    for (std::size_t i = 0; i < signal_count(h); i++)
        qvascii_push_str(signals, sizeof signals, conv_vocab_text(signal_type_array, h->signals[i]),
                         " + ");
    put_str(g, "Signals", signals);

    put_timestamp(g, "StartDate", "StartTime", h->start_time, h);
    if (h->rec_cause == QVRAW_CAUSE_TRIGGER) {
        put_word(g, "TriggeredChannels", chan_array, h->triggered_chans);
        put_timestamp(g, "TriggerDate", "TriggerTime", h->trigger_time, h);
    }

    char length[128];
    qvascii_print_length(length, sizeof length, record_length(h));
    put_str(g, "Length", length);
    put_uint(g, "Samples", h->nsamples);

    if (!all_zero(h->peak)) put_axes(g, "Peak", h->peak, scale);
    if (!all_zero(h->offset)) put_axes(g, "Offset", h->offset, scale);
    if (!all_zero(h->dom_freq)) put_axes(g, "DomFreq", h->dom_freq, 1.0);
    put_double(g, "VSUM", h->vsum * scale);
    if (h->file_type == QVRAW_FILETYPE_BACKGROUND && h->back_mode == QVRAW_BACK_KBFTI)
        put_axes(g, "KBFTm", h->kbftm, 1.0);
}

// Names of the sample columns, keyed by column number: "1" is the time, then
// one column per channel in frame order.
void put_columns_group(qvascii_header *a, const qvraw_header *h) {
    qvascii_group *g = qvascii_header_set(a, "Columns");
    std::size_t column = 1;
    char key[24];
    auto next_key = [&]() {
        std::snprintf(key, sizeof key, "%zu", column++);
        return key;
    };
    put_str(g, next_key(), "Time");
    char name[CONV_CHANNEL_NAME_SIZE];
    for (std::size_t c = 0, n = qvraw_header_get_nchans(h); c < n; c++) {
        conv_qvascii_channel_name(name, sizeof name, h, c);
        put_str(g, next_key(), name);
    }
}

// --- Reading ------------------------------------------------------------------

// The value of `key` in `g`; the empty text when the group or the key is
// absent or the value was never set.
const char *text_of(const qvascii_group *g, const char *key) {
    const char *s = qvascii_entry_get_str(qvascii_group_get(g, key), "");
    return s ? s : "";
}
std::uint32_t code_of(const qvascii_group *g, const char *key, std::span<const conv_vocab> table) {
    return conv_vocab_code(table, text_of(g, key));
}
std::uint32_t uint_of(const qvascii_group *g, const char *key, std::uint32_t def) {
    return qvascii_entry_get_uint(qvascii_group_get(g, key), def);
}
double double_of(const qvascii_group *g, const char *key, double def) {
    return qvascii_entry_get_double(qvascii_group_get(g, key), def);
}
// 1 only for exactly "True".
std::uint32_t flag_of(const qvascii_group *g, const char *key) {
    return std::strcmp(text_of(g, key), "True") == 0 ? 1 : 0;
}
// The value of `key` into a fixed text field: at most N - 1 characters, the
// rest of the field NUL.
template <std::size_t N>
void copy_into(char (&field)[N], const qvascii_group *g, const char *key) {
    const char *s = text_of(g, key);
    std::size_t n = strnlen(s, N - 1);
    std::memset(field, 0, N);
    std::memcpy(field, s, n);
}
void get_axes(double *out, const qvascii_group *g, const char *prefix, double divisor) {
    for (int i = 0; i < 3; i++) {
        char key[32];
        std::snprintf(key, sizeof key, "%s-%s", prefix, axis_suffix[i]);
        out[i] = double_of(g, key, 0.0) / divisor;
    }
}

void get_alarm(const qvascii_group *g, std::uint32_t *enabled, std::uint32_t *mode,
               double *threshold) {
    if (!g) return;
    *enabled = flag_of(g, "Enabled");
    *mode = code_of(g, "Mode", signal_type_array);
    if (*mode == QVRAW_SIGNAL_VM_VSUM)
        threshold[0] = double_of(g, "Threshold", 0.0);
    else if (*mode == QVRAW_SIGNAL_LEVEL)
        get_axes(threshold, g, "Threshold", 1.0);
}

void get_timestamp(qvraw_timestamp *t, const qvascii_group *g, const char *date_key,
                   const char *time_key, const qvraw_header *h) {
    // An unparsable text leaves the timestamp zero; that is not an error.
    std::int32_t offset;
    int mode = conv_qvascii_time_display(h, &offset);
    qvascii_parse_datetime(t, text_of(g, date_key), text_of(g, time_key), mode, offset);
}

// The time mode: no "Time" group states no zone (the machine's local
// time); "Local" with a region and a city is the named zone.
void get_time(qvraw_header *h, const qvascii_group *g) {
    if (!g) {
        h->time_mode = QVRAW_TIME_LOCAL;
        return;
    }
    h->time_mode = code_of(g, "Mode", time_mode_array);
    if (std::strcmp(text_of(g, "Mode"), "Local") == 0) {
        copy_into(h->region, g, "Region");
        copy_into(h->city, g, "City");
        h->utc_offset = qvascii_entry_get_int(qvascii_group_get(g, "UTCOffset"), 0);
        const bool named = h->region[0] != '\0' && h->city[0] != '\0';
        h->time_mode = named ? QVRAW_TIME_LOCAL_ZONE : QVRAW_TIME_LOCAL;
    }
}

void get_trigger(qvraw_header *h, const qvascii_group *g) {
    h->trig_enabled = flag_of(g, "Enabled");
    h->trig_mode = code_of(g, "Mode", signal_type_array);
    h->trig_chans = code_of(g, "Channels", chan_array);
    h->trig_logic = code_of(g, "Logic", notif_logic_array);
    h->pre_event = uint_of(g, "PreEvent", 0);
    h->post_event = uint_of(g, "PostEvent", 0);
    get_axes(h->trig_threshold, g, "Threshold", 1.0);
}

// The "File" group: the record's type, cause, signals, times, counts and
// statistics (normalised values divided by `scale`). The times are read in
// the time mode already read.
void get_file(qvraw_header *h, const qvascii_group *g, double scale) {
    h->file_type = code_of(g, "Type", rec_type_array);
    h->rec_origin = code_of(g, "RecordingOrigin", rec_origin_array);
    h->rec_cause = code_of(g, "RecordingCause", rec_cause_array);
    h->dir_count = uint_of(g, "DirCount", 1);
    h->split_count = uint_of(g, "SplitCount", 1);

    // "Raw + VM VSum": at most four items; an empty item is a signal of code 0.
    char list[256];
    std::snprintf(list, sizeof list, "%s", text_of(g, "Signals"));
    std::size_t n = 0;
    for (const char *item; n < 4 && (item = qvascii_pop_str(list, " + ")) != nullptr; n++)
        h->signals[n] = conv_vocab_code(signal_type_array, item);
    h->nsignals = n;

    get_timestamp(&h->start_time, g, "StartDate", "StartTime", h);
    h->triggered_chans = code_of(g, "TriggeredChannels", chan_array);
    get_timestamp(&h->trigger_time, g, "TriggerDate", "TriggerTime", h);
    h->nsamples = uint_of(g, "Samples", 0);

    get_axes(h->peak, g, "Peak", scale);
    get_axes(h->offset, g, "Offset", scale);
    get_axes(h->dom_freq, g, "DomFreq", 1.0);
    h->vsum = double_of(g, "VSUM", 0.0) / scale;
    get_axes(h->kbftm, g, "KBFTm", 1.0);
}

} // namespace

int conv_qvascii_time_display(const qvraw_header *h, std::int32_t *offset) {
    *offset = 0;
    switch (h->time_mode) {
    case QVRAW_TIME_LOCAL: return QVASCII_TIME_LOCAL; // no zone: the machine's
    case QVRAW_TIME_LOCAL_ZONE: *offset = h->utc_offset; return QVASCII_TIME_OFFSET;
    default: return QVASCII_TIME_UTC;
    }
}

void conv_qvascii_channel_name(char *dst, std::size_t size, const qvraw_header *h,
                               std::size_t chan) {
    if (size == 0) return;
    dst[0] = '\0';
    // Channels follow the signals: one for a VM VSum signal, X, Y, Z for any other.
    for (std::size_t i = 0; i < signal_count(h); i++) {
        const char *text = conv_vocab_text(signal_type_array, h->signals[i]);
        std::size_t width = h->signals[i] == QVRAW_SIGNAL_VM_VSUM ? 1 : 3;
        if (chan < width) {
            if (width == 1)
                std::snprintf(dst, size, "%s", text);
            else
                std::snprintf(dst, size, "%s %s", text, axis_suffix[chan]);
            return;
        }
        chan -= width;
    }
}

int qvraw_header_to_qvascii(qvascii_header *a, const qvraw_header *h) {
    qvascii_header_init(a);

    qvascii_group *g = qvascii_header_set(a, "Recorder");
    put_word(g, "Model", qv_model_array, h->model);
    put_str(g, "Name", field_text(h->name).s);
    put_str(g, "Comment", field_text(h->comment).s);
    put_str(g, "UID", field_text(h->uid).s);
    put_str(g, "Firmware", field_text(h->firmware).s);

    g = qvascii_header_set(a, "Sensor");
    put_str(g, "Name", field_text(h->sensor_name).s);
    put_word(g, "Type", sensor_type_array, h->sensor_type);
    put_word(g, "Unit", sensor_unit_array, h->sensor_unit);
    put_uint(g, "Range", h->sensor_range);
    put_uint(g, "Scale", h->sensor_scale);

    g = qvascii_header_set(a, "StateOfHealth");
    put_double(g, "Voltage", h->voltage);

    g = qvascii_header_set(a, "Time");
    put_word(g, "Mode", time_mode_array, h->time_mode);
    if (h->time_mode == QVRAW_TIME_LOCAL_ZONE) {
        put_str(g, "Region", field_text(h->region).s);
        put_str(g, "City", field_text(h->city).s);
        put_int(g, "UTCOffset", h->utc_offset);
    }

    g = qvascii_header_set(a, "Acquisition");
    put_uint(g, "Rate", h->rate);
    put_word(g, "Filter", acq_filter_array, h->filter);

    g = qvascii_header_set(a, "Background");
    put_bool(g, "Enabled", h->back_enabled != 0);
    if (h->back_enabled != 0) put_word(g, "Mode", back_mode_array, h->back_mode);
    // A background record's frames are one period apart, so it carries its
    // period even when the recorder's background setting reads as off:
    // without it the sample lines have no time step and cannot be written.
    if (h->back_enabled != 0 || h->file_type == QVRAW_FILETYPE_BACKGROUND)
        put_uint(g, "Period", h->back_period);

    g = qvascii_header_set(a, "Trigger");
    put_bool(g, "Enabled", h->trig_enabled != 0);
    if (h->trig_enabled != 0) {
        put_word(g, "Mode", signal_type_array, h->trig_mode);
        put_word(g, "Channels", chan_array, h->trig_chans);
        put_word(g, "Logic", notif_logic_array, h->trig_logic);
        put_uint(g, "PreEvent", h->pre_event);
        put_uint(g, "PostEvent", h->post_event);
        put_axes(g, "Threshold", h->trig_threshold, 1.0);
    }

    put_alarm(a, "Alarm1", h->alarm1_enabled, h->alarm1_mode, h->alarm1_threshold);
    put_alarm(a, "Alarm2", h->alarm2_enabled, h->alarm2_mode, h->alarm2_threshold);
    put_file_group(a, h);
    put_columns_group(a, h);
    return 0;
}

int conv_qvascii_from_qvraw_header(std::uint32_t *err, qvascii_header *ascii,
                                   const qvraw_header *header) {
    int rc = qvraw_header_to_qvascii(ascii, header);
    if (rc != 0) {
        if (err) *err = static_cast<std::uint32_t>(rc);
        return -1;
    }
    return 0;
}

std::uint32_t qvraw_header_from_qvascii(qvraw_header *h, const qvascii_header *a) {
    std::memset(static_cast<void *>(h), 0, sizeof *h);

    const qvascii_group *g = qvascii_header_get(a, "Recorder");
    if (!g) return CONV_QVASCII_ERR_RECORDER;
    h->model = code_of(g, "Model", qv_model_array);
    copy_into(h->name, g, "Name");
    copy_into(h->comment, g, "Comment");
    copy_into(h->uid, g, "UID");
    copy_into(h->firmware, g, "Firmware");

    g = qvascii_header_get(a, "Sensor");
    if (!g) return CONV_QVASCII_ERR_SENSOR;
    copy_into(h->sensor_name, g, "Name");
    h->sensor_type = code_of(g, "Type", sensor_type_array);
    h->sensor_unit = code_of(g, "Unit", sensor_unit_array);
    h->sensor_range = uint_of(g, "Range", 0);
    h->sensor_scale = uint_of(g, "Scale", 0);
    // A scale of 0 divides to NaN or infinities below, as floating point
    // does; the ASCII library refuses such a header before it gets here.
    const double scale = static_cast<double>(h->sensor_scale);

    if ((g = qvascii_header_get(a, "StateOfHealth"))) h->voltage = double_of(g, "Voltage", 0.0);

    get_time(h, qvascii_header_get(a, "Time"));

    g = qvascii_header_get(a, "Acquisition");
    if (!g) return CONV_QVASCII_ERR_ACQUISITION;
    h->rate = uint_of(g, "Rate", 1);
    h->filter = code_of(g, "Filter", acq_filter_array);

    if ((g = qvascii_header_get(a, "Background"))) {
        h->back_enabled = flag_of(g, "Enabled");
        h->back_mode = code_of(g, "Mode", back_mode_array);
        h->back_period = uint_of(g, "Period", 1);
    }

    if ((g = qvascii_header_get(a, "Trigger"))) get_trigger(h, g);

    get_alarm(qvascii_header_get(a, "Alarm1"), &h->alarm1_enabled, &h->alarm1_mode,
              h->alarm1_threshold);
    get_alarm(qvascii_header_get(a, "Alarm2"), &h->alarm2_enabled, &h->alarm2_mode,
              h->alarm2_threshold);

    g = qvascii_header_get(a, "File");
    if (!g) return CONV_QVASCII_ERR_FILE;
    get_file(h, g, scale);
    return 0;
}

int conv_qvascii_to_qvraw_header(std::uint32_t *err, qvraw_header *header,
                                 const qvascii_header *ascii) {
    std::uint32_t code = qvraw_header_from_qvascii(header, ascii);
    if (code != 0) {
        if (err) *err = code;
        return -1;
    }
    return 0;
}

const char *conv_qvascii_strerror(std::uint32_t *err) {
    static constexpr const char *texts[] = {
        "None",
        "Recorder group doesn't exist in header",
        "Sensor group doesn't exist in header",
        "Acquisition group doesn't exist in header",
        "File group doesn't exist in header",
    };
    static_assert(std::size(texts) == CONV_QVASCII_ERR_COUNT);
    std::uint32_t code = err ? *err : CONV_QVASCII_ERR_NONE;
    if (err) *err = CONV_QVASCII_ERR_NONE;
    return code < std::size(texts) ? texts[code] : "Unknown error";
}
