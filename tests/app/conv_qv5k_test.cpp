// Canonical header to and from the 256-byte recorder-binary header: the
// exact bytes of both variants, every coded field in both directions, the
// refusals with their texts, and record values that must not be misread.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <string>

#include "conv-qv5k.h"

namespace {

using Image = std::array<std::uint8_t, 256>;

struct Tz {
    explicit Tz(const char *tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    ~Tz() {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

qvraw_timestamp ts(long sec, std::int32_t nsec) {
    qvraw_timestamp t{};
    t.sec = sec;
    t.nsec = nsec;
    return t;
}

void put(Image &img, std::size_t off, std::initializer_list<int> bytes) {
    for (int b : bytes)
        img[off++] = static_cast<std::uint8_t>(b);
}
void put(Image &img, std::size_t off, const std::string &text) {
    std::memcpy(&img[off], text.data(), text.size());
}

// A triggered velocity event on X and Z, 2010-01-01 01:01:01.25 UTC, kept in
// a zone one hour ahead.
qvraw_header event_header() {
    qvraw_header c{};
    c.file_type = 1, c.rec_origin = 1, c.rec_cause = 4, c.triggered_chans = 5;
    c.nsignals = 1, c.signals[0] = 3, c.dir_count = 0x1234, c.nsamples = 70000;
    c.start_time = ts(1262307659, 250000000);
    c.trigger_time = ts(1262307661, 250000000);
    c.peak[0] = 0.5, c.peak[1] = 1.0, c.peak[2] = 0.25, c.offset[0] = -0.5, c.offset[1] = 0.001;
    c.xqv_code = 0x1AB, c.dom_freq[0] = 12.34, c.dom_freq[2] = 6553.5, c.model = 1;
    std::strcpy(c.uid, "AB12");
    std::strcpy(c.name, "Site-7");
    std::strcpy(c.firmware, "2.1.4-rc3");
    c.sensor_type = 1, c.sensor_unit = 1, c.sensor_range = 250, c.time_mode = 1;
    c.utc_offset = 3600, c.rate = 1000, c.filter = 7;
    c.trig_enabled = 1, c.trig_mode = 4, c.trig_chans = 7, c.trig_logic = 2;
    c.trig_threshold[0] = 1.0, c.trig_threshold[1] = 0.5, c.trig_threshold[2] = 125.0;
    c.trig_aux_a[0] = 2.5, c.trig_aux_a[1] = 7, c.trig_aux_a[2] = 1.5;
    c.trig_aux_b[0] = 4, c.trig_aux_b[2] = 3;
    c.back_enabled = 1, c.back_mode = 2, c.back_period = 300, c.pre_event = 2;
    c.post_event = 260, c.voltage = 12.3456, c.kbftm[0] = 0.5;
    return c;
}

Image event_image() {
    Image e{};
    put(e, 0, {0x34, 0, 0, 0, 0, 0, 0, 0, 0x70, 0x11, 0x01, 0x00});
    put(e, 12, {0x00, 0x00, 0x40, 0xB9, 0xFC, 0x7F, 0x00, 0x00, 0x20, 0xAB});
    put(e, 33, {0xFA, 0x00, 0x01, 0x01, 0x02, 0x01, 0x01, 0x10});
    put(e, 54, {0xE8, 0x03, 3, 0, 2, 1, 4, 3, 0x66, 24});
    put(e, 64, "XQV5416");
    put(e, 83, {0xD2, 0x05, 0xF8, 0xD2, 0x05, 0xF8, 0xD2, 0x05, 0xF8});
    put(e, 92, " mm/s mm/s mm/sX/LY/TZ/V");
    put(e, 116, {0x24, 0x06, 0x01, 0x12, 0x83, 0x00, 0x00, 0x00, 0x80});
    put(e, 125, {4, 25, 6, 0, 0, 0, 3, 15, 5});
    put(e, 138, {1, 0, 5, 1, 5, 2, 4});
    put(e, 145, "Site-7-AB12                   V");
    put(e, 180, {0x3A, 0x30, 0, 0, 0, 0x00, 0x00, 0xC0, 0xC4, 0x20, 0x00});
    put(e, 213, {0x2C, 0, 10, 0x10, 0x27, 0x10, 0x27, 0x10, 0x27});
    put(e, 247, {0x7B, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0});
    return e;
}

// A background record of peaks and vector sums, 2010-07-14 14:00 in Paris.
qvraw_header background_header() {
    qvraw_header c{};
    c.file_type = 2, c.rec_origin = 1, c.rec_cause = 1, c.nsignals = 2;
    c.signals[0] = 5, c.signals[1] = 6, c.dir_count = 7, c.nsamples = 3;
    c.start_time = ts(1279108800, 999999999);
    c.peak[0] = 1.0, c.peak[1] = 0.5, c.peak[2] = -0.2, c.offset[0] = 0.1, c.offset[1] = -0.1;
    c.xqv_code = 99, c.dom_freq[0] = 5, c.sensor_type = 2, c.sensor_unit = 2;
    c.sensor_range = 1000, c.time_mode = 2, c.rate = 10, c.filter = 6;
    c.trig_chans = 5, c.trig_mode = 99, c.trig_threshold[0] = 3; // trigger off: ignored
    c.back_enabled = 1, c.back_mode = 1, c.back_period = 60, c.pre_event = 5;
    c.post_event = 6, c.voltage = 3.3, c.kbftm[0] = 0.25, c.kbftm[1] = 1.5;
    return c;
}

Image background_image() {
    Image e{};
    put(e, 0, {7, 0, 0, 0, 6, 0, 0, 0, 3, 0, 0, 0});
    put(e, 12, {0xCB, 0xFF, 0x07, 0x00, 0x00, 0x04, 0x67, 0x66, 0xFE});
    put(e, 33, {0x09, 0x00, 0x00, 0x00, 0x14, 0x14, 0x07, 0x10});
    put(e, 54, {10, 0, 3, 0, 1, 0, 0, 0, 0x00, 20});
    put(e, 64, "XQV5416");
    put(e, 83, {0x40, 0x25, 0xF9, 0x40, 0x25, 0xF9, 0x40, 0x25, 0xF9});
    put(e, 92, "   mg   mg   mgX/LY/TZ/V");
    put(e, 140, {7, 0, 0, 5, 6});
    put(e, 145, "-                             A");
    put(e, 180, {0xE4, 0x0C, 0, 0, 0, 0xCC, 0xCC, 0x00, 0x34, 0x33, 0xFF});
    put(e, 213, {60, 0, 8, 0x10, 0x27, 0x10, 0x27, 0x10, 0x27});
    put(e, 247, {0x00, 0x00, 0x02, 0xCB, 0xFF, 0x07});
    return e;
}

class ConvQv5k : public ::testing::Test {
protected:
    Tz tz{"UTC"};
    std::uint32_t err = 0;
    qv5k_header rec{};
    qvraw_header canon{};

    std::uint32_t to_xqv(const qvraw_header &c) {
        return conv_qv5k_to_xqv_header(&err, &rec, &c) == 0 ? 0 : err;
    }
    std::uint32_t to_bqv(const qvraw_header &c) {
        return conv_qv5k_to_bqv_header(&err, &rec, &c) == 0 ? 0 : err;
    }
    std::uint32_t from(const qv5k_header &h) {
        int rc = h.rec_mode == 0 ? conv_qv5k_from_xqv_header(&err, &canon, &h)
                                 : conv_qv5k_from_bqv_header(&err, &canon, &h);
        return rc == 0 ? 0 : err;
    }
    void load(const Image &img) { std::memcpy(&rec, img.data(), 256); }
};

TEST_F(ConvQv5k, BothVariantsAreWrittenByteForByte) {
    ASSERT_EQ(to_xqv(event_header()), 0u);
    Image want = event_image();
    for (std::size_t i = 0; i < 256; ++i)
        EXPECT_EQ(reinterpret_cast<std::uint8_t *>(&rec)[i], want[i]) << "xqv byte " << i;
    Tz paris("Europe/Paris");
    ASSERT_EQ(to_bqv(background_header()), 0u);
    want = background_image();
    for (std::size_t i = 0; i < 256; ++i)
        EXPECT_EQ(reinterpret_cast<std::uint8_t *>(&rec)[i], want[i]) << "bqv byte " << i;
}

TEST_F(ConvQv5k, RecordsReadBackAsTheExpectedCanonicalHeader) {
    load(event_image());
    ASSERT_EQ(from(rec), 0u);
    qvraw_header w{};
    w.file_type = 1, w.rec_origin = 1, w.rec_cause = 4, w.triggered_chans = 5;
    w.nsignals = 1, w.signals[0] = 3, w.dir_count = 0x34, w.nsamples = 70000;
    // The record's wall clock (02:01:01) is read back as local time (UTC).
    w.trigger_time = ts(1262311261, 250000000);
    w.start_time = ts(1262311259, 250000000);
    w.peak[0] = 0.5, w.peak[1] = 8387769.0 / 8388608, w.peak[2] = 0.25;
    w.offset[0] = -0.5, w.offset[1] = 8388.0 / 8388608;
    w.xqv_code = 0xAB, w.dom_freq[0] = 12.3, w.dom_freq[2] = 6553.5, w.model = 1;
    std::strcpy(w.uid, "AB12");
    std::strcpy(w.name, "Site-7");
    std::strcpy(w.firmware, "2.1.4-rc3");
    w.sensor_type = 1, w.sensor_unit = 1, w.sensor_range = 250, w.sensor_scale = 125;
    w.time_mode = 2, w.rate = 1000, w.filter = 7;
    w.trig_threshold[0] = 1.0, w.trig_threshold[1] = 0.5, w.trig_threshold[2] = 124.99;
    w.trig_aux_a[0] = 2, w.trig_aux_a[2] = 1, w.trig_aux_b[0] = 4, w.trig_aux_b[2] = 3;
    w.back_enabled = 1, w.back_mode = 2, w.back_period = 44;
    w.trig_enabled = 1, w.trig_mode = 4, w.trig_chans = 7, w.trig_logic = 2;
    w.pre_event = 2, w.post_event = 4, w.voltage = 12.346;
    EXPECT_EQ(std::memcmp(&canon, &w, sizeof w), 0);

    Tz paris("Europe/Paris");
    load(background_image());
    ASSERT_EQ(from(rec), 0u);
    w = qvraw_header{};
    w.file_type = 2, w.rec_origin = 1, w.rec_cause = 1, w.nsignals = 2;
    w.signals[0] = 5, w.signals[1] = 6, w.dir_count = 7, w.nsamples = 3;
    w.start_time = ts(1279108800, 900000000);
    // Peaks are unsigned counts: a negative one comes back far above 1.
    w.peak[0] = 524235.0 / 524288, w.peak[1] = 0.5, w.peak[2] = 16672359.0 / 524288;
    w.offset[0] = 52428.0 / 524288, w.offset[1] = -52428.0 / 524288;
    w.kbftm[0] = 0.25, w.kbftm[1] = 524235.0 / 524288, w.model = 1;
    std::strcpy(w.firmware, "1.0.0");
    w.sensor_type = 2, w.sensor_unit = 2, w.sensor_range = 1000, w.sensor_scale = 500;
    w.time_mode = 2, w.rate = 10, w.filter = 1, w.trig_mode = 13;
    w.back_enabled = 1, w.back_mode = 1, w.back_period = 60;
    w.pre_event = 5, w.post_event = 6, w.voltage = 3.3;
    EXPECT_EQ(std::memcmp(&canon, &w, sizeof w), 0);
}

TEST_F(ConvQv5k, FilterCodesMapBothWays) {
    const int bytes[] = {0x00, 0x00, 0x11, 0x22, 0x44, 0x55, 0x00, 0x66, 0x99, 0x00};
    for (std::uint32_t f = 0; f < 10; ++f) {
        qvraw_header c = event_header();
        c.filter = f;
        ASSERT_EQ(to_xqv(c), 0u);
        EXPECT_EQ(rec.filter, bytes[f]) << f;
        ASSERT_EQ(from(rec), 0u);
        EXPECT_EQ(canon.filter, bytes[f] ? f : 1u) << f; // unknown bytes read as Flat
    }
}

TEST_F(ConvQv5k, BackgroundModesMapBothWays) {
    struct {
        std::uint32_t mode, nsignals, sig0, sig1;
        int byte, rec_mode;
    } cases[] = {{1, 1, 5, 0, 4, 4},   {1, 2, 5, 6, 8, 6},   {2, 2, 5, 7, 10, 7},
                 {3, 1, 8, 0, 2, 4},   {4, 2, 9, 11, 11, 7}, {5, 2, 9, 11, 12, 7},
                 {6, 2, 9, 11, 13, 7}, {7, 2, 9, 11, 14, 7}, {8, 1, 12, 0, 9, 4}};
    for (auto &k : cases) {
        qvraw_header c = background_header();
        c.back_mode = k.mode, c.nsignals = k.nsignals, c.signals[0] = k.sig0, c.signals[1] = k.sig1;
        ASSERT_EQ(to_bqv(c), 0u) << k.mode;
        EXPECT_EQ(rec.back_mode, k.byte) << k.mode;
        EXPECT_EQ(rec.rec_mode, k.rec_mode) << k.mode;
        ASSERT_EQ(from(rec), 0u) << k.mode;
        EXPECT_EQ(canon.back_mode, k.mode);
        EXPECT_EQ(canon.nsignals, k.nsignals);
        EXPECT_EQ(canon.signals[0], k.sig0);
        EXPECT_EQ(canon.signals[1], k.sig1);
    }
    qvraw_header c = background_header();
    c.back_enabled = 0;
    ASSERT_EQ(to_bqv(c), 0u);
    EXPECT_EQ(rec.back_mode, 0);
    EXPECT_EQ(from(rec), CONV_QV5K_ERR_REC_MODE); // a bqv record needs its mode
    rec.rec_mode = 0;
    ASSERT_EQ(from(rec), 0u);
    EXPECT_EQ(canon.back_enabled, 0u);
    rec.back_mode = 3;
    EXPECT_EQ(from(rec), CONV_QV5K_ERR_BACK_MODE);
}

TEST_F(ConvQv5k, TriggerSettingsMapBothWays) {
    struct {
        std::uint32_t chans, logic, mode, code;
        int comb, signal;
    } cases[] = {
        {1, 2, 13, 0, 0, 0}, {2, 0, 4, 0, 1, 1},  {4, 1, 13, 0, 2, 0}, {3, 1, 4, 0, 3, 1},
        {7, 1, 13, 0, 4, 0}, {7, 2, 13, 0, 5, 0}, {0, 1, 13, 5, 0, 0}, {5, 1, 13, 5, 0, 0},
        {6, 1, 13, 5, 0, 0}, {3, 2, 13, 5, 0, 0}, {7, 0, 13, 5, 0, 0}, {1, 1, 5, 6, 0, 0},
        {5, 1, 5, 5, 0, 0}, // the combination is checked before the signal
    };
    for (auto &k : cases) {
        qvraw_header c = event_header();
        c.trig_chans = k.chans, c.trig_logic = k.logic, c.trig_mode = k.mode;
        ASSERT_EQ(to_xqv(c), k.code) << k.chans << "/" << k.logic << "/" << k.mode;
        if (k.code) continue;
        EXPECT_EQ(rec.trig_chans, k.comb);
        EXPECT_EQ(rec.trig_signal, k.signal);
        ASSERT_EQ(from(rec), 0u);
        EXPECT_EQ(canon.trig_chans, k.chans);
        EXPECT_EQ(canon.trig_logic, k.chans == 3 || k.chans == 7 ? k.logic : 0u);
        EXPECT_EQ(canon.trig_mode, k.mode);
        EXPECT_EQ(canon.trig_enabled, 1u);
    }
    // Off: combination 7 whatever the channels, no thresholds or parameters.
    qvraw_header c = event_header();
    c.trig_enabled = 0, c.trig_chans = 5, c.trig_mode = 0;
    ASSERT_EQ(to_xqv(c), 0u);
    EXPECT_EQ(rec.trig_chans, 7);
    EXPECT_EQ(qv5k_get_uint24(rec.threshold[0]) + rec.trig_param[0][0], 0u);
    ASSERT_EQ(from(rec), 0u);
    EXPECT_EQ(canon.trig_enabled + canon.trig_chans, 0u);
    rec.trig_signal = 2;
    EXPECT_EQ(from(rec), CONV_QV5K_ERR_TRIG_SIGNAL);
}

TEST_F(ConvQv5k, CauseAndMomentOfAnEvent) {
    struct {
        std::uint32_t cause, chans;
        int byte142, test_pulse;
        std::uint32_t cause_read;
    } cases[] = {{0, 0, 64, 0, 2}, {2, 0, 64, 0, 2}, {3, 0, 128, 0, 3},  {4, 5, 5, 0, 4},
                 {4, 0, 0, 0, 0},  {5, 0, 64, 1, 5}, {4, 0x0A, 2, 0, 4}, {1, 0, 64, 0, 2}};
    for (auto &k : cases) {
        qvraw_header c = event_header();
        c.rec_cause = k.cause, c.triggered_chans = k.chans;
        ASSERT_EQ(to_xqv(c), 0u);
        EXPECT_EQ(rec.rec_cause, k.byte142) << k.cause;
        EXPECT_EQ(rec.test_pulse, k.test_pulse) << k.cause;
        ASSERT_EQ(from(rec), 0u);
        EXPECT_EQ(canon.rec_cause, k.cause_read) << k.cause;
        // A triggered record's moment is its trigger, pre-event seconds
        // after its start; any other record's moment is its start.
        bool triggered = k.byte142 & 7;
        EXPECT_EQ(canon.trigger_time.sec, triggered ? 1262311261 : 0);
        EXPECT_EQ(canon.start_time.sec, triggered ? 1262311259 : 1262311261);
    }
    // Without a trigger time the start is kept, and an event that never
    // triggered has no pre- and post-event time.
    qvraw_header c = event_header();
    c.trigger_time = ts(0, 0);
    ASSERT_EQ(to_xqv(c), 0u);
    EXPECT_EQ(rec.time[0], 0x59); // 01:00:59 UTC, one hour ahead
    EXPECT_EQ(rec.time[2], 0x02);
    EXPECT_EQ(rec.pre_event + rec.post_event, 0);
}

TEST_F(ConvQv5k, TimeModesAndSubSecondCounts) {
    Tz paris("Europe/Paris");
    struct {
        std::uint32_t mode;
        std::int32_t offset;
        long sec;
        int hh, dd, mm;
    } cases[] = {
        {2, 0, 1262307661, 0x02, 0x01, 0x01},      // local, winter (UTC+1)
        {2, 0, 1279108800, 0x14, 0x14, 0x07},      // local, summer (UTC+2)
        {1, 0, 1279108800, 0x12, 0x14, 0x07},      // UTC: the offset is used as is
        {3, -18000, 1262307661, 0x20, 0x31, 0x12}, // fixed offset, previous day
    };
    for (auto &k : cases) {
        qvraw_header c = event_header();
        c.time_mode = k.mode, c.utc_offset = k.offset, c.trigger_time.sec = k.sec;
        ASSERT_EQ(to_xqv(c), 0u);
        EXPECT_EQ(rec.time[2], k.hh) << k.sec;
        EXPECT_EQ(rec.date[0], k.dd) << k.sec;
        EXPECT_EQ(rec.date[1], k.mm) << k.sec;
    }
    // 500 of 1000 is half a second; a count of a second or more is carried
    // into the seconds; a rate of 0 gives no sub-second part.
    struct {
        int sub, rate;
        long sec_delta;
        std::int32_t nsec;
    } subs[] = {{500, 1000, 0, 500000000},
                {2500, 1000, 2, 500000000},
                {999, 1000, 0, 999000000},
                {7, 0, 0, 0},
                {65535, 1, 65535, 0}};
    load(event_image());
    ASSERT_EQ(from(rec), 0u);
    const long base = canon.trigger_time.sec;
    for (auto &s : subs) {
        qv5k_set_uint16(rec.subsec, static_cast<std::uint16_t>(s.sub));
        qv5k_set_uint16(rec.rate, static_cast<std::uint16_t>(s.rate));
        ASSERT_EQ(from(rec), 0u);
        EXPECT_EQ(canon.trigger_time.sec, base + s.sec_delta) << s.sub << "/" << s.rate;
        EXPECT_EQ(canon.trigger_time.nsec, s.nsec) << s.sub << "/" << s.rate;
    }
}

TEST_F(ConvQv5k, FirmwareVersionTexts) {
    struct {
        const char *text;
        std::array<std::uint8_t, 4> bytes;
    } parses[] = {{"2.1.4", {2, 1, 4, 0}},       {"2.1.4-dev", {2, 1, 4, 255}},
                  {"1.2", {1, 2, 0, 0}},         {"1.2.3.4.5", {1, 2, 3, 4}},
                  {"3.0.12-rc2", {3, 0, 12, 2}}, {"300.+7.x", {44, 7, 0, 0}},
                  {"1.2.3.4-rc9", {1, 2, 3, 9}}, {"99999999999999999999", {255, 0, 0, 0}}};
    for (auto &p : parses) {
        std::uint8_t b[4];
        version_str_to_numbers(p.text, b);
        EXPECT_EQ(std::to_array(b), p.bytes) << p.text;
    }
    qvraw_header c = event_header();
    std::strcpy(c.firmware, "0.0"); // all zero: stored as 1.0.0
    ASSERT_EQ(to_xqv(c), 0u);
    EXPECT_EQ(rec.fw_major, 1);
    struct {
        std::uint8_t b[4];
        const char *text;
    } prints[] = {{{1, 4, 0, 255}, "1.4.0-dev"},
                  {{1, 4, 0, 7}, "1.4.0-rc7"},
                  {{255, 255, 255, 254}, "255.255.255-"}};
    for (auto &p : prints) {
        rec.fw_major = p.b[0], rec.fw_minor = p.b[1], rec.fw_patch = p.b[2], rec.fw_suffix = p.b[3];
        ASSERT_EQ(from(rec), 0u);
        EXPECT_STREQ(canon.firmware, p.text);
    }
}

TEST_F(ConvQv5k, CountValueAndSensorRange) {
    struct {
        std::uint32_t range;
        bool bqv;
        int mantissa, exponent;
        std::uint32_t range_read;
    } cases[] = {{250, false, 1490, -8, 250},
                 {1000, true, 9536, -7, 1000},
                 {1, false, 5960, -11, 1},
                 {0, false, 0, 0, 0}, // thresholds then 0
                 {4294967295u, true, 4095, 0, 4293918720u}};
    for (auto &k : cases) {
        qvraw_header c = k.bqv ? background_header() : event_header();
        c.sensor_range = k.range;
        ASSERT_EQ(k.bqv ? to_bqv(c) : to_xqv(c), 0u) << k.range;
        for (auto &slot : rec.lsb) {
            EXPECT_EQ(qv5k_get_uint16(slot), k.mantissa) << k.range;
            EXPECT_EQ(static_cast<std::int8_t>(slot[2]), k.exponent) << k.range;
        }
        EXPECT_EQ(qv5k_get_uint24(rec.threshold[1]) == 0, k.range == 0 || k.bqv);
        ASSERT_EQ(from(rec), 0u);
        EXPECT_EQ(canon.sensor_range, k.range_read);
        EXPECT_EQ(canon.sensor_scale, k.range_read / 2);
    }
    // A positive exponent leaves the mantissa as it is (the range wraps to
    // 32 bits); a very negative one gives a count value of nearly 0.
    load(event_image());
    rec.lsb[0][2] = 5;
    ASSERT_EQ(from(rec), 0u);
    EXPECT_EQ(canon.sensor_range, 1490u << 24);
    rec.lsb[0][2] = 0x80;
    ASSERT_EQ(from(rec), 0u);
    EXPECT_EQ(canon.sensor_range, 0u);
    EXPECT_EQ(canon.trig_threshold[0], 0.0);
    // A resolution byte without a full scale is refused, in both variants.
    for (int res : {0, 32, 255})
        for (int mode : {0, 4}) {
            load(event_image());
            rec.resolution = static_cast<std::uint8_t>(res),
            rec.rec_mode = static_cast<std::uint8_t>(mode);
            EXPECT_EQ(from(rec), CONV_QV5K_ERR_RESOLUTION) << res;
        }
    rec.resolution = 31;
    EXPECT_EQ(from(rec), 0u);
}

TEST_F(ConvQv5k, UnsafeValuesAreStoredDefined) {
    qvraw_header c = event_header();
    c.peak[0] = NAN, c.peak[1] = -INFINITY, c.offset[0] = 5.0, c.trig_threshold[0] = 1e300;
    c.trig_threshold[1] = NAN, c.voltage = -0.001, c.trig_aux_b[0] = NAN, c.trig_aux_a[2] = 1e20;
    c.dom_freq[0] = -1, c.trigger_time = ts(0, -1), c.start_time.nsec = -1, c.rate = 65537;
    std::memset(c.name, 'N', sizeof c.name); // no terminator
    ASSERT_EQ(to_xqv(c), 0u);
    EXPECT_EQ(qv5k_get_uint24(rec.peak[0]), 0u);
    EXPECT_EQ(qv5k_get_int24(rec.peak[1]), -8387769);
    EXPECT_EQ(qv5k_get_int24(rec.offset[0]), 8387769);
    EXPECT_EQ(qv5k_get_uint24(rec.threshold[1]), 0u);
    EXPECT_EQ(qv5k_get_uint16(rec.voltage), 0xFFFFu); // round(-1) in 16 bits
    EXPECT_EQ(qv5k_get_uint16(rec.kbftm_freq[0]), 0xFFF6u);
    EXPECT_EQ(rec.trig_param[0][1], 25);
    EXPECT_EQ(qv5k_get_uint16(rec.rate), 1u);
    EXPECT_EQ(qv5k_get_uint16(rec.subsec), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(rec.name), 30),
              std::string(20, 'N') + "-AB12" + std::string(5, ' '));
}

TEST_F(ConvQv5k, RecorderTextUnitAndSensorType) {
    struct {
        const char *field, *name, *uid;
    } names[] = {{"  ABC-DEF-123  ", "ABC-DEF", "123"},
                 {"NoDash", "NoDash", ""},
                 {"-", "", ""},
                 {"ABCDEFGHIJKLMNOPQRSTUVWXYZ-123456789", "ABCDEFGHIJKLMNOPQRST", "123"}};
    load(event_image());
    for (auto &n : names) {
        qv5k_str_to_array(rec.name, 30, n.field, std::strlen(n.field), 1);
        ASSERT_EQ(from(rec), 0u);
        EXPECT_STREQ(canon.name, n.name) << n.field;
        EXPECT_STREQ(canon.uid, n.uid) << n.field;
    }
    struct {
        std::size_t off;
        std::string bytes;
        std::uint32_t code, unit, type;
    } codes[] = {
        {92, "mm/s ", 0, 1, 1}, {92, "  mg ", 0, 2, 1}, {92, "   mV", 0, 3, 1},
        {92, "   mv", 3, 0, 0}, {92, "     ", 3, 0, 0}, {92, std::string("\0mm/s", 5), 3, 0, 0},
        {175, "A", 0, 1, 2},    {175, "v", 2, 0, 0},    {175, std::string(1, '\0'), 2, 0, 0},
    };
    for (auto &k : codes) {
        load(event_image());
        std::memcpy(reinterpret_cast<char *>(&rec) + k.off, k.bytes.data(), k.bytes.size());
        ASSERT_EQ(from(rec), k.code) << k.off << " " << k.bytes;
        if (k.code) continue;
        EXPECT_EQ(canon.sensor_unit, k.unit);
        EXPECT_EQ(canon.sensor_type, k.type);
        EXPECT_EQ(canon.signals[0], k.type == 2 ? 1u : 3u); // acceleration is raw
    }
}

TEST_F(ConvQv5k, CanonicalHeadersTheRecordCannotExpressAreRefused) {
    struct {
        const char *what;
        void (*mutate)(qvraw_header &);
        std::uint32_t xqv, bqv;
    } cases[] = {
        {"model 0", [](qvraw_header &c) { c.model = 0; }, 1, 0},
        {"rate 0", [](qvraw_header &c) { c.rate = 0; }, 4, 4},
        {"rate 65536", [](qvraw_header &c) { c.rate = 65536; }, 4, 4},
        {"unit 4", [](qvraw_header &c) { c.sensor_unit = 4; }, 3, 3},
        {"type and unit 0", [](qvraw_header &c) { c.sensor_type = 0, c.sensor_unit = 0; }, 3, 3},
        {"type 3", [](qvraw_header &c) { c.sensor_type = 3; }, 2, 2},
        {"back mode 0", [](qvraw_header &c) { c.back_mode = 0; }, 8, 8},
        {"back mode 9", [](qvraw_header &c) { c.back_mode = 9; }, 8, 8},
        {"signal first", [](qvraw_header &c) { c.back_mode = 9, c.trig_mode = 1; }, 6, 6},
        {"no signal", [](qvraw_header &c) { c.nsignals = 0; }, 10, 10},
        {"five signals", [](qvraw_header &c) { c.nsignals = 5; }, 10, 10},
        {"signal 5", [](qvraw_header &c) { c.signals[0] = 5; }, 9, 0},
        {"signal 1", [](qvraw_header &c) { c.signals[0] = 1; }, 0, 9},
        {"pair 5 0", [](qvraw_header &c) { c.nsignals = 2, c.signals[0] = 5; }, 10, 9},
        {"pair 9 11", [](qvraw_header &c) { c.nsignals = 2, c.signals[0] = 9, c.signals[1] = 11; },
         10, 0},
    };
    for (auto &k : cases) {
        qvraw_header x = event_header(), b = event_header();
        b.signals[0] = 5; // a valid bqv signal
        k.mutate(x);
        k.mutate(b);
        EXPECT_EQ(to_xqv(x), k.xqv) << k.what;
        EXPECT_EQ(to_bqv(b), k.bqv) << k.what;
    }
    const char *texts[] = {"None",
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
                           "Unknown error",
                           "Invalid resolution",
                           "Unknown error"};
    for (std::uint32_t code = 0; code < 14; ++code) {
        std::uint32_t e = code;
        EXPECT_STREQ(conv_qv5k_strerror(&e), texts[code]);
        EXPECT_STREQ(conv_qv5k_strerror(&e), "None");
    }
}

} // namespace
