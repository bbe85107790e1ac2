// Canonical header <-> ASCII header: the words, the written groups and their
// conditions, and what a round trip keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "conv-qvascii.h"

namespace {

struct ascii_header {
    qvascii_header h{};
    ~ascii_header() { qvascii_header_cleanup(&h); }
};

void set_tz(const char *tz) {
    setenv("TZ", tz, 1);
    tzset();
}

// An event record triggered on X and Z, kept in UTC, trigger and alarm 1 on.
qvraw_header base_header() {
    qvraw_header h{};
    h.file_type = 1, h.rec_origin = 1, h.rec_cause = 4, h.nsignals = 2;
    h.signals[0] = 1, h.signals[1] = 6, h.split_count = 1, h.dir_count = 3;
    h.start_time.sec = 1425470400, h.start_time.nsec = 123456000;
    h.trigger_time.sec = 1425470401;
    h.nsamples = 2048, h.peak[0] = 0.5, h.peak[1] = 0.25, h.triggered_chans = 5, h.vsum = 0.75;
    h.dom_freq[0] = 12.5, h.model = 1;
    std::strcpy(h.uid, "A1B2C3D4"), std::strcpy(h.name, "Bridge");
    std::strcpy(h.comment, "North pier"), std::strcpy(h.firmware, "1.4.5");
    std::strcpy(h.sensor_name, "Geo3");
    h.sensor_type = 1, h.sensor_unit = 1, h.sensor_range = 20, h.sensor_scale = 10;
    h.time_mode = 1, h.rate = 1024, h.filter = 3, h.trig_enabled = 1, h.trig_mode = 3;
    h.trig_chans = 7, h.trig_logic = 1, h.trig_threshold[0] = 0.5, h.trig_threshold[1] = 0.5;
    h.trig_threshold[2] = 1, h.pre_event = 1, h.post_event = 4;
    h.alarm1_enabled = 1, h.alarm1_mode = 6, h.alarm1_threshold[0] = 2.5;
    h.alarm2_mode = 13, h.alarm2_threshold[0] = 9, h.voltage = 12.25;
    return h;
}

const char *value(const qvascii_header &a, const char *group, const char *key) {
    return qvascii_entry_get_str(qvascii_group_get(qvascii_header_get(&a, group), key), nullptr);
}

TEST(ConvVocabulary, WordsMatchExactlyAndLocalReadsAsNamedZone) {
    for (const char *w : {"mm/S", "velocity", " Flat", "Y,X", "X, Y", "Unknown", ""})
        EXPECT_EQ(conv_vocab_code(sensor_unit_array, w) + conv_vocab_code(sensor_type_array, w) +
                      conv_vocab_code(acq_filter_array, w) + conv_vocab_code(chan_array, w),
                  0u)
            << w;
    EXPECT_EQ(conv_vocab_code(time_mode_array, "Local"), 3u);
    EXPECT_STREQ(conv_vocab_text(chan_array, 8), "None");
}

TEST(ConvToAscii, FullHeaderTextIsExact) {
    ascii_header a;
    qvraw_header h = base_header();
    ASSERT_EQ(conv_qvascii_from_qvraw_header(nullptr, &a.h, &h), 0);
    std::string want = R"(# [ASCII]|# Version=3|# |# [Recorder]|# Model=QV7300|# Name=Bridge|)"
                       R"(# Comment=North pier|# UID=A1B2C3D4|# Firmware=1.4.5|# |# [Sensor]|)"
                       R"(# Name=Geo3|# Type=Velocity|# Unit=mm/s|# Range=20|# Scale=10|# |)"
                       R"(# [StateOfHealth]|# Voltage=12.25|# |# [Time]|# Mode=UTC|# |)"
                       R"(# [Acquisition]|# Rate=1024|# Filter=FIR 1-50 Hz|# |# [Background]|)"
                       R"(# Enabled=False|# |# [Trigger]|# Enabled=True|# Mode=Filter|)"
                       R"(# Channels=X,Y,Z|# Logic=OR|# PreEvent=1|# PostEvent=4|)"
                       R"(# Threshold-X=0.5|# Threshold-Y=0.5|# Threshold-Z=1|# |# [Alarm1]|)"
                       R"(# Enabled=True|# Mode=VM VSum|# Threshold=2.5|# |# [Alarm2]|)"
                       R"(# Enabled=False|# |# [File]|# Type=Event|# RecordingOrigin=Local|)"
                       R"(# RecordingCause=Trigger|# DirCount=3|# SplitCount=1|)"
                       R"(# Signals=Raw + VM VSum|# StartDate=2015-03-04|)"
                       R"(# StartTime=12:00:00.123456|# TriggeredChannels=X,Z|)"
                       R"(# TriggerDate=2015-03-04|# TriggerTime=12:00:01|# Length=00:00:02|)"
                       R"(# Samples=2048|# Peak-X=5|# Peak-Y=2.5|# Peak-Z=0|# DomFreq-X=12.5|)"
                       R"(# DomFreq-Y=0|# DomFreq-Z=0|# VSUM=7.5|# |# [Columns]|# 1=Time|)"
                       R"(# 2=Raw X|# 3=Raw Y|# 4=Raw Z|# 5=VM VSum|# |)";
    for (std::size_t p; (p = want.find('|')) != std::string::npos;)
        want.replace(p, 1, "\r\n");
    char text[8192];
    int n = qvascii_header_print(&a.h, text, sizeof text);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(text, static_cast<std::size_t>(n)), want);
}

// Changes to the base record, each with entries and their expected values
// (null: the entry must be absent).
struct entry_want {
    const char *group, *key, *want;
};
struct condition_row {
    void (*change)(qvraw_header &);
    std::vector<entry_want> entries;
};

const std::vector<condition_row> &condition_rows() {
    using H = qvraw_header;
    static const std::vector<condition_row> rows = {
        {[](H &h) { h.file_type = 2, h.nsamples = 3, h.back_period = 600; },
         {{"File", "RecordingOrigin", nullptr},
          {"File", "DirCount", nullptr},
          {"File", "TriggeredChannels", "X,Z"},
          {"File", "Length", "00:30:00"}}},
        {[](H &h) { h.rec_cause = 3; },
         {{"File", "TriggeredChannels", nullptr}, {"File", "TriggerTime", nullptr}}},
        {[](H &h) { h.rate = 0; }, {{"File", "Length", "00:00:00"}}},
        {[](H &h) { h.file_type = 7; },
         {{"File", "Length", "00:00:00"}, {"File", "RecordingCause", nullptr}}},
        {[](H &h) { h.file_type = 2, h.back_mode = 3, h.kbftm[2] = 0.5; },
         {{"File", "KBFTm-Z", "0.5"}}},
        {[](H &h) { h.back_mode = 3; }, {{"File", "KBFTm-X", nullptr}}},
        {[](H &h) { h.peak[0] = -0.0, h.peak[1] = 0, h.vsum = 0, h.offset[2] = -0.05; },
         {{"File", "Peak-X", nullptr},
          {"File", "VSUM", "0"},
          {"File", "Offset-Z", "-0.5"},
          {"File", "Offset-X", "0"}}},
        {[](H &h) { h.dom_freq[0] = 0; }, {{"File", "DomFreq-X", nullptr}}},
        {[](H &h) {
             h.time_mode = 3, h.utc_offset = 3600;
             std::strcpy(h.region, "Europe"), std::strcpy(h.city, "Paris");
         },
         {{"Time", "Region", "Europe"},
          {"Time", "City", "Paris"},
          {"Time", "UTCOffset", "3600"},
          {"File", "StartTime", "13:00:00.123456"}}},
        {[](H &h) { h.time_mode = 2, h.utc_offset = 7200; },
         {{"Time", "Mode", "Local"},
          {"Time", "UTCOffset", nullptr},
          {"File", "StartTime", "13:00:00.123456"}}},
        {[](H &h) { h.trig_enabled = 0; },
         {{"Trigger", "Mode", nullptr}, {"Trigger", "Threshold-X", nullptr}}},
        {[](H &h) { h.back_enabled = 1, h.back_mode = 1, h.back_period = 60; },
         {{"Background", "Mode", "Peak + VSUM"}, {"Background", "Period", "60"}}},
        {[](H &h) { h.back_period = 60; }, {{"Background", "Period", nullptr}}},
        {[](H &h) { h.file_type = 2, h.back_period = 60; }, {{"Background", "Period", "60"}}},
        {[](H &h) { h.alarm1_mode = 5, h.alarm2_enabled = 1, h.alarm2_threshold[2] = 3; },
         {{"Alarm1", "Mode", "VM Peak"},
          {"Alarm1", "Threshold", nullptr},
          {"Alarm2", "Threshold-X", "9"},
          {"Alarm2", "Threshold-Z", "3"}}},
        {[](H &h) { h.alarm1_enabled = 0; },
         {{"Alarm1", "Mode", nullptr}, {"Alarm1", "Threshold", nullptr}}},
        {[](H &h) { h.nsignals = 0; },
         {{"File", "Signals", ""}, {"Columns", "1", "Time"}, {"Columns", "2", nullptr}}},
        {[](H &h) { h.signals[0] = 5; },
         {{"File", "Signals", "VM Peak + VM VSum"},
          {"Columns", "4", "VM Peak Z"},
          {"Columns", "5", "VM VSum"}}},
        {[](H &h) { h.nsignals = 5, h.signals[2] = 1, h.signals[3] = 7; },
         {{"File", "Signals", "Raw + VM VSum + Raw + VM Freq"},
          {"Columns", "9", "VM Freq X"},
          {"Columns", "11", "VM Freq Z"},
          {"Columns", "12", nullptr}}},
        {[](H &h) { h.signals[0] = 14, h.model = 2, h.filter = 6; },
         {{"Columns", "2", "Unknown X"},
          {"Recorder", "Model", "Unknown"},
          {"Acquisition", "Filter", "Unknown"}}},
        {[](H &h) { std::memset(h.name, 'n', sizeof h.name), std::strcpy(h.comment, "a\r\nb"); },
         {{"Recorder", "Name", "nnnnnnnnnnnnnnnnnnnnn"}, {"Recorder", "Comment", "a  b"}}},
    };
    return rows;
}

TEST(ConvToAscii, EveryConditionWritesOrOmitsItsEntries) {
    set_tz("Europe/Paris");
    for (const condition_row &r : condition_rows()) {
        qvraw_header h = base_header();
        r.change(h);
        ascii_header a;
        ASSERT_EQ(qvraw_header_to_qvascii(&a.h, &h), 0);
        for (const entry_want &e : r.entries) {
            const char *got = value(a.h, e.group, e.key);
            std::string want = e.want ? e.want : "(absent)";
            EXPECT_EQ(got ? got : "(absent)", want) << e.group << "/" << e.key;
        }
    }
}

// What a canonical header keeps through ASCII and back.
qvraw_header survivors(qvraw_header h) {
    auto listed = [](std::span<const conv_vocab> t, std::uint32_t &c) {
        if (std::strcmp(conv_vocab_text(t, c), t[0].text) == 0) c = 0;
    };
    auto text = [](char *s, std::size_t n) {
        s[n - 1] = '\0';
        std::memset(s + std::strlen(s), 0, n - std::strlen(s));
        for (char *p = s; *p; p++)
            if (*p == '\r' || *p == '\n') *p = ' ';
    };
    text(h.name, sizeof h.name), text(h.comment, sizeof h.comment);
    bool kbftm = h.file_type == 2 && h.back_mode == 3;
    if (h.rec_cause != 4) h.triggered_chans = 0, h.trigger_time = {};
    if (h.file_type != 1) h.rec_origin = h.rec_cause = 0, h.dir_count = h.split_count = 1;
    if (!kbftm) std::memset(h.kbftm, 0, sizeof h.kbftm);
    listed(rec_type_array, h.file_type);
    h.model = h.model == 1, h.nsignals = std::min<std::size_t>(h.nsignals, 4), h.nfreqs = 0;
    listed(acq_filter_array, h.filter);
    for (std::size_t i = 0; i < 4; i++)
        i < h.nsignals ? listed(signal_type_array, h.signals[i]) : void(h.signals[i] = 0);
    std::memset(h.magic, 0, sizeof h.magic), h.xqv_code = 0;
    for (int i = 0; i < 3; i++)
        h.reserved_a[i] = h.trig_aux_a[i] = h.trig_aux_b[i] = 0, h.peak[i] += 0.0,
        h.offset[i] += 0.0, h.dom_freq[i] += 0.0;
    for (int i = 3; i < 12; i++)
        h.peak[i] = h.offset[i] = h.dom_freq[i] = 0;
    std::memset(h.reserved_b, 0, sizeof h.reserved_b);
    h.start_time.nsec -= h.start_time.nsec % 1000,
        h.trigger_time.nsec -= h.trigger_time.nsec % 1000;
    if (h.time_mode != 3)
        std::memset(h.region, 0, sizeof h.region), std::memset(h.city, 0, sizeof h.city),
            h.utc_offset = 0;
    if (!h.back_enabled) h.back_mode = 0, h.back_period = h.file_type == 2 ? h.back_period : 1;
    if (!h.trig_enabled)
        h.trig_mode = h.trig_chans = h.trig_logic = h.pre_event = h.post_event = 0,
        std::memset(h.trig_threshold, 0, sizeof h.trig_threshold);
    for (auto [en, mode, thr] :
         {std::tuple{&h.alarm1_enabled, &h.alarm1_mode, h.alarm1_threshold},
          std::tuple{&h.alarm2_enabled, &h.alarm2_mode, h.alarm2_threshold}}) {
        if (!*en) *mode = 0;
        if (*mode != 6 && *mode != 13) thr[0] = 0;
        if (*mode != 13) thr[1] = thr[2] = 0;
    }
    return h;
}

TEST(ConvRoundTrip, KeepsWhatTheAsciiHeaderCarries) {
    set_tz("Europe/Paris");
    for (std::size_t i = 0; i < condition_rows().size(); i++) {
        SCOPED_TRACE(i);
        const condition_row &r = condition_rows()[i];
        qvraw_header in = base_header(), out;
        r.change(in);
        in.xqv_code = 9, in.reserved_b[4] = 1, in.peak[5] = 1, in.start_time.nsec += 999;
        ascii_header a;
        ASSERT_EQ(qvraw_header_to_qvascii(&a.h, &in), 0);
        ASSERT_EQ(qvraw_header_from_qvascii(&out, &a.h), 0u);
        qvraw_header want = survivors(in);
        EXPECT_EQ(std::memcmp(&out, &want, sizeof out), 0);
    }
}

// --- Reading: required groups, defaults and modes --------------------------

// Header text with '|' for line ends (LF) into a canonical header.
std::uint32_t from_text(qvraw_header &h, std::string text) {
    ascii_header a;
    qvascii_header_init(&a.h);
    std::replace(text.begin(), text.end(), '|', '\n');
    EXPECT_GE(qvascii_header_parse(&a.h, text.data()), 0) << text;
    return qvraw_header_from_qvascii(&h, &a.h);
}

const std::string required = "# [Recorder]|# [Sensor]|# Scale=10|# [Acquisition]|";

TEST(ConvFromAscii, MissingRequiredGroupIsNamedInOrder) {
    const std::pair<const char *, const char *> rows[] = {
        {"# [Sensor]|# [File]|", "Recorder group doesn't exist in header"},
        {"# [Recorder]|# [Acquisition]|", "Sensor group doesn't exist in header"},
        {"# [Recorder]|# [Sensor]|# [File]|", "Acquisition group doesn't exist in header"},
        {"# [Recorder]|# [Sensor]|# [Acquisition]|", "File group doesn't exist in header"},
    };
    for (auto [text, msg] : rows) {
        qvraw_header h;
        std::uint32_t err = from_text(h, text);
        EXPECT_STREQ(conv_qvascii_strerror(&err), msg);
        EXPECT_STREQ(conv_qvascii_strerror(&err), "None");
    }
    ascii_header empty;
    qvraw_header h;
    std::uint32_t err = 0;
    EXPECT_EQ(conv_qvascii_to_qvraw_header(&err, &h, &empty.h), -1);
    EXPECT_EQ(err, 1u);
}

TEST(ConvFromAscii, DefaultsAndTimeModes) {
    set_tz("Europe/Paris");
    const std::string file = "# [File]|# StartDate=2015-07-01|# StartTime=12:00:00|";
    const struct {
        std::string time;
        std::uint32_t mode;
        long sec;
    } rows[] = {
        {"", 2, 1435744800}, // no "Time" group: local time (summer, UTC+2)
        {"# [Time]|# Mode=Local|# Region=Europe|# City=Paris|# UTCOffset=3600|", 3, 1435748400},
        {"# [Time]|# Mode=Local|# Region=Europe|# UTCOffset=3600|", 2, 1435744800},
        {"# [Time]|# Mode=UTC|# Region=Europe|# City=Paris|", 1, 1435752000},
        {"# [Time]|# City=Paris|", 0, 1435752000},
    };
    qvraw_header h;
    for (auto &r : rows) {
        ASSERT_EQ(from_text(h, required + r.time + file), 0u);
        EXPECT_EQ(h.time_mode, r.mode) << r.time;
        EXPECT_EQ(h.start_time.sec, r.sec) << r.time;
    }
    const std::uint32_t got[] = {h.rate, h.back_period, h.dir_count, h.split_count, h.nsamples};
    EXPECT_EQ(std::vector<std::uint32_t>(got, got + 5),
              (std::vector<std::uint32_t>{1, 0, 1, 1, 0}));
    EXPECT_EQ(h.nsignals, 0u);

    ASSERT_EQ(from_text(h, required + "# [Background]|# [Alarm1]|# Mode=Level|# Threshold=4|"
                                      "# [File]|# Signals=Raw +  + VM Peak + VM VSum + Raw|"),
              0u);
    EXPECT_EQ(h.back_period, 1u);
    EXPECT_EQ(h.alarm1_mode, 13u);
    EXPECT_EQ(h.alarm1_threshold[0], 0.0);
    EXPECT_EQ((std::vector<std::uint32_t>(h.signals, h.signals + h.nsignals)),
              (std::vector<std::uint32_t>{1, 0, 5, 6}));
}

} // namespace
