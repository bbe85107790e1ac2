// The byte-level layer under the raw handle: short reads, failure texts,
// flushing in update modes and changing the file size.
#include "../../lib/raw/io.h"
#include "raw_util.h"

#include <cerrno>
#include <sys/stat.h>

using namespace rawtest;

namespace {

std::string sys_text(const char *op, int errnum) {
    return std::string(op) + " " + std::strerror(errnum);
}

long size_of(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

class RawIo : public RawTest {
protected:
    void TearDown() override {
        qvraw_io_close(&io);
        RawTest::TearDown();
    }
    qvraw_io io{};
};

TEST_F(RawIo, ShortReadAtTheEndIsNoError) {
    spill(p, bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    ASSERT_EQ(qvraw_io_open(&io, p.c_str(), "rb"), 0);
    unsigned char buf[12] = {};
    EXPECT_EQ(qvraw_io_read(&io, buf, 4, 3), 2); // two whole items, two bytes over
    EXPECT_EQ(qvraw_io_read(&io, buf, 4, 3), 0);
    EXPECT_EQ(io.op, QVRAW_IO_OP_NONE);
    EXPECT_EQ(qvraw_io_read(&io, buf, 8, SIZE_MAX / 4), -1); // more than a file can hold
    EXPECT_EQ(qvraw_io_strerr(&io), sys_text("On read():", EOVERFLOW));
}

TEST_F(RawIo, FailureTextNamesTheOperationOnce) {
    ASSERT_EQ(qvraw_io_open(&io, p.c_str(), "rb"), -1);
    EXPECT_EQ(qvraw_io_strerr(&io), sys_text("On open():", ENOENT));
    EXPECT_EQ(qvraw_io_strerr(&io), sys_text("None", 0));
    const std::pair<std::uint32_t, const char *> ops[] = {
        {QVRAW_IO_OP_CLOSE, "On close():"},
        {QVRAW_IO_OP_READ, "On read():"},
        {QVRAW_IO_OP_WRITE, "On write():"},
        {QVRAW_IO_OP_SEEK, "On seek():"},
        {QVRAW_IO_OP_TELL, "On tell():"},
        {QVRAW_IO_OP_TRUNCATE, "On truncate():"},
        {8, "Unknown"},
        {0xffffffffu, "Unknown"},
    };
    for (auto [op, text] : ops) {
        io.op = op;
        io.errnum = EACCES;
        EXPECT_EQ(qvraw_io_strerr(&io), sys_text(text, EACCES));
    }
    io.op = QVRAW_IO_OP_TRUNCATE; // 15 + 49 characters, cut to 63
    io.errnum = EILSEQ;
    EXPECT_EQ(qvraw_io_strerr(&io), sys_text("On truncate():", EILSEQ).substr(0, 63));

    spill(p, bytes(8, 1));
    ASSERT_EQ(qvraw_io_open(&io, p.c_str(), "rb"), 0);
    EXPECT_EQ(qvraw_io_write(&io, "x", 1, 1), -1);
    char c;
    EXPECT_EQ(qvraw_io_read(&io, &c, 1, 1), 1); // a success keeps the failure
    EXPECT_EQ(qvraw_io_strerr(&io), sys_text("On write():", EBADF));
}

TEST_F(RawIo, UpdateModesFlushEveryTransfer) {
    const std::tuple<const char *, std::uint32_t, long> cases[] = {
        {"r+b", 1, 12}, {"w+b", 1, 4}, {"wb", 0, 0}, {"ab", 0, 8}};
    for (auto [mode, flush_each, size] : cases) {
        spill(p, bytes(8, 0));
        ASSERT_EQ(qvraw_io_open(&io, p.c_str(), mode), 0);
        EXPECT_EQ(io.flush_each, flush_each) << mode;
        ASSERT_EQ(qvraw_io_seek(&io, 0, SEEK_END), 0);
        ASSERT_EQ(qvraw_io_write(&io, "abcd", 2, 2), 2);
        EXPECT_EQ(size_of(p), size) << mode << ": only a flushed write is seen";
        ASSERT_EQ(qvraw_io_close(&io), 0);
    }
    // Writes that cannot reach the device fail at the flush, or at close.
    ASSERT_EQ(qvraw_io_open(&io, "/dev/full", "r+b"), 0);
    EXPECT_EQ(qvraw_io_write(&io, "abcd", 4, 1), -1);
    EXPECT_EQ(qvraw_io_strerr(&io), sys_text("On write():", ENOSPC));
    ASSERT_EQ(qvraw_io_close(&io), 0);
    ASSERT_EQ(qvraw_io_open(&io, "/dev/full", "wb"), 0);
    ASSERT_EQ(qvraw_io_write(&io, "abcd", 4, 1), 1);
    EXPECT_EQ(qvraw_io_close(&io), -1);
    EXPECT_EQ(qvraw_io_strerr(&io), sys_text("On close():", ENOSPC));
    EXPECT_EQ(qvraw_io_close(&io), 0) << "the stream is gone after a failed close";
}

TEST_F(RawIo, TruncateMovesOnlyAPositionBeyondTheNewEnd) {
    spill(p, bytes(100, 5));
    ASSERT_EQ(qvraw_io_open(&io, p.c_str(), "r+b"), 0);
    const std::tuple<long, long, long> cases[] = {{10, 200, 10}, {50, 50, 50}, {150, 80, 80}};
    for (auto [pos, size, after] : cases) {
        ASSERT_EQ(qvraw_io_seek(&io, pos, SEEK_SET), 0);
        ASSERT_EQ(qvraw_io_truncate(&io, size), 0);
        EXPECT_EQ(size_of(p), size);
        EXPECT_EQ(qvraw_io_tell(&io), after) << pos << " -> " << size;
    }
    ASSERT_EQ(qvraw_io_close(&io), 0);
    // Bytes still buffered beyond the new end are dropped for good.
    ASSERT_EQ(qvraw_io_open(&io, p.c_str(), "wb"), 0);
    ASSERT_EQ(qvraw_io_write(&io, "xyz", 1, 3), 3);
    ASSERT_EQ(qvraw_io_truncate(&io, 2), 0);
    ASSERT_EQ(qvraw_io_close(&io), 0);
    EXPECT_EQ(slurp(p), (bytes{'x', 'y'}));
}

} // namespace
