// The I/O layer: open modes, the header at byte 0, frame and block
// positions, short reads, refused moves into the header, and the messages.
#include "recbin_util.h"

#include <cerrno>
#include <climits>
#include <cstring>

using namespace recbin_test;

namespace {

std::string sys(const char *prefix, int e) {
    return prefix + std::string(std::strerror(e));
}

struct Io {
    qv5k_io io{};
    ~Io() {
        if (io.fp) qv5k_io_close(&io);
    }
    std::string msg() { return qv5k_io_strerror(&io); }
};

TEST(IoHeader, LivesAtByteZeroWithoutMovingTheStream) {
    TempDir dir;
    Io f;
    ASSERT_EQ(qv5k_io_open(&f.io, dir.path().c_str(), QV5K_MODE_CREATE), 0);
    qv5k_header h{};
    ASSERT_EQ(qv5k_io_write_header(&f.io, &h), 0);
    const Bytes frames{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    ASSERT_EQ(qv5k_io_write_sample(&f.io, frames.data(), 1), 1);
    h.dir_count = 0xA5;
    ASSERT_EQ(qv5k_io_write_header(&f.io, &h), 0); // written again after a frame
    ASSERT_EQ(qv5k_io_write_sample(&f.io, &frames[9], 1), 1);
    ASSERT_EQ(qv5k_io_seek_sample(&f.io, 1, 0), 1);
    qv5k_header back{};
    ASSERT_EQ(qv5k_io_read_header(&f.io, &back), 0);
    EXPECT_EQ(back.dir_count, 0xA5);
    Bytes one(9);
    ASSERT_EQ(qv5k_io_read_sample(&f.io, one.data(), 1), 1);
    EXPECT_EQ(one[0], 10); // still at frame 1
    ASSERT_EQ(qv5k_io_close(&f.io), 0);
    EXPECT_EQ(qv5k_io_close(&f.io), -1); // nothing left to close
    Bytes file = read_file(dir.path());
    ASSERT_EQ(file.size(), 256u + 18u);
    EXPECT_EQ(file[0], 0xA5);
    EXPECT_EQ(slice(file, 256, 18), frames);
}

TEST(IoPositions, SeeksCountFramesAndBlocksAndRefuseTheHeader) {
    TempDir dir;
    write_file(dir.path(), Bytes(256 + 9 * 5));
    Io f;
    ASSERT_EQ(qv5k_io_open(&f.io, dir.path().c_str(), QV5K_MODE_READ), 0);
    struct {
        long off;
        int whence;
        long expect; // -1: refused, the stream stays at frame 2
    } seeks[] = {{0, 2, 5},
                 {-2, 1, 3},
                 {1, 0, 1},
                 {-1, 2, 4},
                 {10, 0, 10},
                 {2, 0, 2},
                 {-1, 0, -1},
                 {-3, 1, -1},
                 {-6, 2, -1},
                 {0, 7, -1},
                 {LONG_MAX / 2, 1, -1},
                 {LONG_MIN / 2, 2, -1}};
    for (const auto &s : seeks) {
        EXPECT_EQ(qv5k_io_seek_sample(&f.io, s.off, s.whence), s.expect) << s.off;
        if (s.expect < 0) {
            EXPECT_EQ(f.io.op, QV5K_IO_SEEK);
            EXPECT_EQ(qv5k_io_seek_sample(&f.io, 0, 1), 2);
        }
    }
    EXPECT_EQ(f.msg(), sys("On seek(): ", EOVERFLOW));

    ASSERT_EQ(qv5k_io_close(&f.io), 0);
    write_file(dir.path(), Bytes(256 + 256 * 3));
    ASSERT_EQ(qv5k_io_open(&f.io, dir.path().c_str(), QV5K_MODE_UPDATE), 0);
    Bytes blocks(256 * 5);
    EXPECT_EQ(qv5k_io_read_datablock(&f.io, blocks.data(), 5), 3);
    EXPECT_EQ(f.io.block, 4);
    EXPECT_EQ(qv5k_io_seek_datablock(&f.io, -2, 1), 1);
    EXPECT_EQ(f.io.block, 2);
    EXPECT_EQ(qv5k_io_write_datablock(&f.io, blocks.data(), 2), 2);
    EXPECT_EQ(f.io.block, 4);
    EXPECT_EQ(qv5k_io_seek_datablock(&f.io, -4, 1), -1);
    EXPECT_EQ(qv5k_io_seek_datablock(&f.io, 0, 2), 3);
    EXPECT_EQ(f.io.block, 4);
}

TEST(IoPositions, TrailingPieceIsNotDeliveredAndAppendsStayAligned) {
    TempDir dir;
    write_file(dir.path(), Bytes(256 + 9 * 3 + 5, 0x33));
    Io f;
    ASSERT_EQ(qv5k_io_open(&f.io, dir.path().c_str(), QV5K_MODE_UPDATE), 0);
    Bytes buf(9 * 8);
    EXPECT_EQ(qv5k_io_read_sample(&f.io, buf.data(), 8), 3);
    EXPECT_EQ(qv5k_io_read_sample(&f.io, buf.data(), 8), 0);
    EXPECT_EQ(qv5k_io_seek_sample(&f.io, 0, 1), 3);
    EXPECT_EQ(qv5k_io_seek_sample(&f.io, 0, 2), 3);
    const Bytes frame(9, 0x99);
    ASSERT_EQ(qv5k_io_write_sample(&f.io, frame.data(), 1), 1);
    ASSERT_EQ(qv5k_io_close(&f.io), 0);
    Bytes expect(256 + 27, 0x33);
    expect.resize(256 + 36, 0x99);
    EXPECT_EQ(read_file(dir.path()), expect);
}

TEST(IoPositions, ReadsAndWritesAlternateOnStreamsOpenForBoth) {
    TempDir dir;
    const Bytes a(9, 0xA), b(9, 0xB);
    for (int mode : {QV5K_MODE_UPDATE, QV5K_MODE_CREATE}) {
        write_file(dir.path(), Bytes(256 + 36, 0xA));
        Io f;
        ASSERT_EQ(qv5k_io_open(&f.io, dir.path().c_str(), mode), 0);
        if (mode == QV5K_MODE_CREATE) { // emptied: four frames again
            for (int i = 0; i < 4; ++i)
                ASSERT_EQ(qv5k_io_write_sample(&f.io, a.data(), 1), 1);
            ASSERT_EQ(qv5k_io_seek_sample(&f.io, 0, 0), 0);
        }
        Bytes buf(9);
        for (int i = 0; i < 2; ++i) { // read one, overwrite the next
            ASSERT_EQ(qv5k_io_read_sample(&f.io, buf.data(), 1), 1);
            ASSERT_EQ(qv5k_io_write_sample(&f.io, b.data(), 1), 1);
        }
        ASSERT_EQ(qv5k_io_close(&f.io), 0);
        Bytes file = read_file(dir.path());
        ASSERT_EQ(file.size(), 256u + 36u);
        EXPECT_EQ(slice(file, 256 + 9, 9), b) << mode;
        EXPECT_EQ(slice(file, 256 + 18, 9), a) << mode;
        EXPECT_EQ(slice(file, 256 + 27, 9), b) << mode;
    }
}

TEST(IoPositions, FramesBeyondTwoGibibytes) {
    TempDir dir;
    const long frame = 300000000L; // its first byte lies at 2.7 GB
    const std::int64_t at = 256 + 9 * std::int64_t{frame};
    const Bytes bytes{1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::FILE *fp = std::fopen(dir.path().c_str(), "wb"); // sparse on disk
    ASSERT_NE(fp, nullptr);
    if (sizeof(long) > 4) {
        ASSERT_EQ(std::fseek(fp, static_cast<long>(at), SEEK_SET), 0);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, 9, fp), 9u);
    }
    std::fclose(fp);
    Io f;
    ASSERT_EQ(qv5k_io_open(&f.io, dir.path().c_str(), QV5K_MODE_READ), 0);
    if (sizeof(long) == 4) { // 32-bit positions: refused, not wrapped
        EXPECT_EQ(qv5k_io_seek_sample(&f.io, frame, 0), -1);
        return;
    }
    EXPECT_EQ(qv5k_io_seek_sample(&f.io, 0, 2), frame + 1);
    EXPECT_EQ(qv5k_io_seek_sample(&f.io, frame, 0), frame);
    Bytes buf(18);
    EXPECT_EQ(qv5k_io_read_sample(&f.io, buf.data(), 2), 1);
    EXPECT_EQ(slice(buf, 0, 9), bytes);
    EXPECT_EQ(qv5k_io_seek_datablock(&f.io, 0, 2), static_cast<long>((at + 9 - 256) / 256));
}

} // namespace
