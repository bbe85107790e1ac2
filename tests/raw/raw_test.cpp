// The raw library: the header queries, the header copy, frames, seeks and
// the spectrum block of the file handle, and the failure texts of the
// library and of the I/O layer under it.
#include "cli.h"
#include "code_texts.h"
#include "qvraw_internal.h"

#include <cerrno>
#include <climits>

namespace {

using RawFile = cli::test;

// Signals of three channels (raw) and of one (the vector sum).
constexpr std::uint32_t raw = QVRAW_SIGNAL_RAW, vsum = QVRAW_SIGNAL_VM_VSUM;

qvraw_header hdr(std::initializer_list<std::uint32_t> signals, std::uint32_t nsamples = 0,
                 std::size_t nfreqs = 0) {
    qvraw_header h{};
    std::memcpy(h.magic, QVRAW_MAGIC, sizeof h.magic);
    h.nsignals = signals.size();
    std::copy(signals.begin(), signals.end(), h.signals);
    h.nsamples = nsamples;
    h.nfreqs = nfreqs;
    return h;
}

// `n` frames of `nchans` values; a value's integer part is its frame index.
std::vector<double> frames(std::size_t n, std::size_t nchans, double base = 0) {
    std::vector<double> v(n * nchans);
    for (std::size_t i = 0; i < v.size(); i++)
        v[i] = base + static_cast<double>(i / nchans) + static_cast<double>(i % nchans) / 100.0;
    return v;
}

// The image of a raw file: header, frames, spectrum lines.
std::string img(const qvraw_header &h, const std::vector<double> &fr = {},
                const std::vector<double> &lines = {}) {
    std::string b(reinterpret_cast<const char *>(&h), sizeof h);
    b.append(reinterpret_cast<const char *>(fr.data()), fr.size() * 8);
    return b.append(reinterpret_cast<const char *>(lines.data()), lines.size() * 8);
}

std::string sys_text(const char *op, int errnum) {
    return std::string(op) + " " + std::strerror(errnum);
}

TEST(RawHeader, QueriesCountTheChannelsOfTheFirstFourSignals) {
    const std::tuple<std::size_t, std::vector<std::uint32_t>, std::size_t> rows[] = {
        // nsignals, signals, channels
        {0, {raw}, 0},
        {1, {vsum, raw}, 1},
        {2, {raw, vsum}, 4},
        {4, {raw, raw, raw, vsum}, 10},
        {9, {raw, raw, raw, raw}, 12}, // beyond four slots: four signals
    };
    for (const auto &[nsignals, signals, nchans] : rows) {
        qvraw_header h = hdr({});
        h.nsignals = nsignals;
        std::copy(signals.begin(), signals.end(), h.signals);
        EXPECT_EQ(qvraw_header_get_nchans(&h), nchans) << nsignals;
        EXPECT_EQ(qvraw_header_get_sample_size(&h), nchans * sizeof(double)) << nsignals;
    }
    const qvraw_header h = hdr({raw}, 4294967295u, 77);
    EXPECT_EQ(qvraw_header_get_nsamples(&h), 4294967295u);
    EXPECT_EQ(qvraw_header_get_nfreqs(&h), 77u);
}

TEST_F(RawFile, HeaderCopyReachesTheFileAtFlushAndClose) {
    const std::string p = path("f.raw");
    qvraw_file *f = qvraw_open(p.c_str(), QVRAW_MODE_WRITE);
    qvraw_header a = hdr({vsum, raw}, 2), b = hdr({vsum, raw}, 3), back;
    qvraw_header bad = hdr({raw, raw, raw, raw}); // 12 channels
    std::memset(a.magic, 0, 8);                   // the library puts the magic in
    ASSERT_EQ(qvraw_write_header(f, &a), 0);
    ASSERT_EQ(qvraw_read_header(f, &back), 0); // from the copy: the file is empty
    EXPECT_EQ(get("f.raw"), "");
    a = hdr({vsum, raw}, 2);
    EXPECT_EQ(img(back), img(a));

    auto fr = frames(3, 4);
    ASSERT_EQ(qvraw_write_data(f, fr.data(), 2), 2);
    ASSERT_EQ(qvraw_flush(f), 0);
    EXPECT_EQ(get("f.raw"), img(a, std::vector<double>(fr.begin(), fr.begin() + 8)));
    ASSERT_EQ(qvraw_write_data(f, &fr[8], 1), 1); // the flush kept the position

    ASSERT_EQ(qvraw_write_header(f, &b), 0);
    EXPECT_EQ(qvraw_write_header(f, &bad), -1); // refused: b stays the copy
    EXPECT_STREQ(qvraw_strerr(f), "Invalid number of channels");
    ASSERT_EQ(qvraw_close(f), 0);
    EXPECT_EQ(get("f.raw"), img(b, fr));
}

TEST_F(RawFile, FramesNeedChannelsAndStopAtTheEndOrTheSpectrumBlock) {
    const std::string p = path("f.raw");
    qvraw_file *f = qvraw_open(p.c_str(), QVRAW_MODE_WRITE);
    double buf[40];
    EXPECT_EQ(qvraw_read_data(f, buf, 1), -1);
    EXPECT_STREQ(qvraw_strerr(f), "Invalid sample size");
    ASSERT_EQ(qvraw_close(f), 0);

    auto fr = frames(25, 4);
    put("f.raw",
        img(hdr({vsum, QVRAW_SIGNAL_FILTER}, 25), fr) + std::string(13, 'x')); // 13: no whole frame
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

    auto lines = frames(3, 3, 100);
    fr = frames(7, 3);
    put("f.raw", img(hdr({raw}, 7, 3), fr, lines));
    f = qvraw_open(p.c_str(), QVRAW_MODE_UPDATE);
    EXPECT_EQ(qvraw_read_data(f, buf, 10), 7);
    EXPECT_EQ(qvraw_read_data(f, buf, 10), 0);
    ASSERT_EQ(qvraw_seek_data(f, 5, 0), 7);
    EXPECT_EQ(qvraw_write_data(f, buf, 4), 2); // writes are held back too
    ASSERT_EQ(qvraw_close(f), 0);
    std::copy(buf, buf + 6, fr.begin() + 15);
    EXPECT_EQ(get("f.raw"), img(hdr({raw}, 7, 3), fr, lines));
}

TEST_F(RawFile, SeekFromEachOriginReturnsTheFrameBefore) {
    put("f.raw", img(hdr({vsum, QVRAW_SIGNAL_LEVEL}, 20), frames(20, 4)));
    qvraw_file *f = qvraw_open(path("f.raw").c_str(), QVRAW_MODE_READ);
    auto next = [&] { // index of the next frame, -1 at the end
        double v[4];
        if (qvraw_read_data(f, v, 1) != 1) return -1L;
        qvraw_seek_data(f, -1, 1);
        return static_cast<long>(v[0]);
    };
    const std::tuple<long, int, long> moves[] = {{15, 0, 15}, {-4, 1, 6}, {-1, 2, 19},
                                                 {-20, 2, 0}, {0, 2, -1}, {30, 0, -1}};
    for (auto [frame, whence, to] : moves) {
        ASSERT_GE(qvraw_seek_data(f, 10, 0), 0);
        EXPECT_EQ(qvraw_seek_data(f, frame, whence), 10) << frame << "/" << whence;
        EXPECT_EQ(next(), to) << frame << "/" << whence;
    }
    // Refused moves leave the position alone: offsets beyond a file position
    // (LONG_MAX / 32: only the added header overflows), in front of the first
    // frame, from no origin.
    const std::tuple<long, int, int> refused[] = {{LONG_MAX / 4, 1, EOVERFLOW},
                                                  {LONG_MIN / 4, 2, EOVERFLOW},
                                                  {LONG_MAX / 32, 0, EOVERFLOW},
                                                  {-11, 1, EINVAL},
                                                  {-1, 0, EINVAL},
                                                  {0, 7, EINVAL}};
    ASSERT_GE(qvraw_seek_data(f, 10, 0), 0);
    for (auto [frame, whence, err] : refused) {
        EXPECT_EQ(qvraw_seek_data(f, frame, whence), -1) << frame << "/" << whence;
        EXPECT_EQ(qvraw_strerr(f), "I/O: " + sys_text("On seek():", err)) << frame;
        EXPECT_EQ(next(), 10) << frame << "/" << whence;
    }
    ASSERT_EQ(qvraw_close(f), 0);
}

TEST_F(RawFile, SpectrumBlockIsReplacedWhereTheFramesEndAndThePositionKept) {
    const std::string p = path("f.raw");
    auto fr = frames(5, 3), old = frames(4, 3, 100), lines = frames(2, 3, 700);
    double got[4 * 3];
    const std::string file = img(hdr({raw}, 5, 4), fr, old);
    put("f.raw", file);
    qvraw_file *f = qvraw_open(p.c_str(), QVRAW_MODE_READ);
    ASSERT_EQ(qvraw_read_fft(f, got), 0);
    EXPECT_EQ(std::vector<double>(got, got + 12), old);
    EXPECT_EQ(qvraw_write_fft(f, lines.data(), 2), -1); // a read-only file is not cut
    EXPECT_EQ(std::string(qvraw_strerr(f)).substr(0, 20), "I/O: On truncate(): ");
    ASSERT_EQ(qvraw_close(f), 0);
    EXPECT_EQ(get("f.raw"), file);

    f = qvraw_open(p.c_str(), QVRAW_MODE_UPDATE);
    ASSERT_EQ(qvraw_read_data(f, got, 1), 1);
    ASSERT_EQ(qvraw_write_fft(f, lines.data(), 2), 0);
    EXPECT_EQ(qvraw_read_data(f, got, 1), 1);
    EXPECT_EQ(got[0], 1.0) << "the block moved the position";
    ASSERT_EQ(qvraw_close(f), 0);
    EXPECT_EQ(get("f.raw"), img(hdr({raw}, 5, 4), fr, lines)); // nfreqs is the caller's
}

TEST_F(RawFile, PositionsBeyondTwoGigabytesAreExact) {
    if (sizeof(long) < 8) GTEST_SKIP() << "32-bit file positions";
    constexpr std::uint32_t n = 100'000'000; // 2.4 GB of frames, sparse but the last
    qvraw_header h = hdr({raw}, n, 1);
    auto last = frames(1, 3, 42), line = frames(1, 3, 77);
    qvraw_file *f = qvraw_open(path("f.raw").c_str(), QVRAW_MODE_WRITE);
    ASSERT_EQ(qvraw_write_header(f, &h), 0);
    ASSERT_EQ(qvraw_seek_data(f, n - 1, 0), 0);
    ASSERT_EQ(qvraw_write_data(f, last.data(), 1), 1);
    ASSERT_EQ(qvraw_write_fft(f, line.data(), 1), 0);
    ASSERT_EQ(qvraw_close(f), 0);

    f = qvraw_open(path("f.raw").c_str(), QVRAW_MODE_READ);
    double v[6];
    ASSERT_EQ(qvraw_seek_data(f, -2, 2), 0);
    EXPECT_EQ(qvraw_read_data(f, v, 2), 1);
    EXPECT_EQ(v[0], 42.0);
    EXPECT_EQ(qvraw_seek_data(f, 0, 0), static_cast<long>(n));
    ASSERT_EQ(qvraw_read_fft(f, v), 0);
    EXPECT_EQ(v[0], 77.0);
    ASSERT_EQ(qvraw_close(f), 0);
}

TEST_F(RawFile, IoFailuresAreDescribedOnce) {
    qvraw_io io{};
    ASSERT_EQ(qvraw_io_open(&io, path("missing").c_str(), "rb"), -1);
    EXPECT_EQ(qvraw_io_strerr(&io), sys_text("On open():", ENOENT));
    EXPECT_EQ(qvraw_io_strerr(&io), sys_text("None", 0));

    put("f", "0123456789");
    ASSERT_EQ(qvraw_io_open(&io, path("f").c_str(), "rb"), 0);
    char buf[12];
    EXPECT_EQ(qvraw_io_read(&io, buf, 4, 3), 2);             // two whole items, two bytes over
    EXPECT_EQ(qvraw_io_read(&io, buf, 8, SIZE_MAX / 4), -1); // more than a file can hold
    EXPECT_EQ(qvraw_io_strerr(&io), sys_text("On read():", EOVERFLOW));
    EXPECT_EQ(qvraw_io_write(&io, "x", 1, 1), -1);
    ASSERT_EQ(qvraw_io_seek(&io, 0, SEEK_SET), 0); // a success keeps the failure
    EXPECT_EQ(qvraw_io_strerr(&io), sys_text("On write():", EBADF));
    ASSERT_EQ(qvraw_io_close(&io), 0);

    // Bytes still buffered beyond a new end are dropped for good.
    ASSERT_EQ(qvraw_io_open(&io, path("f").c_str(), "wb"), 0);
    ASSERT_EQ(qvraw_io_write(&io, "xyz", 1, 3), 3);
    ASSERT_EQ(qvraw_io_truncate(&io, 2), 0);
    ASSERT_EQ(qvraw_io_close(&io), 0);
    EXPECT_EQ(get("f"), "xy");
}

TEST(RawTexts, EveryCodeHasATextOfItsOwn) {
    expect_own_text_per_code("qvraw", QVRAW_ERR_TEXTS);
    expect_own_text_per_code("qvraw I/O", QVRAW_IO_TEXTS);
}

} // namespace
