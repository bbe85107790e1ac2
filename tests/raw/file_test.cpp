// The raw file handle: open, the header copy, frames, seek and the spectrum
// block, with their error texts.
#include "raw_util.h"

#include <cerrno>
#include <climits>

using namespace rawtest;

namespace {

std::string io_text(const char *op, int errnum) {
    return std::string("I/O: ") + op + " " + std::strerror(errnum);
}

TEST_F(RawTest, OpenFailuresAreTextInTheLibraryRecordOnce) {
    const std::tuple<const char *, int, const char *> cases[] = {
        {"missing.raw", QVRAW_MODE_READ, "I/O: ?"},
        {"missing.raw", QVRAW_MODE_UPDATE, "I/O: ?"},
        {"no-dir/x.raw", QVRAW_MODE_WRITE, "I/O: ?"},
        {"f.raw", 0, "Wrong usage"},
        {"f.raw", 4, "Wrong usage"},
    };
    for (auto [name, mode, text] : cases) {
        EXPECT_EQ(qvraw_open((dir_ + "/" + name).c_str(), mode), nullptr) << name << mode;
        EXPECT_STREQ(qvraw_strerr(nullptr), text) << name << mode;
        EXPECT_STREQ(qvraw_strerr(nullptr), "None");
    }
}

TEST_F(RawTest, HeaderCopyReachesTheFileAtFlushAndClose) {
    qvraw_file *f = qvraw_open(p.c_str(), QVRAW_MODE_WRITE);
    qvraw_header a = hdr({6, 1}, 2), b = hdr({6, 1}, 3), bad = hdr({1, 1, 1, 1}), back;
    std::memset(a.magic, 0, 8);
    ASSERT_EQ(qvraw_write_header(f, &a), 0);
    ASSERT_EQ(qvraw_read_header(f, &back), 0); // from the copy: the file is empty
    EXPECT_EQ(slurp(p).size(), 0u);
    a = hdr({6, 1}, 2);
    EXPECT_EQ(img(&back), img(&a));

    auto fr = frames(3, 4);
    ASSERT_EQ(qvraw_write_data(f, fr.data(), 2), 2);
    ASSERT_EQ(qvraw_flush(f), 0);
    EXPECT_EQ(slurp(p), file_img(a, std::vector<double>(fr.begin(), fr.begin() + 8)));
    ASSERT_EQ(qvraw_write_data(f, &fr[8], 1), 1); // the flush kept the position

    ASSERT_EQ(qvraw_write_header(f, &b), 0);
    EXPECT_EQ(qvraw_write_header(f, &bad), -1); // refused: b stays the copy
    EXPECT_STREQ(qvraw_strerr(f), "Invalid number of channels");
    ASSERT_EQ(qvraw_close(f), 0);
    EXPECT_EQ(slurp(p), file_img(b, fr));

    f = qvraw_open(p.c_str(), QVRAW_MODE_WRITE); // a header never set is never written
    ASSERT_EQ(qvraw_close(f), 0);
    EXPECT_EQ(slurp(p).size(), 0u);
}

TEST_F(RawTest, FramesNeedChannelsAndStopAtTheEnd) {
    qvraw_file *f = qvraw_open(p.c_str(), QVRAW_MODE_WRITE);
    double buf[40];
    EXPECT_EQ(qvraw_read_data(f, buf, 1), -1);
    EXPECT_STREQ(qvraw_strerr(f), "Invalid sample size");
    qvraw_header none = hdr({});
    ASSERT_EQ(qvraw_write_header(f, &none), 0);
    EXPECT_EQ(qvraw_seek_data(f, 0, 0), -1);
    EXPECT_STREQ(qvraw_strerr(f), "Invalid sample size");
    ASSERT_EQ(qvraw_close(f), 0);

    auto fr = frames(25, 4);
    spill(p, cat(file_img(hdr({6, 3}, 25), fr), bytes(13, 0xee))); // 13: no whole frame
    f = qvraw_open(p.c_str(), QVRAW_MODE_READ);
    std::vector<double> got;
    std::vector<long> counts;
    long n;
    while ((n = qvraw_read_data(f, buf, 10)) > 0) {
        counts.push_back(n);
        got.insert(got.end(), buf, buf + n * 4);
    }
    EXPECT_EQ(n, 0);
    EXPECT_EQ(counts, (std::vector<long>{10, 10, 5}));
    EXPECT_EQ(got, fr);
    ASSERT_EQ(qvraw_close(f), 0);
}

TEST_F(RawTest, FramesStopAtTheSpectrumBlock) {
    auto fr = frames(7, 3), lines = frames(3, 3, 100);
    spill(p, file_img(hdr({1}, 7, 3), fr, lines));
    qvraw_file *f = qvraw_open(p.c_str(), QVRAW_MODE_UPDATE);
    std::vector<double> buf(10 * 3);
    EXPECT_EQ(qvraw_read_data(f, buf.data(), 10), 7);
    EXPECT_EQ(qvraw_read_data(f, buf.data(), 10), 0);
    ASSERT_EQ(qvraw_seek_data(f, 5, 0), 7);
    EXPECT_EQ(qvraw_write_data(f, buf.data(), 4), 2); // writes are held back too
    ASSERT_EQ(qvraw_close(f), 0);
    std::copy(buf.begin(), buf.begin() + 6, fr.begin() + 15);
    EXPECT_EQ(slurp(p), file_img(hdr({1}, 7, 3), fr, lines));
}

TEST_F(RawTest, SeekFromEachOriginReturnsTheFrameBefore) {
    spill(p, file_img(hdr({6, 13}, 20), frames(20, 4)));
    qvraw_file *f = qvraw_open(p.c_str(), QVRAW_MODE_READ);
    auto next = [&] { // index of the next frame, -1 at the end
        double v[4];
        if (qvraw_read_data(f, v, 1) != 1) return -1L;
        qvraw_seek_data(f, -1, 1);
        return static_cast<long>(v[0]);
    };
    const std::tuple<long, int, long> moves[] = {
        {0, 0, 0},   {15, 0, 15}, {-4, 1, 6}, {5, 1, 15},
        {-1, 2, 19}, {-20, 2, 0}, {0, 2, -1}, {30, 0, -1},
    };
    for (auto [frame, whence, to] : moves) {
        ASSERT_GE(qvraw_seek_data(f, 10, 0), 0);
        EXPECT_EQ(qvraw_seek_data(f, frame, whence), 10) << frame << "/" << whence;
        EXPECT_EQ(next(), to) << frame << "/" << whence;
    }
    // Refused moves leave the position alone: offsets beyond a file position,
    // in front of the first frame, from no origin.
    const std::tuple<long, int, int> refused[] = {
        {LONG_MAX / 4, 1, EOVERFLOW},
        {LONG_MIN / 4, 2, EOVERFLOW},
        {LONG_MAX / 32, 0, EOVERFLOW}, // only the added header overflows
        {-11, 1, EINVAL},
        {-21, 2, EINVAL},
        {-1, 0, EINVAL},
        {0, 7, EINVAL},
    };
    ASSERT_GE(qvraw_seek_data(f, 10, 0), 0);
    for (auto [frame, whence, err] : refused) {
        EXPECT_EQ(qvraw_seek_data(f, frame, whence), -1) << frame << "/" << whence;
        EXPECT_EQ(qvraw_strerr(f), io_text("On seek():", err)) << frame << "/" << whence;
        EXPECT_EQ(next(), 10) << frame << "/" << whence;
    }
    ASSERT_EQ(qvraw_close(f), 0);
}

TEST_F(RawTest, SpectrumBlockReadAndReplaced) {
    auto fr = frames(5, 3), old = frames(4, 3, 100), lines = frames(2, 3, 700);
    spill(p, file_img(hdr({1}, 5), fr));
    qvraw_file *f = qvraw_open(p.c_str(), QVRAW_MODE_READ);
    double got[4 * 3];
    EXPECT_EQ(qvraw_read_fft(f, got), -1);
    EXPECT_EQ(qvraw_read_data(f, got, 1), 1); // a success does not clear the failure
    EXPECT_STREQ(qvraw_strerr(f), "Wrong usage");
    ASSERT_EQ(qvraw_close(f), 0);

    bytes file = file_img(hdr({1}, 5, 4), fr, old);
    spill(p, file);
    f = qvraw_open(p.c_str(), QVRAW_MODE_READ);
    ASSERT_EQ(qvraw_read_data(f, got, 1), 1);
    ASSERT_EQ(qvraw_read_fft(f, got), 0);
    EXPECT_EQ(std::vector<double>(got, got + 12), old);
    EXPECT_EQ(qvraw_write_fft(f, lines.data(), 2), -1); // a read-only file is not cut
    EXPECT_EQ(std::string(qvraw_strerr(f)).substr(0, 20), "I/O: On truncate(): ");
    EXPECT_EQ(qvraw_read_data(f, got, 1), 1);
    EXPECT_EQ(got[0], 1.0) << "the block moved the position";
    ASSERT_EQ(qvraw_close(f), 0);
    EXPECT_EQ(slurp(p), file);

    f = qvraw_open(p.c_str(), QVRAW_MODE_UPDATE);
    ASSERT_EQ(qvraw_write_fft(f, lines.data(), 2), 0);
    ASSERT_EQ(qvraw_read_fft(f, got), 0);
    EXPECT_EQ(std::vector<double>(got, got + 6), lines);
    EXPECT_EQ(qvraw_read_data(f, got, 1), 1);
    EXPECT_EQ(got[0], 0.0) << "the block moved the position";
    ASSERT_EQ(qvraw_close(f), 0);
    EXPECT_EQ(slurp(p), file_img(hdr({1}, 5, 4), fr, lines)); // nfreqs is the caller's

    // A short block reads as far as it goes.
    spill(p, bytes(file.begin(), file.end() - 29));
    f = qvraw_open(p.c_str(), QVRAW_MODE_READ);
    EXPECT_EQ(qvraw_read_fft(f, got), 0);
    EXPECT_EQ(std::vector<double>(got, got + 6), std::vector<double>(old.begin(), old.begin() + 6));
    ASSERT_EQ(qvraw_close(f), 0);

    // A new file's block follows the header that close writes.
    f = qvraw_open(p.c_str(), QVRAW_MODE_WRITE);
    qvraw_header h = hdr({1});
    ASSERT_EQ(qvraw_write_header(f, &h), 0);
    ASSERT_EQ(qvraw_write_fft(f, lines.data(), 2), 0);
    ASSERT_EQ(qvraw_close(f), 0);
    EXPECT_EQ(slurp(p), file_img(h, {}, lines));
}

TEST_F(RawTest, RecordBeyondTwoGigabytes) {
    if (sizeof(long) < 8) GTEST_SKIP() << "32-bit file positions";
    constexpr std::uint32_t n = 100'000'000; // 2.4 GB of frames, sparse but the last
    qvraw_header h = hdr({1}, n, 1);
    auto last = frames(1, 3, 42), line = frames(1, 3, 77);
    qvraw_file *f = qvraw_open(p.c_str(), QVRAW_MODE_WRITE);
    ASSERT_EQ(qvraw_write_header(f, &h), 0);
    ASSERT_EQ(qvraw_seek_data(f, n - 1, 0), 0);
    ASSERT_EQ(qvraw_write_data(f, last.data(), 1), 1);
    ASSERT_EQ(qvraw_write_fft(f, line.data(), 1), 0);
    ASSERT_EQ(qvraw_close(f), 0);

    f = qvraw_open(p.c_str(), QVRAW_MODE_READ);
    double v[6];
    ASSERT_EQ(qvraw_seek_data(f, -2, 2), 0);
    EXPECT_EQ(qvraw_read_data(f, v, 2), 1);
    EXPECT_EQ(v[0], 42.0);
    EXPECT_EQ(qvraw_seek_data(f, 0, 0), static_cast<long>(n));
    ASSERT_EQ(qvraw_read_fft(f, v), 0);
    EXPECT_EQ(v[0], 77.0);
    ASSERT_EQ(qvraw_close(f), 0);
}

} // namespace
