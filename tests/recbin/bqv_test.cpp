// The bqv variant: the three block layouts, fresh and partial blocks, block
// numbers and times, read-modify-write of stored blocks, seeks in every
// direction and the refusal of blocks that claim too many frames.
#include "recbin_util.h"

#include <cstring>

using namespace recbin_test;

namespace {

Bytes block(const std::string &path, std::size_t i) {
    return read_file(path, 256 + 256 * i, 256);
}

TEST(BqvBlocks, EveryLayoutWritesNumberedTimedPaddedBlocksThatReadBack) {
    TzGuard tz("Europe/Paris");
    TempDir dir;
    make_rec(dir.path(), bqv_header(4), numbered(42)); // layout 1, period 60 s
    Bytes b0 = block(dir.path(), 0), b1 = block(dir.path(), 1);
    EXPECT_EQ(Bytes(b0.begin(), b0.begin() + 14),
              (Bytes{7, 1, 0, 0, 0, 1, 1, 0x10, 0, 0, 0, 0x40, 0, 0x40}));
    EXPECT_EQ(b0[254], 0xFF);
    EXPECT_EQ(b0[255], 41);
    // The 42nd frame went out with the close: block 1, 41 minutes later.
    EXPECT_EQ(Bytes(b1.begin(), b1.begin() + 10), (Bytes{7, 2, 0, 0x41, 0, 1, 1, 0x10, 41, 0}));
    EXPECT_EQ(Bytes(b1.begin() + 14, b1.end() - 1), Bytes(241, 0xFF));
    EXPECT_EQ(b1[255], 1);

    std::vector<double> vsum(20 * 4, 0.5), freq(20 * 6, 0.5);
    vsum[3] = 0.8, vsum[7] = 1.0, freq[3] = 12.34, freq[4] = 0.05, freq[5] = 6553.5;
    const struct {
        std::uint8_t mode;
        const std::vector<double> &in;
        Bytes at14;               // bytes 14 to 19 of block 0
        std::vector<double> back; // the first two frames read back
    } layouts[] = {{8,
                    vsum,
                    {0x90, 0xC2, 0xD5, 0xA3, 0, 0}, // 52428 squared
                    {0.5, 0.5, 0.5, 52428.0 / 65536, 0.5, 0.5, 0.5, 65529.0 / 65536}},
                   {12,
                    freq,
                    {123, 0, 0, 0, 0xFF, 0xFF},
                    {0.5, 0.5, 0.5, 12.3, 0.0, 6553.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}}};
    for (const auto &l : layouts) {
        make_rec(dir.path(), bqv_header(l.mode), l.in);
        Bytes b = block(dir.path(), 0);
        EXPECT_EQ(b[255], 20);
        EXPECT_EQ(Bytes(b.begin() + 248, b.end() - 1), Bytes(7, 0xFF));
        EXPECT_EQ(Bytes(b.begin() + 14, b.begin() + 20), l.at14);
        Rec r;
        r.read(dir.path());
        std::vector<double> out(l.back.size());
        ASSERT_EQ(qv5k_read_data(&r.h, out.data(), 2), 2);
        EXPECT_EQ(out, l.back);
    }
}

TEST(BqvBlocks, NumbersAndTimesWrapAfter256Blocks) {
    TzGuard tz("Europe/Paris");
    TempDir dir;
    make_rec(dir.path(), bqv_header(4, 60), numbered(257 * 41));
    auto head = [&](std::size_t i) { return read_file(dir.path(), 256 + 256 * i, 8); };
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
    EXPECT_EQ(Bytes(b0.begin(), b0.begin() + 8),
              (Bytes{0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97}));
    EXPECT_EQ(b0[255], 41);
    EXPECT_EQ(block(dir.path(), 1)[255], 9);
    EXPECT_EQ(read_file(dir.path()).size(), 256u + 512u);
    r.read(dir.path());
    std::vector<long> got;
    for (long at : {0, 1, 2, 3, 4, 5, 6, 39, 40, 41, 42, 43, 49}) {
        EXPECT_EQ(qv5k_seek_data(&r.h, at, 0), at);
        got.push_back(r.next());
    }
    EXPECT_EQ(got, (std::vector<long>{500, 501, 2, 500, 501, 502, 6, 39, 500, 501, 502, 43, 49}));
}

TEST(BqvReading, PartialLastBlockEndsTheDataAndOverfullBlocksAreRefused) {
    TempDir dir;
    auto frames = numbered(87); // blocks of 41, 41 and 5 frames
    make_rec(dir.path(), bqv_header(4), frames);
    Rec r;
    r.read(dir.path());
    std::vector<double> out(1024 * 3);
    EXPECT_EQ(qv5k_read_data(&r.h, out.data(), 41), 41);
    EXPECT_EQ(qv5k_read_data(&r.h, out.data() + 41 * 3, 1024), 46);
    EXPECT_EQ(qv5k_read_data(&r.h, out.data(), 1024), 0);
    out.resize(frames.size());
    EXPECT_EQ(out, frames);
    ASSERT_EQ(qv5k_close(&r.h), 0);

    qv5k_header h = bqv_header(4);
    for (std::uint8_t mode : {4, 8}) {
        Bytes file(256 + 512, 0);
        std::memcpy(file.data(), &h, 256);
        file[4] = mode == 4 ? QV5K_RECMODE_BACK3 : QV5K_RECMODE_BACK4;
        file[215] = mode;
        file[256 + 255] = mode == 4 ? 41 : 20;
        file[512 + 255] = mode == 4 ? 42 : 21; // one frame too many
        write_file(dir.path(), file);
        r.read(dir.path());
        std::vector<double> all(100 * 4);
        EXPECT_EQ(qv5k_read_data(&r.h, all.data(), 100), -1);
        EXPECT_EQ(r.msg(), "Invalid data");
        EXPECT_EQ(qv5k_seek_data(&r.h, -1, 2), -1);
        EXPECT_EQ(r.msg(), "Invalid data");
        ASSERT_EQ(qv5k_close(&r.h), 0);
    }
}

} // namespace
