// The header record on disk, the checks on opening a raw file, and the seed
// files of the raw fuzz target.
#include "raw_util.h"

#include <cstdlib>

using namespace rawtest;

namespace {

constexpr bool lp64 = sizeof(void *) == 8;

struct Field {
    std::size_t off64, off32, size64, size32, size;
    unsigned char *(*at)(qvraw_header &);
};

// Offsets and sizes of both layouts, written out here rather than taken from
// the struct, so that the two meet only in the bytes on disk.
#define F(f, o64, o32, n64, n32)                                                                   \
    Field {                                                                                        \
        o64, o32, n64, n32, sizeof(qvraw_header::f),                                               \
            [](qvraw_header &h) { return reinterpret_cast<unsigned char *>(&h.f); }                \
    }
const Field fields[] = {
    F(file_type, 8, 8, 4, 4),
    F(rec_origin, 12, 12, 4, 4),
    F(rec_cause, 16, 16, 4, 4),
    F(signals, 32, 24, 16, 16),
    F(split_count, 48, 40, 4, 4),
    F(dir_count, 52, 44, 4, 4),
    F(start_time, 56, 48, 16, 8),
    F(nsamples, 72, 56, 4, 4),
    F(peak, 80, 64, 96, 96),
    F(trigger_time, 176, 160, 16, 8),
    F(triggered_chans, 192, 168, 4, 4),
    F(offset, 200, 176, 96, 96),
    F(vsum, 296, 272, 8, 8),
    F(reserved_a, 304, 280, 24, 24),
    F(xqv_code, 328, 304, 4, 4),
    F(nfreqs, 336, 308, 8, 4),
    F(reserved_b, 344, 312, 96, 96),
    F(dom_freq, 440, 408, 96, 96),
    F(kbftm, 536, 504, 24, 24),
    F(model, 560, 528, 4, 4),
    F(uid, 564, 532, 9, 9),
    F(name, 573, 541, 21, 21),
    F(comment, 594, 562, 33, 33),
    F(firmware, 627, 595, 13, 13),
    F(sensor_name, 640, 608, 33, 33),
    F(sensor_type, 676, 644, 4, 4),
    F(sensor_unit, 680, 648, 4, 4),
    F(sensor_range, 684, 652, 4, 4),
    F(sensor_scale, 688, 656, 4, 4),
    F(time_mode, 692, 660, 4, 4),
    F(region, 696, 664, 11, 11),
    F(city, 707, 675, 15, 15),
    F(utc_offset, 724, 692, 4, 4),
    F(rate, 728, 696, 4, 4),
    F(filter, 732, 700, 4, 4),
    F(trig_aux_a, 736, 704, 24, 24),
    F(trig_aux_b, 760, 728, 24, 24),
    F(back_enabled, 784, 752, 4, 4),
    F(back_mode, 788, 756, 4, 4),
    F(back_period, 792, 760, 4, 4),
    F(trig_enabled, 796, 764, 4, 4),
    F(trig_mode, 800, 768, 4, 4),
    F(trig_chans, 804, 772, 4, 4),
    F(trig_logic, 808, 776, 4, 4),
    F(trig_threshold, 816, 784, 24, 24),
    F(pre_event, 840, 808, 4, 4),
    F(post_event, 844, 812, 4, 4),
    F(alarm1_enabled, 848, 816, 4, 4),
    F(alarm1_mode, 852, 820, 4, 4),
    F(alarm1_threshold, 856, 824, 24, 24),
    F(alarm2_enabled, 880, 848, 4, 4),
    F(alarm2_mode, 884, 852, 4, 4),
    F(alarm2_threshold, 888, 856, 24, 24),
    F(voltage, 912, 880, 8, 8),
};
#undef F

TEST_F(RawTest, HeaderFieldsLieAtTheirOffsets) {
    qvraw_header h; // padding set too: it is carried byte for byte
    std::memset(&h, 0xee, sizeof h);
    std::memcpy(h.magic, "garbage", 8); // the library puts the magic in
    bytes want(lp64 ? 920 : 888, 0xee);
    std::memcpy(want.data(), "Qv7kRaw", 8);
    unsigned char mark = 0x11;
    for (const Field &f : fields) {
        std::size_t off = lp64 ? f.off64 : f.off32, n = lp64 ? f.size64 : f.size32;
        ASSERT_EQ(f.size, n) << "field at " << off;
        std::memset(f.at(h), mark, n);
        std::fill_n(want.begin() + static_cast<long>(off), n, mark++);
    }
    h.nsignals = 3; // the marked signal types count three channels each
    std::memcpy(&want[lp64 ? 24 : 20], &h.nsignals, sizeof h.nsignals);

    qvraw_file *f = qvraw_open(p.c_str(), QVRAW_MODE_WRITE);
    ASSERT_EQ(qvraw_write_header(f, &h), 0);
    ASSERT_EQ(qvraw_close(f), 0);
    EXPECT_EQ(slurp(p), want);
    f = qvraw_open(p.c_str(), QVRAW_MODE_READ);
    ASSERT_EQ(qvraw_read_header(f, &h), 0);
    EXPECT_EQ(img(&h), want);
    EXPECT_EQ(qvraw_close(f), 0);
}

TEST_F(RawTest, BadHeadersAreRefusedAndLeftAlone) {
    const std::pair<const char *, void (*)(bytes &)> cases[] = {
        {"magic", [](bytes &b) { b[3] = 'K'; }},
        {"eighth magic byte", [](bytes &b) { b[7] = ' '; }},
        {"12 channels",
         [](bytes &b) {
             b = file_img(hdr({1, 2, 3, 4}), frames(2, 12));
         }},
        {"short", [](bytes &b) { b.resize(H - 1); }},
        {"empty", [](bytes &b) { b.clear(); }},
    };
    for (auto [what, spoil] : cases) {
        for (int mode : {QVRAW_MODE_READ, QVRAW_MODE_UPDATE}) {
            bytes b = file_img(hdr({}), {});
            spoil(b);
            spill(p, b);
            EXPECT_EQ(qvraw_open(p.c_str(), mode), nullptr) << what;
            EXPECT_STREQ(qvraw_strerr(nullptr), "Failed to read header") << what;
            EXPECT_STREQ(qvraw_strerr(nullptr), "None");
            EXPECT_EQ(slurp(p), b) << what;
        }
    }
    // The same record without the fault opens.
    spill(p, file_img(hdr({}), {}));
    qvraw_file *f = qvraw_open(p.c_str(), QVRAW_MODE_READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(qvraw_close(f), 0);
}

// Small valid raw files: QV_WRITE_RAW_SEEDS=<dir> writes them, otherwise the
// checked-in copies must match what this code makes.
TEST_F(RawTest, FuzzSeedsAreCurrent) {
    if (!lp64) GTEST_SKIP() << "the seeds use the x86-64 layout";
    const struct {
        const char *name;
        qvraw_header h;
        std::size_t nframes, nlines;
    } seeds[] = {{"event.raw", hdr({1, 6}, 16), 16, 0},
                 {"spectrum.raw", hdr({2}, 8, 5), 8, 5},
                 {"ten-channels.raw", hdr({1, 2, 3, 6}, 3, 2), 3, 2},
                 {"no-signals.raw", hdr({}), 0, 0}};
    const char *out = std::getenv("QV_WRITE_RAW_SEEDS");
    for (const auto &s : seeds) {
        std::size_t n = qvraw_header_get_nchans(&s.h);
        bytes b = file_img(s.h, frames(s.nframes, n), frames(s.nlines, n, 0.5));
        if (out)
            spill(std::string(out) + "/" + s.name, b);
        else
            EXPECT_EQ(slurp(std::string(QV_SOURCE_DIR "/fuzz/corpus/fuzz_raw/") + s.name), b);
    }
}

} // namespace
