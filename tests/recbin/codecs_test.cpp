// Field codecs: the checked conversion, 24-bit samples, BCD timestamps and
// the header accessors.
#include "code_texts.h"
#include "recbin_util.h"

#include <limits>

using namespace recbin_test;

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(CheckedConversion, TruncatesAndWrapsLikeAnIntegerAndGivesZeroForNoNumber) {
    const std::pair<double, std::uint32_t> rows[] = {
        {2.9, 2},
        {-2.9, 0xFFFFFFFE},
        {2147483648.0, 0x80000000},            // beyond the 32-bit fast way
        {4294967296.0 * 3 + 5.5, 5},           // wraps modulo 2^32
        {-4294967296.0 * 3 - 1.5, 0xFFFFFFFF}, // two's complement
        {4503599627370503.0, 7},               // 2^52 + 7: exact to the last bit
        {1e300, 0},                            // a multiple of 2^32
        {kNan, 0},
        {kInf, 0},
        {-kInf, 0},
    };
    for (auto [v, bits] : rows)
        EXPECT_EQ(qv5k_trunc_bits(v), bits) << v;
}

TEST(XqvSamples, CountsAreClampedBelowFullScaleAndTruncatedTowardZero) {
    const struct {
        double v[3];
        double scale;
        Bytes frame;
    } cases[] = {
        {{0.5, 1.0, -1.0}, 8388608, {0x00, 0x00, 0x40, 0xB9, 0xFC, 0x7F, 0x47, 0x03, 0x80}},
        {{5e-8, -5e-8, kNan}, 8388608, Bytes(9, 0)},
        {{kInf, -kInf, 7.0}, 8388608, {0xB9, 0xFC, 0x7F, 0x47, 0x03, 0x80, 0xB9, 0xFC, 0x7F}},
        {{0.5, -0.5, 0.0}, 32768, {0x00, 0x40, 0x00, 0x00, 0xC0, 0xFF, 0x00, 0x00, 0x00}},
    };
    for (const auto &c : cases) {
        Bytes out(9);
        qv5k_xqv_encode(out.data(), c.v, 1, c.scale);
        EXPECT_EQ(out, c.frame);
    }
    double back[3];
    qv5k_xqv_decode(back, cases[0].frame.data(), 1, 8388608);
    EXPECT_EQ(back[1], 8387769.0 / 8388608); // below 0.9999: never full scale
    EXPECT_EQ(back[2], -8387769.0 / 8388608);
}

TEST(Timestamps, ReadAsLocalTimeAcrossSummerTimeAndKeptWhenNotRepresentable) {
    const Bytes time{0x05, 0x30, 0x14}, date{0x31, 0x12, 0x09}, noon{0, 0, 0x12}, july{1, 7, 0x10};
    const std::time_t winter = 1262269805; // 2009-12-31 14:30:05 UTC
    for (auto [tz, shift] : {std::pair{"UTC", 0}, {"Europe/Paris", 3600}}) {
        TzGuard guard(tz);
        std::time_t t = qv5k_get_time(time.data(), date.data());
        EXPECT_EQ(t, winter - shift) << tz;
        EXPECT_EQ(qv5k_get_time(noon.data(), july.data()), 1277985600 - 2 * shift) << tz;
    }
    Bytes t3(3), d3(3);
    if (sizeof(std::time_t) == 4) { // dates after 2038 do not exist there
        const Bytes y2040{0x01, 0x01, 0x40};
        EXPECT_EQ(qv5k_get_time(time.data(), y2040.data()), static_cast<std::time_t>(-1));
    }
    t3 = {1, 2, 3}, d3 = {4, 5, 6}; // kept when there is no breakdown
    std::time_t big = std::numeric_limits<std::time_t>::max();
    std::time_t small = std::numeric_limits<std::time_t>::min();
    qv5k_set_time_custom(t3.data(), d3.data(), &big, 1);
    qv5k_set_time_custom(t3.data(), d3.data(), &small, -1);
    if (sizeof(std::time_t) > 4) { // every 32-bit time has a breakdown
        qv5k_set_time_local(t3.data(), d3.data(), &big);
        qv5k_set_time_custom(t3.data(), d3.data(), &big, 0);
    }
    EXPECT_EQ(t3, (Bytes{1, 2, 3}));
    EXPECT_EQ(d3, (Bytes{4, 5, 6}));
}

TEST(HeaderRecord, RecordingModeGivesTheVariantAndItsChannels) {
    const std::tuple<std::uint8_t, std::uint32_t, std::size_t> rows[] = {
        {QV5K_RECMODE_EVENT, QV5K_FILETYPE_XQV, 3},
        {QV5K_RECMODE_BACK3, QV5K_FILETYPE_BQV, 3},
        {QV5K_RECMODE_BACK4, QV5K_FILETYPE_BQV, 4},
        {QV5K_RECMODE_BACK6, QV5K_FILETYPE_BQV, 6},
        {3, QV5K_FILETYPE_UNKNOWN, 0},
        {5, QV5K_FILETYPE_UNKNOWN, 0},
    };
    for (auto [mode, filetype, nchans] : rows) {
        qv5k_header h{};
        h.rec_mode = mode;
        EXPECT_EQ(qv5k_header_filetype(&h), filetype) << int{mode};
        EXPECT_EQ(qv5k_header_nchannels(&h), nchans) << int{mode};
    }
    qv5k_header h{};
    qv5k_set_uint32(h.nsamples, 0xFEDCBA98);
    EXPECT_EQ(qv5k_header_nsamples(&h), 0xFEDCBA98u);
    EXPECT_EQ(qv5k_header_bytes(&h)[8], 0x98);
}

TEST(RecbinTexts, EveryCodeHasATextOfItsOwn) {
    expect_own_text_per_code("qv5k", QV5K_ERR_TEXTS);
    expect_own_text_per_code("qv5k I/O", QV5K_IO_TEXTS);
}

} // namespace
