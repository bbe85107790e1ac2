// Record facts: channel names and factors as the text format writes its
// columns, times as the text format shows them (whatever the machine's zone
// unless the record is in local time), durations and the trigger.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "cli.h"
#include "conv-qvascii.h"
#include "describe.h"

namespace {

void set_tz(const char *tz) {
    setenv("TZ", tz, 1);
    tzset();
}

qvraw_header record(std::initializer_list<std::uint32_t> signals) {
    qvraw_header h{};
    h.file_type = QVRAW_FILETYPE_EVENT;
    h.nsignals = signals.size();
    std::size_t i = 0;
    for (std::uint32_t s : signals)
        h.signals[i++] = s;
    h.sensor_unit = QVRAW_UNIT_MG, h.sensor_scale = 10, h.rate = 1024, h.nsamples = 2048,
    h.time_mode = QVRAW_TIME_UTC;
    h.start_time.sec = 1425470400;
    std::snprintf(h.name, sizeof h.name, "Bridge");
    return h;
}

// The "Columns" group the text format writes for `h`, from column 2 on.
std::vector<std::string> text_columns(const qvraw_header &h) {
    qvascii_header a{};
    qvraw_header_to_qvascii(&a, &h);
    std::vector<std::string> v;
    const qvascii_group *g = qvascii_header_get(&a, "Columns");
    for (int c = 2; const qvascii_entry *e = qvascii_group_get(g, std::to_string(c).c_str()); c++)
        v.push_back(e->value);
    qvascii_header_cleanup(&a);
    return v;
}

TEST(RecordFacts, ChannelsAreNamedAsTheTextFormatHeadsItsColumns) {
    const std::initializer_list<std::uint32_t> cases[] = {
        {1}, {1, 6}, {5, 6}, {4}, {5, 7}, {11, 12}, {6, 6, 6, 6}, {3, 3, 3, 6}, {99},
    };
    for (auto signals : cases) {
        qvraw_header h = record(signals);
        qvdesc_record d;
        qvdesc_describe(&d, &h);
        std::vector<std::string> names;
        for (std::size_t c = 0; c < d.nchans; c++)
            names.push_back(d.chan[c].name);
        EXPECT_EQ(names, text_columns(h)) << "first signal " << *signals.begin();
    }
    qvraw_header h = record({6, 6, 6, 6});
    h.nsignals = 7; // only the first four signals count
    qvdesc_record d;
    qvdesc_describe(&d, &h);
    EXPECT_EQ(d.nchans, 4u);
    EXPECT_STREQ(d.chan[3].name, "VM VSum");
}

// A frame of 1.0 in every channel written as text shows each column's factor.
class RecordFactsFile : public cli::test {};

TEST_F(RecordFactsFile, FactorsAreThoseTheTextFormatWritesWith) {
    qvraw_header h = record({5, 7, 4, 6});
    h.peak[0] = 0.5, h.peak[3] = 2, h.vsum = 0.25;
    qvdesc_record d;
    qvdesc_describe(&d, &h);
    ASSERT_EQ(d.nchans, 10u);

    qvfmt_handle *f = nullptr;
    ASSERT_EQ(qvfmt_open(&f, path("r.txt").c_str(), 0, QVFMT_MODE_WRITE), 0);
    double ones[10] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    ASSERT_EQ(qvfmt_write_header(f, &h), 0);
    ASSERT_EQ(qvfmt_write_data(f, ones, 1, 10), 1);
    ASSERT_EQ(qvfmt_close(f), 0);
    std::string text = get("r.txt");
    std::istringstream line(text.substr(text.rfind("\n", text.size() - 3) + 1));
    double t, v;
    line >> t;
    for (std::size_t c = 0; c < d.nchans; c++) {
        ASSERT_TRUE(line >> v);
        EXPECT_EQ(d.chan[c].factor, v) << d.chan[c].name;
    }
    EXPECT_EQ(d.chan[0].peak, 5.0); // VM Peak X, in the sensor's units
    EXPECT_EQ(d.chan[3].peak, 2.0); // VM Freq X, a frequency as stored
    EXPECT_STREQ(d.chan[0].unit, "mg");
    EXPECT_STREQ(d.chan[3].unit, "");
    EXPECT_EQ(d.vsum, 2.5);
    EXPECT_STREQ(d.unit, "mg");
}

TEST(RecordFacts, TimesFollowTheRecordsTimeModeAsTheTextFormatDoes) {
    const struct {
        std::uint32_t mode;
        std::int32_t offset;
        long sec;
        std::int32_t nsec;
        const char *tz; // the machine's zone
        const char *iso;
        const char *zone_name;
    } cases[] = {
        {1, 0, 1425470400, 123456789, "Europe/Amsterdam", "2015-03-04T12:00:00.123456Z", "UTC"},
        {0, 0, 1425470400, 999, "Europe/Amsterdam", "2015-03-04T12:00:00Z", "UTC"},
        {3, 3600, 1425470400, 0, "America/New_York", "2015-03-04T13:00:00+01:00", "Europe/Paris"},
        {3, -34200, 1425470400, 0, "UTC", "2015-03-04T02:30:00-09:30", "Europe/Paris"},
        {3, 20730, 1425470400, 0, "UTC", "2015-03-04T17:45:30+05:45:30", "Europe/Paris"},
        // Local time without a zone: the machine's, daylight saving included.
        {2, 0, 1425470400, 0, "Europe/Amsterdam", "2015-03-04T13:00:00+01:00", "local"},
        {2, 0, 1435752000, 0, "Europe/Amsterdam", "2015-07-01T14:00:00+02:00", "local"},
        {2, 0, 1425470400, 0, "UTC", "2015-03-04T12:00:00+00:00", "local"},
    };
    for (auto &c : cases) {
        set_tz(c.tz);
        qvraw_header h = record({1});
        h.time_mode = c.mode, h.utc_offset = c.offset;
        h.start_time.sec = c.sec, h.start_time.nsec = c.nsec;
        std::strcpy(h.region, "Europe"), std::strcpy(h.city, "Paris");
        qvdesc_record d;
        qvdesc_describe(&d, &h);
        EXPECT_STREQ(d.start.iso, c.iso) << c.tz;
        EXPECT_STREQ(d.zone_name, c.zone_name);
        EXPECT_EQ(d.start.nsec, c.nsec);

        // The date and time are the text format's.
        qvascii_header a{};
        qvraw_header_to_qvascii(&a, &h);
        const qvascii_group *g = qvascii_header_get(&a, "File");
        EXPECT_STREQ(d.start.date, qvascii_group_get(g, "StartDate")->value);
        EXPECT_STREQ(d.start.time, qvascii_group_get(g, "StartTime")->value);
        qvascii_header_cleanup(&a);
    }
    set_tz("UTC");
}

TEST(RecordFacts, DurationIntervalAndTriggerFollowTheRecordType) {
    qvraw_header h = record({1});
    h.rec_cause = QVRAW_CAUSE_TRIGGER, h.trigger_time.sec = 1425470401,
    h.trigger_time.nsec = 250000000;
    qvdesc_record d;
    qvdesc_describe(&d, &h);
    EXPECT_STREQ(d.type, "event");
    EXPECT_EQ(d.duration, 2.0);
    EXPECT_EQ(d.interval, 1.0 / 1024);
    EXPECT_TRUE(d.has_trigger);
    EXPECT_EQ(d.trigger_offset, 1.25);
    EXPECT_STREQ(d.trigger.iso, "2015-03-04T12:00:01.250000Z");
    EXPECT_STREQ(d.recorder, "Bridge");

    h.rec_cause = QVRAW_CAUSE_TIMED, h.rate = 0; // timed, no rate: no interval can be stated
    qvdesc_describe(&d, &h);
    EXPECT_FALSE(d.has_trigger);
    EXPECT_EQ(d.duration, 0.0);
    EXPECT_EQ(d.interval, 0.0);

    h.file_type = QVRAW_FILETYPE_BACKGROUND, h.nsamples = 3, h.back_period = 600;
    qvdesc_describe(&d, &h);
    EXPECT_STREQ(d.type, "background");
    EXPECT_EQ(d.duration, 1800.0);
    EXPECT_EQ(d.interval, 600.0);
    // A recorder-binary file holds the variant of its record, whatever its name.
    EXPECT_EQ(qvdesc_file_format(QVFMT_XQV, &h), unsigned(QVFMT_BQV));
    EXPECT_EQ(qvdesc_file_format(QVFMT_RAW, &h), unsigned(QVFMT_RAW));

    h.file_type = 7;
    qvdesc_describe(&d, &h);
    EXPECT_STREQ(d.type, "unknown");
    EXPECT_EQ(d.duration, 0.0);

    // A name that fills its field without a NUL is kept whole.
    std::memset(h.name, 'N', sizeof h.name);
    qvdesc_describe(&d, &h);
    EXPECT_EQ(std::string(d.recorder), std::string(sizeof h.name, 'N'));
}

} // namespace
