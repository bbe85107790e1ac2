// The bqv variant: the three block layouts, fresh and partial blocks, block
// numbers and times, read-modify-write of stored blocks, seeks in every
// direction and the refusal of blocks that claim too many frames.
#include "recbin_util.h"

#include <climits>
#include <cstring>

using namespace recbin_test;

namespace {

Bytes block(const std::string &path, std::size_t i) {
    return slice(read_file(path), 256 + 256 * i, 256);
}

TEST(BqvBinding, LayoutFromTheBackgroundModeAndLaterHeadersChecked) {
    qv5k_io io{};
    std::uint32_t err = 0;
    struct {
        std::uint8_t mode;
        std::uint32_t layout; // 0: refused
        std::size_t nchans, fpb;
    } table[] = {{2, 1, 3, 41},  {4, 1, 3, 41},  {9, 1, 3, 41},  {8, 2, 4, 20},  {10, 3, 6, 20},
                 {11, 3, 6, 20}, {12, 3, 6, 20}, {13, 3, 6, 20}, {14, 3, 6, 20}, {0, 0, 0, 0},
                 {1, 0, 0, 0},   {3, 0, 0, 0},   {7, 0, 0, 0},   {15, 0, 0, 0},  {255, 0, 0, 0}};
    for (const auto &t : table) {
        qv5k_bqv_state st{};
        qv5k_header h = bqv_header(t.mode);
        ASSERT_EQ(qv5k_bqv_reload(&st, &io, &err, &h), t.layout ? 0 : -1) << int(t.mode);
        EXPECT_EQ(st.layout, t.layout);
        EXPECT_EQ(st.nchans, t.nchans);
        EXPECT_EQ(st.frames_per_block, t.fpb);
    }
    // Recording modes 0 and 4 give 3 channels, 6 gives 4, 7 gives 6, 5 none.
    const std::pair<std::uint8_t, std::size_t> recs[] = {{0, 3}, {4, 3}, {6, 4}, {7, 6}, {5, 0}};
    for (std::uint8_t back : {4, 8, 10})
        for (auto [rec, chans] : recs) {
            qv5k_bqv_state st{};
            qv5k_header h = bqv_header(back);
            h.rec_mode = rec;
            bool agree = chans == (back == 4 ? 3u : back == 8 ? 4u : 6u);
            EXPECT_EQ(qv5k_bqv_reload(&st, &io, &err, &h), agree ? 0 : -1);
        }

    // A bound state accepts only headers with the same kept parameters.
    qv5k_bqv_state st{};
    const qv5k_header h = bqv_header(4);
    ASSERT_EQ(qv5k_bqv_reload(&st, &io, &err, &h), 0);
    qv5k_header same = h;
    qv5k_set_uint32(same.nsamples, 999);
    qv5k_set_uint24(same.peak[1], 1234);
    same.resolution = 24;
    EXPECT_EQ(qv5k_bqv_reload(&st, &io, &err, &same), 0);
    qv5k_header other[5] = {h, h, h, h, h};
    other[0].back_mode = 9; // same layout, another mode
    other[1].dir_count = 8;
    other[2].time[0] = 0x01;
    other[3].back_period = 61;
    other[4].rec_mode = QV5K_RECMODE_BACK6;
    for (auto &o : other)
        EXPECT_EQ(qv5k_bqv_reload(&st, &io, &err, &o), -1);
}

TEST(BqvBlocks, FreshBlocksOfEveryLayout) {
    TzGuard tz("Europe/Paris");
    TempDir dir;
    make_rec(dir.path(), bqv_header(4), numbered(42)); // layout 1, period 60 s
    Bytes b0 = block(dir.path(), 0), b1 = block(dir.path(), 1);
    EXPECT_EQ(slice(b0, 0, 14), (Bytes{7, 1, 0, 0, 0, 1, 1, 0x10, 0, 0, 0, 0x40, 0, 0x40}));
    EXPECT_EQ(b0[254], 0xFF);
    EXPECT_EQ(b0[255], 41);
    // The 42nd frame went out with the close: block 1, 41 minutes later.
    EXPECT_EQ(slice(b1, 0, 10), (Bytes{7, 2, 0, 0x41, 0, 1, 1, 0x10, 41, 0}));
    EXPECT_EQ(slice(b1, 14, 241), Bytes(241, 0xFF));
    EXPECT_EQ(b1[255], 1);

    std::vector<double> vsum(20 * 4, 0.5);
    vsum[3] = 0.8, vsum[7] = 1.0;
    std::vector<double> freq(20 * 6, 0.5);
    freq[3] = 12.34, freq[4] = 0.05, freq[5] = 6553.5;
    struct {
        std::uint8_t mode;
        const std::vector<double> &in;
        std::size_t nchans;
        std::vector<double> back; // the first two frames read back
    } layouts[] = {{8, vsum, 4, {0.5, 0.5, 0.5, 52428.0 / 65536, 0.5, 0.5, 0.5, 65529.0 / 65536}},
                   {12, freq, 6, {0.5, 0.5, 0.5, 12.3, 0.0, 6553.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}}};
    for (const auto &l : layouts) {
        make_rec(dir.path(), bqv_header(l.mode), l.in);
        Bytes b = block(dir.path(), 0);
        EXPECT_EQ(b[255], 20);
        EXPECT_EQ(slice(b, 248, 7), Bytes(7, 0xFF));
        if (l.mode == 8) {
            EXPECT_EQ(slice(b, 14, 6), (Bytes{0x90, 0xC2, 0xD5, 0xA3, 0, 0})); // 52428 squared
            EXPECT_EQ(qv5k_get_uint48(&b[26]), 65529ull * 65529ull);
        } else {
            EXPECT_EQ(slice(b, 14, 6), (Bytes{123, 0, 0, 0, 0xFF, 0xFF}));
        }
        Rec r;
        ASSERT_EQ(r.open(dir.path(), QV5K_MODE_READ), 0);
        qv5k_header h;
        ASSERT_EQ(qv5k_read_header(&r.h, &h), 0);
        std::vector<double> out(2 * l.nchans);
        ASSERT_EQ(qv5k_read_data(&r.h, out.data(), 2), 2);
        EXPECT_EQ(out, l.back);
    }
}

TEST(BqvBlocks, NumbersAndTimesWrapAfter256Blocks) {
    TzGuard tz("Europe/Paris");
    TempDir dir;
    make_rec(dir.path(), bqv_header(4, 60), numbered(257 * 41));
    const Bytes file = read_file(dir.path());
    auto head = [&](std::size_t i) { return slice(file, 256 + 256 * i, 8); };
    EXPECT_EQ(head(254)[1], 255);
    // Number 0: 255 blocks of 41 minutes after the start, 2010-01-08 06:15.
    EXPECT_EQ(head(255), (Bytes{7, 0, 0x00, 0x15, 0x06, 0x08, 0x01, 0x10}));
    EXPECT_EQ(head(256), (Bytes{7, 1, 0, 0, 0, 1, 1, 0x10})); // the start again
}

TEST(BqvBlocks, WritesIntoStoredBlocksKeepTheirOtherBytesAndFrames) {
    TempDir dir;
    make_rec(dir.path(), bqv_header(4), numbered(50));
    Bytes file = read_file(dir.path());
    for (int i = 0; i < 8; ++i) // bytes this library would not write itself
        file[256 + i] = static_cast<std::uint8_t>(0x90 + i);
    write_file(dir.path(), file);

    Rec r;
    ASSERT_EQ(r.open(dir.path(), QV5K_MODE_UPDATE), 0);
    qv5k_header h;
    ASSERT_EQ(qv5k_read_header(&r.h, &h), 0);
    auto repl = numbered(3, 500);
    ASSERT_EQ(qv5k_write_data(&r.h, repl.data(), 2), 2); // frames 0, 1 of a stored block
    EXPECT_EQ(r.next(), 2);
    ASSERT_EQ(qv5k_write_data(&r.h, repl.data(), 3), 3); // 3 to 5 of the held block
    EXPECT_EQ(r.next(), 6);
    ASSERT_EQ(qv5k_seek_data(&r.h, 40, 0), 40);
    ASSERT_EQ(qv5k_write_data(&r.h, repl.data(), 3), 3); // 40 to 42, across blocks
    EXPECT_EQ(r.next(), 43);
    ASSERT_EQ(qv5k_close(&r.h), 0);

    Bytes b0 = block(dir.path(), 0);
    EXPECT_EQ(slice(b0, 0, 8), (Bytes{0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97}));
    EXPECT_EQ(b0[255], 41);
    EXPECT_EQ(block(dir.path(), 1)[255], 9);
    ASSERT_EQ(r.open(dir.path(), QV5K_MODE_READ), 0);
    ASSERT_EQ(qv5k_read_header(&r.h, &h), 0);
    const long expect[] = {500, 501, 2, 500, 501, 502, 6, 39, 500, 501, 502, 43, 49};
    const long at[] = {0, 1, 2, 3, 4, 5, 6, 39, 40, 41, 42, 43, 49};
    for (int i = 0; i < 13; ++i) {
        ASSERT_EQ(qv5k_seek_data(&r.h, at[i], 0), at[i]);
        EXPECT_EQ(r.next(), expect[i]) << at[i];
    }
    EXPECT_EQ(read_file(dir.path()).size(), 256u + 512u);
}

TEST(BqvReading, PartialLastBlockEndsTheDataAndOverfullBlocksAreRefused) {
    TempDir dir;
    auto frames = numbered(87);
    make_rec(dir.path(), bqv_header(4), frames);
    Rec r;
    ASSERT_EQ(r.open(dir.path(), QV5K_MODE_READ), 0);
    qv5k_header h;
    ASSERT_EQ(qv5k_read_header(&r.h, &h), 0);
    std::vector<double> out(1024 * 3);
    EXPECT_EQ(qv5k_read_data(&r.h, out.data(), 41), 41);
    EXPECT_EQ(r.h.io.block, 3); // a read ending on a block boundary loads the next
    EXPECT_EQ(qv5k_read_data(&r.h, out.data() + 41 * 3, 1024), 46);
    EXPECT_EQ(qv5k_read_data(&r.h, out.data(), 1024), 0);
    out.resize(frames.size());
    EXPECT_EQ(out, frames);
    ASSERT_EQ(qv5k_close(&r.h), 0);

    for (std::uint8_t mode : {4, 8}) {
        Bytes file(256 + 512, 0);
        std::memcpy(file.data(), &h, 256);
        file[4] = mode == 4 ? QV5K_RECMODE_BACK3 : QV5K_RECMODE_BACK4;
        file[215] = mode;
        file[256 + 255] = mode == 4 ? 41 : 20;
        file[512 + 255] = mode == 4 ? 42 : 21;
        write_file(dir.path(), file);
        ASSERT_EQ(r.open(dir.path(), QV5K_MODE_READ), 0);
        ASSERT_EQ(qv5k_read_header(&r.h, &h), 0);
        std::vector<double> all(100 * 4);
        EXPECT_EQ(qv5k_read_data(&r.h, all.data(), 100), -1);
        EXPECT_EQ(r.msg(), "Invalid data");
        EXPECT_EQ(qv5k_seek_data(&r.h, -1, 2), -1);
        EXPECT_EQ(r.msg(), "Invalid data");
        EXPECT_EQ(qv5k_seek_data(&r.h, 1, 0), 1);
        ASSERT_EQ(qv5k_close(&r.h), 0);
    }
}

TEST(BqvSeeking, EveryOriginAndDirection) {
    TempDir dir;
    make_rec(dir.path(), bqv_header(4), numbered(87)); // blocks of 41, 41 and 5 frames
    Rec r;
    ASSERT_EQ(r.open(dir.path(), QV5K_MODE_READ), 0);
    qv5k_header h;
    ASSERT_EQ(qv5k_read_header(&r.h, &h), 0);
    struct {
        long off;
        int whence;
        long expect; // the new position, or -1
        const char *msg;
    } seeks[] = {
        // Each success reads one frame after it, so relative moves start one
        // frame further on.
        {50, 0, 50, nullptr},
        {-16, 1, 35, nullptr},
        {10, 0, 10, nullptr},
        {49, 1, 60, nullptr},
        {0, 1, 61, nullptr},
        {0, 2, 123, nullptr},
        {-42, 2, 81, nullptr},
        {-41, 2, 82, nullptr},
        {41, 0, 41, nullptr},
        {-42, 1, 0, nullptr},
        {50, 0, 50, nullptr},
        {-51, 1, 0, nullptr},
        {82, 0, 82, nullptr},
        {-83, 1, 0, nullptr},
        {-123, 2, 0, nullptr},
        {86, 0, 86, nullptr},
        {-1, 2, -1, "End of file reached"}, // the last block counts as full
        {200, 0, -1, "End of file reached"},
        {-1, 0, -1, "I/O: On seek(): Invalid argument"},
        {LONG_MAX, 1, -1, "I/O: On seek(): Value too large for defined data type"},
        {LONG_MIN, 2, -1, "I/O: On seek(): Value too large for defined data type"},
        {3, 0, 3, nullptr},
    };
    for (const auto &s : seeks) {
        ASSERT_EQ(qv5k_seek_data(&r.h, s.off, s.whence), s.expect) << s.off << " " << s.whence;
        if (s.msg) {
            EXPECT_EQ(r.msg(), s.msg);
        } else if (s.expect < 123) {
            EXPECT_EQ(r.next(), s.expect) << s.off << " " << s.whence;
        }
    }
    EXPECT_EQ(r.h.bqv.pos, 4u);
}

TEST(BqvSeeking, PendingBlockIsWrittenBeforeMovingAndTheEndCountsItFull) {
    TempDir dir;
    Rec r;
    ASSERT_EQ(r.open(dir.path(), QV5K_MODE_CREATE), 0);
    const qv5k_header h = bqv_header(4);
    ASSERT_EQ(qv5k_write_header(&r.h, &h), 0);
    auto frames = numbered(5);
    ASSERT_EQ(qv5k_write_data(&r.h, frames.data(), 5), 5);
    EXPECT_EQ(qv5k_seek_data(&r.h, 0, 1), 5);
    EXPECT_EQ(block(dir.path(), 0)[255], 5);
    EXPECT_EQ(qv5k_seek_data(&r.h, 0, 2), 41);
    ASSERT_EQ(qv5k_write_data(&r.h, frames.data(), 2), 2);
    ASSERT_EQ(qv5k_close(&r.h), 0);
    EXPECT_EQ(slice(block(dir.path(), 1), 0, 2), (Bytes{7, 2}));
    EXPECT_EQ(block(dir.path(), 1)[255], 2);
}

} // namespace
