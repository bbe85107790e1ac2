// The xqv variant: 24-bit counts of full scale, clamping just below full
// scale, truncation toward zero, chunked transfers and binding.
#include "recbin_util.h"

#include <limits>

using namespace recbin_test;

namespace {

TEST(XqvSamples, CountsAreClampedAndTruncatedTowardZero) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct {
        double v[3];
        double scale;
        Bytes frame;
    } cases[] = {
        {{0.5, 1.0, -1.0}, 8388608, {0x00, 0x00, 0x40, 0xB9, 0xFC, 0x7F, 0x47, 0x03, 0x80}},
        {{5e-8, -5e-8, nan}, 8388608, Bytes(9, 0)},
        {{inf, -inf, 7.0}, 8388608, {0xB9, 0xFC, 0x7F, 0x47, 0x03, 0x80, 0xB9, 0xFC, 0x7F}},
        {{0.5, -0.5, 0.0}, 32768, {0x00, 0x40, 0x00, 0x00, 0xC0, 0xFF, 0x00, 0x00, 0x00}},
    };
    for (const auto &c : cases) {
        Bytes out(9);
        qv5k_xqv_encode(out.data(), c.v, 1, c.scale);
        EXPECT_EQ(out, c.frame);
    }
    double back[3];
    qv5k_xqv_decode(back, cases[0].frame.data(), 1, 8388608);
    EXPECT_EQ(back[0], 0.5);
    EXPECT_EQ(back[1], 8387769.0 / 8388608); // below 0.9999: never full scale
    EXPECT_EQ(back[2], -8387769.0 / 8388608);
}

TEST(XqvTransfers, FramesRoundTripAcrossChunksAndPartialTails) {
    TempDir dir;
    std::vector<double> in(2500 * 3);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<double>(static_cast<long>(i % 2001) - 1000) / 1024.0;
    make_rec(dir.path(), xqv_header(), in);
    Bytes file = read_file(dir.path());
    ASSERT_EQ(file.size(), 256u + 2500u * 9u);
    file.resize(file.size() + 5, 0x7F); // a piece of a frame at the end
    write_file(dir.path(), file);

    Rec r;
    ASSERT_EQ(r.open(dir.path(), QV5K_MODE_READ), 0);
    qv5k_header h;
    ASSERT_EQ(qv5k_read_header(&r.h, &h), 0);
    std::vector<double> out(3000 * 3, -7.0);
    EXPECT_EQ(qv5k_read_data(&r.h, out.data(), 3000), 2500);
    out.resize(in.size());
    EXPECT_EQ(out, in);
    EXPECT_EQ(qv5k_read_data(&r.h, out.data(), 1024), 0);
    EXPECT_EQ(qv5k_seek_data(&r.h, -1, 2), 2499);
    EXPECT_EQ(qv5k_read_data(&r.h, out.data(), 1024), 1);
    EXPECT_EQ(out[2], in[in.size() - 1]);
}

TEST(XqvBinding, OnlyTheResolutionAndChannelCountDecide) {
    qv5k_io io{};
    std::uint32_t err = 0;
    qv5k_xqv_state st{};
    qv5k_header h = xqv_header();
    ASSERT_EQ(qv5k_xqv_reload(&st, &io, &err, &h), 0);
    EXPECT_EQ(st.scale, 8388608.0);
    qv5k_header later = xqv_header(12345);
    qv5k_set_uint24(later.peak[0], 777);
    qv5k_set_int24(later.offset[2], -5);
    EXPECT_EQ(qv5k_xqv_reload(&st, &io, &err, &later), 0);
    later.resolution = 20;
    EXPECT_EQ(qv5k_xqv_reload(&st, &io, &err, &later), -1);
    later = bqv_header(10); // six channels
    later.resolution = 24;
    EXPECT_EQ(qv5k_xqv_reload(&st, &io, &err, &later), -1);
    EXPECT_EQ(st.scale, 8388608.0);
    // Resolutions without a 32-bit full scale never bind.
    for (int res : {0, 1, 31, 32, 255}) {
        qv5k_xqv_state fresh{};
        h.resolution = static_cast<std::uint8_t>(res);
        bool ok = res >= 1 && res <= 31;
        EXPECT_EQ(qv5k_xqv_reload(&fresh, &io, &err, &h), ok ? 0 : -1) << res;
        EXPECT_EQ(fresh.scale, res == 1 ? 1.0 : res == 31 ? 1073741824.0 : 0.0);
    }
}

} // namespace
