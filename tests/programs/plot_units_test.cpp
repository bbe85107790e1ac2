// qvplot's modules: the envelope keeps every frame's extremes whatever the
// header announced, and the axes tick in readable steps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "axis.h"
#include "envelope.h"

namespace {

// Frames of two channels: a deterministic jumble, with NaN now and then.
std::vector<double> jumble(std::size_t frames) {
    std::vector<double> v;
    std::uint32_t seed = 7;
    for (std::size_t i = 0; i < frames * 2; i++) {
        seed = seed * 1103515245u + 12345u;
        v.push_back(seed % 97 == 0 ? std::nan("") : static_cast<double>(seed >> 8) / (1 << 23) - 1);
    }
    return v;
}

TEST(PlotEnvelope, EveryColumnHoldsTheExtremesOfItsFramesWhateverTheHeaderAnnounced) {
    const struct {
        std::size_t ncols, frames;
        std::uint64_t announced;
    } cases[] = {
        {100, 1000, 1000},  // as announced
        {100, 50, 50},      // fewer frames than columns
        {100, 5000, 1000},  // more than announced: columns merge
        {99, 7777, 0},      // unknown count, odd column count
        {100, 300, 100000}, // far fewer than announced
        {1, 10, 3},
    };
    for (auto &c : cases) {
        std::vector<double> v = jumble(c.frames);
        plot_envelope e;
        ASSERT_EQ(envelope_init(e, c.ncols, 2, c.announced), 0);
        // In uneven blocks, as a reader returns them.
        for (std::size_t at = 0, n = 1; at < c.frames; at += n, n = n * 3 % 1024 + 1)
            envelope_add(e, &v[at * 2], std::min(n, c.frames - at));

        ASSERT_EQ(e.frames, c.frames);
        ASSERT_LE(envelope_used(e), c.ncols);
        ASSERT_GE(envelope_used(e) * e.per_col, c.frames);
        for (std::size_t col = 0; col < envelope_used(e); col++) {
            for (std::size_t ch = 0; ch < 2; ch++) {
                double lo = INFINITY, hi = -INFINITY;
                for (std::size_t f = col * e.per_col;
                     f < std::min<std::size_t>((col + 1) * e.per_col, c.frames); f++)
                    if (!std::isnan(v[f * 2 + ch]))
                        lo = std::fmin(lo, v[f * 2 + ch]), hi = std::fmax(hi, v[f * 2 + ch]);
                ASSERT_EQ(e.lo[col * 2 + ch], lo) << c.frames << " frames, column " << col;
                ASSERT_EQ(e.hi[col * 2 + ch], hi) << c.frames << " frames, column " << col;
            }
        }
    }
}

TEST(PlotEnvelope, APeakIsTheLargestMagnitudeWithItsSign) {
    plot_envelope e;
    ASSERT_EQ(envelope_init(e, 10, 1, 1000), 0);
    std::vector<double> v(1000, 0.25);
    v[777] = -0.9;
    v[778] = 0.9; // the same magnitude later in the column: the positive one
    v[901] = 0.5;
    envelope_add(e, v.data(), v.size());
    plot_peak p = envelope_peak(e, 0);
    EXPECT_TRUE(p.found);
    EXPECT_EQ(p.column, 7u);
    EXPECT_EQ(p.value, 0.9);

    std::vector<double> nan(5, std::nan(""));
    ASSERT_EQ(envelope_init(e, 10, 1, 5), 0);
    envelope_add(e, nan.data(), nan.size());
    EXPECT_FALSE(envelope_peak(e, 0).found);
}

TEST(PlotAxis, TicksAreRoundStepsCoveringTheRangeWithTheDigitsTheyNeed) {
    const struct {
        double lo, hi;
        int target;
        double want_lo, want_hi, step;
        const char *first, *last;
    } cases[] = {
        {0, 0.249, 5, 0, 0.25, 0.05, "0.00", "0.25"},
        {-63.4, 88.7, 4, -100, 100, 50, "-100", "100"},
        {0, 1953, 9, 0, 2000, 200, "0", "2000"},
        {0, 0, 4, -1, 1, 0.5, "-1.0", "1.0"},
        {0, 5e-324, 4, -1, 1, 0.5, "-1.0", "1.0"}, // too narrow to tick
        {0, 3.5e12, 4, 0, 4e12, 1e12, "0", "4e+12"},
        {-INFINITY, 2, 4, -1e300, 2e299, 2e299, "-1e+300", "2e+299"}, // an infinite end cut
    };
    char first[64], last[64];
    for (auto &c : cases) {
        plot_axis a = axis_nice(c.lo, c.hi, c.target);
        EXPECT_DOUBLE_EQ(a.lo, c.want_lo) << c.hi;
        EXPECT_DOUBLE_EQ(a.hi, c.want_hi) << c.hi;
        EXPECT_DOUBLE_EQ(a.step, c.step) << c.hi;
        axis_label(first, sizeof first, a, axis_tick(a, 0));
        axis_label(last, sizeof last, a, axis_tick(a, axis_ticks(a) - 1));
        EXPECT_STREQ(first, c.first);
        EXPECT_STREQ(last, c.last);
    }
    plot_axis a = axis_nice(-0.3, 0.3, 6);
    char zero[64];
    axis_label(zero, sizeof zero, a, axis_tick(a, 3));
    EXPECT_STREQ(zero, "0.0"); // not "-0.0" nor 5.55e-17
}

} // namespace
