// The I/O layer under the library front: frame and block positions never
// reach into the header, trailing pieces, positions beyond 2 GiB, and the
// messages. (Whole records of each variant: bqv_test.cpp and the
// command-line tests.)
#include "recbin_util.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

using namespace recbin_test;

namespace {

std::string sys(const char *prefix, int e) {
    return prefix + std::string(std::strerror(e));
}

TEST(IoPositions, SeeksCountFramesAndBlocksAndRefuseTheHeader) {
    TempDir dir;
    write_file(dir.path(), Bytes(256 + 9 * 5 + 5)); // five frames and a piece
    qv5k_io io{};
    ASSERT_EQ(qv5k_io_open(&io, dir.path().c_str(), QV5K_MODE_UPDATE), 0);
    const std::tuple<long, int, long> seeks[] = {
        // offset, whence, position or -1: refused, the stream stays at frame 2
        {0, 2, 5},   {-2, 1, 3}, {10, 0, 10},          {2, 0, 2}, {-1, 0, -1}, {-3, 1, -1},
        {-6, 2, -1}, {0, 7, -1}, {LONG_MAX / 2, 1, -1}};
    for (auto [off, whence, expect] : seeks) {
        EXPECT_EQ(qv5k_io_seek_sample(&io, off, whence), expect) << off << "/" << whence;
        if (expect < 0) {
            EXPECT_EQ(qv5k_io_seek_sample(&io, 0, 1), 2);
        }
    }
    EXPECT_EQ(qv5k_io_strerror(&io), sys("On seek(): ", EOVERFLOW));
    qv5k_handle h{}; // the longest system text there is: cut to 63 characters
    qv5k_front *front = qv5k_front_of(&h);
    front->err = QV5K_ERR_IO, front->io.op = QV5K_IO_CLOSE, front->io.errnum = ELIBMAX;
    EXPECT_EQ(qv5k_strerror(&h), sys("I/O: On close(): ", ELIBMAX).substr(0, 63));
    // The piece is not delivered, and an append starts after the last frame.
    Bytes buf(9 * 8);
    EXPECT_EQ(qv5k_io_seek_sample(&io, 3, 0), 3);
    EXPECT_EQ(qv5k_io_read_sample(&io, buf.data(), 8), 2);
    EXPECT_EQ(qv5k_io_seek_sample(&io, 0, 2), 5);
    ASSERT_EQ(qv5k_io_write_sample(&io, Bytes(9, 0x99).data(), 1), 1);
    ASSERT_EQ(qv5k_io_close(&io), 0);
    Bytes want(256 + 54, 0x99);
    std::fill_n(want.begin(), 256 + 45, 0);
    EXPECT_EQ(read_file(dir.path()), want);
}

TEST(IoPositions, PositionsBeyondTwoGibibytesAreExactOrRefused) {
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
    qv5k_io io{};
    ASSERT_EQ(qv5k_io_open(&io, dir.path().c_str(), QV5K_MODE_READ), 0);
    if (sizeof(long) == 4) { // 32-bit positions: refused, not wrapped
        EXPECT_EQ(qv5k_io_seek_sample(&io, frame, 0), -1);
    } else {
        EXPECT_EQ(qv5k_io_seek_sample(&io, 0, 2), frame + 1);
        EXPECT_EQ(qv5k_io_seek_sample(&io, frame, 0), frame);
        Bytes buf(18);
        EXPECT_EQ(qv5k_io_read_sample(&io, buf.data(), 2), 1);
        EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 9), bytes);
        EXPECT_EQ(qv5k_io_seek_datablock(&io, 0, 2), static_cast<long>((at + 9 - 256) / 256));
    }
    qv5k_io_close(&io);
}

} // namespace
