// Canonical header <-> ASCII header: the exact text, the written groups and
// their conditions, what a round trip keeps, and the defaults of reading.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

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
    h.file_type = QVRAW_FILETYPE_EVENT, h.rec_origin = QVRAW_ORIGIN_LOCAL,
    h.rec_cause = QVRAW_CAUSE_TRIGGER, h.nsignals = 2;
    h.signals[0] = QVRAW_SIGNAL_RAW, h.signals[1] = QVRAW_SIGNAL_VM_VSUM, h.split_count = 1,
    h.dir_count = 3;
    h.start_time.sec = 1425470400, h.start_time.nsec = 123456000;
    h.trigger_time.sec = 1425470401;
    h.nsamples = 2048, h.peak[0] = 0.5, h.peak[1] = 0.25,
    h.triggered_chans = QVRAW_CHAN_X | QVRAW_CHAN_Z, h.vsum = 0.75;
    h.dom_freq[0] = 12.5, h.model = QVRAW_MODEL_QV7300;
    std::strcpy(h.uid, "A1B2C3D4"), std::strcpy(h.name, "Bridge");
    std::strcpy(h.comment, "North pier"), std::strcpy(h.firmware, "1.4.5");
    std::strcpy(h.sensor_name, "Geo3");
    h.sensor_type = QVRAW_SENSOR_VELOCITY, h.sensor_unit = QVRAW_UNIT_MM_S, h.sensor_range = 20,
    h.sensor_scale = 10;
    h.time_mode = QVRAW_TIME_UTC, h.rate = 1024, h.filter = QVRAW_FILTER_FIR_1_50,
    h.trig_enabled = 1, h.trig_mode = QVRAW_SIGNAL_FILTER;
    h.trig_chans = QVRAW_CHAN_XYZ, h.trig_logic = QVRAW_LOGIC_OR, h.trig_threshold[0] = 0.5,
    h.trig_threshold[1] = 0.5;
    h.trig_threshold[2] = 1, h.pre_event = 1, h.post_event = 4;
    h.alarm1_enabled = 1, h.alarm1_mode = QVRAW_SIGNAL_VM_VSUM, h.alarm1_threshold[0] = 2.5;
    h.alarm2_mode = QVRAW_SIGNAL_LEVEL, h.alarm2_threshold[0] = 9, h.voltage = 12.25;
    return h;
}

const char *value(const qvascii_header &a, const char *group, const char *key) {
    return qvascii_entry_get_str(qvascii_group_get(qvascii_header_get(&a, group), key), nullptr);
}

std::string printed(const qvascii_header &a) {
    static char text[8192];
    int n = qvascii_header_print(&a, text, sizeof text);
    return std::string(text, static_cast<std::size_t>(std::max(n, 0)));
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
    EXPECT_EQ(printed(a.h), want);
}

// Changes to the base record, each with entries "Group/Key=value" and their
// expected values, ';' between them (no '=': the entry must be absent).
struct condition_row {
    void (*change)(qvraw_header &);
    const char *entries;
};

const std::vector<condition_row> &condition_rows() {
    using H = qvraw_header;
    static const std::vector<condition_row> rows = {
        {[](H &h) { h.file_type = QVRAW_FILETYPE_BACKGROUND, h.nsamples = 3, h.back_period = 600; },
         "File/RecordingOrigin;File/DirCount;File/TriggeredChannels=X,Z;File/Length=00:30:00"},

        {[](H &h) {
             h.file_type = QVRAW_FILETYPE_BACKGROUND, h.back_mode = QVRAW_BACK_KBFTI,
             h.kbftm[2] = 0.5;
         },
         "File/KBFTm-Z=0.5"},
        {[](H &h) { h.peak[0] = -0.0, h.peak[1] = 0, h.vsum = 0, h.offset[2] = -0.05; },
         "File/Peak-X;File/VSUM=0;File/Offset-Z=-0.5;File/Offset-X=0"},
        {[](H &h) {
             h.time_mode = QVRAW_TIME_LOCAL_ZONE, h.utc_offset = 3600;
             std::strcpy(h.region, "Europe"), std::strcpy(h.city, "Paris");
         },
         "Time/Region=Europe;Time/City=Paris;Time/UTCOffset=3600;File/StartTime=13:00:00.123456"},
        {[](H &h) { h.time_mode = QVRAW_TIME_LOCAL, h.utc_offset = 7200; },
         "Time/Mode=Local;Time/UTCOffset;File/StartTime=13:00:00.123456"},

        {[](H &h) { h.back_enabled = 1, h.back_mode = QVRAW_BACK_PEAK_VSUM, h.back_period = 60; },
         "Background/Mode=Peak + VSUM;Background/Period=60"},

        {[](H &h) {
             h.alarm1_mode = QVRAW_SIGNAL_VM_PEAK, h.alarm2_enabled = 1, h.alarm2_threshold[2] = 3;
         },
         "Alarm1/Mode=VM Peak;Alarm1/Threshold;Alarm2/Threshold-X=9;Alarm2/Threshold-Z=3"},

        {[](H &h) { h.signals[0] = QVRAW_SIGNAL_VM_PEAK; },
         "File/Signals=VM Peak + VM VSum;Columns/4=VM Peak Z;Columns/5=VM VSum"},
        {[](H &h) {
             h.nsignals = 5, h.signals[2] = QVRAW_SIGNAL_RAW, h.signals[3] = QVRAW_SIGNAL_VM_FREQ;
         },
         "File/Signals=Raw + VM VSum + Raw + VM Freq;Columns/9=VM Freq X;Columns/11=VM Freq "
         "Z;Columns/12"},
        {[](H &h) { h.signals[0] = 14, h.model = 2, h.filter = 6; },
         "Columns/2=Unknown X;Recorder/Model=Unknown;Acquisition/Filter=Unknown"},
        {[](H &h) { std::memset(h.name, 'n', sizeof h.name), std::strcpy(h.comment, "a\r\nb"); },
         "Recorder/Name=nnnnnnnnnnnnnnnnnnnnn;Recorder/Comment=a  b"},
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
        std::stringstream list(r.entries);
        for (std::string e; std::getline(list, e, ';');) {
            std::size_t slash = e.find('/'), eq = e.find('=');
            const char *got =
                value(a.h, e.substr(0, slash).c_str(), e.substr(slash + 1, eq - slash - 1).c_str());
            EXPECT_EQ(got ? got : "(absent)", eq == e.npos ? "(absent)" : e.substr(eq + 1)) << e;
        }
    }
}

// What the text header of an event record carries is read back as it was:
// written again, it gives the same text. (Other records drop their trigger
// entries on reading, and a name without its terminator loses a character.)
TEST(ConvRoundTrip, EventHeaderReadsBackAsWritten) {
    set_tz("Europe/Paris");
    for (std::size_t i = 0; i < condition_rows().size(); i++) {
        qvraw_header in = base_header(), out;
        condition_rows()[i].change(in);
        if (in.file_type != QVRAW_FILETYPE_EVENT || !std::memchr(in.name, 0, sizeof in.name))
            continue;
        ascii_header a, b;
        ASSERT_EQ(qvraw_header_to_qvascii(&a.h, &in), 0);
        ASSERT_EQ(qvraw_header_from_qvascii(&out, &a.h), 0u);
        ASSERT_EQ(qvraw_header_to_qvascii(&b.h, &out), 0);
        EXPECT_EQ(printed(b.h), printed(a.h)) << i;
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

TEST(ConvFromAscii, TimeModesComeFromTheirWordsAndMissingEntriesFromDefaults) {
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
}

} // namespace
