// Canonical header to and from the 256-byte recorder-binary header: the
// exact bytes of both variants both ways, times and sub-second counts, and
// values that must be stored defined or refused rather than misread. (The
// refusals and their texts are in the command-line tests.)
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>

#include "conv-qv5k.h"

namespace {

using Image = std::array<std::uint8_t, 256>;
using Bytes3 = std::array<std::uint8_t, 3>;

// TZ for the life of the guard; UTC again afterwards.
struct Tz {
    static void set(const char *tz) { setenv("TZ", tz, 1), tzset(); }
    explicit Tz(const char *tz) { set(tz); }
    ~Tz() { set("UTC"); }
};

qvraw_timestamp ts(long sec, std::int32_t nsec) {
    qvraw_timestamp t{};
    t.sec = sec, t.nsec = nsec;
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
    c.file_type = QVRAW_FILETYPE_EVENT, c.rec_origin = QVRAW_ORIGIN_LOCAL,
    c.rec_cause = QVRAW_CAUSE_TRIGGER, c.triggered_chans = QVRAW_CHAN_X | QVRAW_CHAN_Z;
    c.nsignals = 1, c.signals[0] = QVRAW_SIGNAL_FILTER, c.dir_count = 0x1234, c.nsamples = 70000;
    c.start_time = ts(1262307659, 250000000);
    c.trigger_time = ts(1262307661, 250000000);
    c.peak[0] = 0.5, c.peak[1] = 1.0, c.peak[2] = 0.25, c.offset[0] = -0.5, c.offset[1] = 0.001;
    c.xqv_code = 0x1AB, c.dom_freq[0] = 12.34, c.dom_freq[2] = 6553.5, c.model = QVRAW_MODEL_QV7300;
    std::strcpy(c.uid, "AB12");
    std::strcpy(c.name, "Site-7");
    std::strcpy(c.firmware, "2.1.4-rc3");
    c.sensor_type = QVRAW_SENSOR_VELOCITY, c.sensor_unit = QVRAW_UNIT_MM_S, c.sensor_range = 250,
    c.time_mode = QVRAW_TIME_UTC;
    c.utc_offset = 3600, c.rate = 1000, c.filter = QVRAW_FILTER_IIR_1_80;
    c.trig_enabled = 1, c.trig_mode = QVRAW_SIGNAL_STA_LTA, c.trig_chans = QVRAW_CHAN_XYZ,
    c.trig_logic = QVRAW_LOGIC_AND;
    c.trig_threshold[0] = 1.0, c.trig_threshold[1] = 0.5, c.trig_threshold[2] = 125.0;
    c.trig_aux_a[0] = 2.5, c.trig_aux_a[1] = 7, c.trig_aux_a[2] = 1.5;
    c.trig_aux_b[0] = 4, c.trig_aux_b[2] = 3;
    c.back_enabled = 1, c.back_mode = QVRAW_BACK_PEAK_FREQ, c.back_period = 300, c.pre_event = 2;
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
    c.file_type = QVRAW_FILETYPE_BACKGROUND, c.rec_origin = QVRAW_ORIGIN_LOCAL,
    c.rec_cause = QVRAW_CAUSE_CONTINUOUS, c.nsignals = 2;
    c.signals[0] = QVRAW_SIGNAL_VM_PEAK, c.signals[1] = QVRAW_SIGNAL_VM_VSUM, c.dir_count = 7,
    c.nsamples = 3;
    c.start_time = ts(1279108800, 999999999);
    c.peak[0] = 1.0, c.peak[1] = 0.5, c.peak[2] = -0.2, c.offset[0] = 0.1, c.offset[1] = -0.1;
    c.xqv_code = 99, c.dom_freq[0] = 5, c.sensor_type = QVRAW_SENSOR_ACCELERATION,
    c.sensor_unit = QVRAW_UNIT_MG;
    c.sensor_range = 1000, c.time_mode = QVRAW_TIME_LOCAL, c.rate = 10, c.filter = 6;
    c.trig_chans = QVRAW_CHAN_X | QVRAW_CHAN_Z, c.trig_mode = 99,
    c.trig_threshold[0] = 3; // trigger off: ignored
    c.back_enabled = 1, c.back_mode = QVRAW_BACK_PEAK_VSUM, c.back_period = 60, c.pre_event = 5;
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
    Image image() const {
        Image i;
        std::memcpy(i.data(), &rec, 256);
        return i;
    }
};

TEST_F(ConvQv5k, BothVariantsAreWrittenByteForByte) {
    ASSERT_EQ(to_xqv(event_header()), 0u);
    EXPECT_EQ(image(), event_image());
    Tz paris("Europe/Paris");
    ASSERT_EQ(to_bqv(background_header()), 0u);
    EXPECT_EQ(image(), background_image());
}

TEST_F(ConvQv5k, TimesAreWrittenInTheRecordsZoneAndSubSecondCountsCarry) {
    Tz paris("Europe/Paris");
    const std::tuple<std::uint32_t, std::int32_t, long, Bytes3> cases[] = {
        {2, 0, 1262307661, {0x02, 0x01, 0x01}},      // local, winter (UTC+1)
        {2, 0, 1279108800, {0x14, 0x14, 0x07}},      // local, summer (UTC+2)
        {1, 0, 1279108800, {0x12, 0x14, 0x07}},      // UTC: the offset is used as is
        {3, -18000, 1262307661, {0x20, 0x31, 0x12}}, // fixed offset, previous day
    };
    for (auto [mode, offset, sec, hh_dd_mm] : cases) {
        qvraw_header c = event_header();
        c.time_mode = mode, c.utc_offset = offset, c.trigger_time.sec = sec;
        ASSERT_EQ(to_xqv(c), 0u);
        EXPECT_EQ((Bytes3{rec.time[2], rec.date[0], rec.date[1]}), hh_dd_mm) << sec;
    }
    // 2500 of 1000 carries two seconds; a rate of 0 gives no sub-second part.
    const std::tuple<int, int, long, std::int32_t> subs[] = {{2500, 1000, 2, 500000000},
                                                             {7, 0, 0, 0}};
    load(event_image());
    ASSERT_EQ(from(rec), 0u);
    const long base = canon.trigger_time.sec;
    for (auto [sub, rate, delta, nsec] : subs) {
        qv5k_set_uint16(rec.subsec, static_cast<std::uint16_t>(sub));
        qv5k_set_uint16(rec.rate, static_cast<std::uint16_t>(rate));
        ASSERT_EQ(from(rec), 0u);
        EXPECT_EQ(canon.trigger_time.sec, base + delta) << sub << "/" << rate;
        EXPECT_EQ(canon.trigger_time.nsec, nsec) << sub << "/" << rate;
    }
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

} // namespace
