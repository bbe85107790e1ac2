// The xqv frame decoder takes long runs of samples in a faster way than the
// last few of a call: both ways must give the same samples for every byte.
#include "recbin_util.h"

#include <bit>
#include <random>

using namespace recbin_test;

namespace {

TEST(XqvRuns, ManyFramesDecodeAsEachFrameAlone) {
    std::mt19937 rng(7);
    for (std::size_t frames : {1u, 21u, 22u, 1024u, 1000u}) {
        Bytes bytes(frames * 9);
        for (auto &b : bytes)
            b = static_cast<std::uint8_t>(rng());
        // Every extreme count at least once: 0x800000, 0x7FFFFF, -1, 0.
        const std::uint8_t extremes[] = {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F,
                                         0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00};
        std::copy(extremes, extremes + std::min(sizeof extremes, bytes.size()), bytes.begin());
        for (double scale : {8388608.0, 32768.0}) {
            std::vector<double> all(frames * 3), one(frames * 3);
            qv5k_xqv_decode(all.data(), bytes.data(), frames, scale);
            for (std::size_t f = 0; f < frames; f++)
                qv5k_xqv_decode(one.data() + 3 * f, bytes.data() + 9 * f, 1, scale);
            for (std::size_t i = 0; i < all.size(); i++)
                ASSERT_EQ(std::bit_cast<std::uint64_t>(all[i]),
                          std::bit_cast<std::uint64_t>(one[i]))
                    << frames << " frames, value " << i;
        }
    }
}

} // namespace
