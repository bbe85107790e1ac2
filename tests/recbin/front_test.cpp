// The library front: the first header fixes the variant, later headers are
// checked against the binding, data calls dispatch, close writes the
// pending block, and every failure has its message once.
#include "recbin_util.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace recbin_test;

namespace {

std::string sys(const char *prefix, int e) {
    return prefix + std::string(std::strerror(e));
}

TEST(FrontBinding, HeadersThatCannotBindAreRefused) {
    TempDir dir;
    struct {
        std::size_t size;
        std::vector<std::pair<std::size_t, std::uint8_t>> patches; // on an xqv header
        const char *text;
    } cases[] = {
        {10, {}, "I/O: End of file reached"},         {256, {{4, 3}}, "Invalid file"},
        {256, {{63, 0}}, "Invalid header"},           {256, {{4, 4}, {215, 15}}, "Invalid header"},
        {256, {{4, 4}, {215, 10}}, "Invalid header"}, // 3 channels against 6
    };
    for (const auto &c : cases) {
        qv5k_header h = xqv_header();
        Bytes file(qv5k_header_bytes(&h), qv5k_header_bytes(&h) + c.size);
        for (auto [at, v] : c.patches)
            file[at] = v;
        write_file(dir.path(), file);
        Rec r;
        ASSERT_EQ(r.open(dir.path(), QV5K_MODE_READ), 0);
        EXPECT_EQ(qv5k_read_header(&r.h, &h), -1) << c.text;
        EXPECT_EQ(r.msg(), c.text);
        EXPECT_EQ(r.msg(), "None");
    }
}

TEST(FrontBinding, LaterHeadersAreCheckedAndOnlyMatchingOnesWritten) {
    TempDir dir;
    Rec r;
    ASSERT_EQ(r.open(dir.path(), QV5K_MODE_CREATE), 0);
    double frame[3] = {0.25, 0.25, 0.25};
    EXPECT_EQ(qv5k_write_data(&r.h, frame, 1), -1); // no header yet
    EXPECT_EQ(r.msg(), "Invalid file");
    qv5k_header bad = xqv_header();
    bad.resolution = 0;
    EXPECT_EQ(qv5k_write_header(&r.h, &bad), -1);
    EXPECT_EQ(r.msg(), "Invalid header");
    EXPECT_EQ(qv5k_write_data(&r.h, frame, 1), -1); // the variant is still unbound
    EXPECT_EQ(r.msg(), "Header is not available");

    const qv5k_header first = xqv_header(0);
    ASSERT_EQ(qv5k_write_header(&r.h, &first), 0);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(qv5k_write_data(&r.h, frame, 1), 1);
    qv5k_header second = xqv_header(10);
    qv5k_set_uint24(second.peak[0], 2097152);
    ASSERT_EQ(qv5k_write_header(&r.h, &second), 0);
    qv5k_header other = second;
    other.resolution = 20;
    EXPECT_EQ(qv5k_write_header(&r.h, &other), -1);
    EXPECT_EQ(r.msg(), "Invalid header");
    qv5k_header back = bqv_header(4); // checked as xqv: same resolution passes
    back.resolution = 24;
    EXPECT_EQ(qv5k_write_header(&r.h, &back), 0);
    EXPECT_EQ(r.h.filetype, QV5K_FILETYPE_XQV);
    ASSERT_EQ(qv5k_write_header(&r.h, &second), 0);
    ASSERT_EQ(qv5k_write_data(&r.h, frame, 1), 1);
    ASSERT_EQ(qv5k_close(&r.h), 0);

    Bytes f = read_file(dir.path());
    ASSERT_EQ(f.size(), 256u + 11u * 9u);
    EXPECT_EQ(slice(f, 0, 256),
              Bytes(qv5k_header_bytes(&second), qv5k_header_bytes(&second) + 256));
    for (std::size_t i = 0; i < 11 * 3; ++i)
        EXPECT_EQ(qv5k_get_int24(&f[256 + 3 * i]), 2097152) << i;
}

TEST(FrontData, EveryVariantRoundTripsAndReadOnlyFilesRefuseWrites) {
    TempDir dir;
    const std::pair<qv5k_header, std::size_t> variants[] = {
        {xqv_header(), 100}, {bqv_header(4), 100}, {bqv_header(8), 45}, {bqv_header(14), 21}};
    for (const auto &[hdr, frames] : variants) {
        const std::size_t nchans = qv5k_header_nchannels(&hdr);
        std::vector<double> in(frames * nchans);
        for (std::size_t i = 0; i < in.size(); ++i)
            in[i] = static_cast<double>(i % 64) / (nchans == 6 && i % 6 >= 3 ? 10.0 : 128.0);
        make_rec(dir.path(), hdr, in);

        Rec r;
        ASSERT_EQ(r.open(dir.path(), QV5K_MODE_READ), 0);
        qv5k_header back;
        ASSERT_EQ(qv5k_read_header(&r.h, &back), 0);
        EXPECT_EQ(std::memcmp(&back, &hdr, sizeof back), 0);
        std::vector<double> out(in.size() + 64 * nchans);
        EXPECT_EQ(qv5k_read_data(&r.h, out.data(), frames + 64), static_cast<long>(frames));
        out.resize(in.size());
        EXPECT_EQ(out, in) << nchans;
        // Refused at once for xqv frames, when the pending block goes out
        // for bqv.
        ASSERT_EQ(qv5k_seek_data(&r.h, 0, 0), 0);
        bool xqv = r.h.filetype == QV5K_FILETYPE_XQV;
        EXPECT_EQ(qv5k_write_data(&r.h, out.data(), 1), xqv ? -1 : 1);
        EXPECT_EQ(qv5k_close(&r.h), xqv ? 0 : -1);
        EXPECT_EQ(r.msg(), sys("I/O: On write(): ", EBADF));
    }
}

TEST(FrontMessages, OpenFailuresAndTextsCutToSixtyThree) {
    TempDir dir;
    Rec r;
    EXPECT_EQ(r.open(dir.path("missing"), QV5K_MODE_READ), -1);
    EXPECT_EQ(r.msg(), sys("I/O: On open(): ", ENOENT));
    EXPECT_EQ(r.open(dir.path(), 9), -1);
    EXPECT_EQ(r.msg(), "I/O: Invalid file mode");
    r.h.err = QV5K_ERR_IO;
    r.h.io.op = QV5K_IO_CLOSE;
    r.h.io.errnum = ELIBMAX; // the longest system text there is
    EXPECT_EQ(r.msg(), sys("I/O: On close(): ", ELIBMAX).substr(0, 63));
    EXPECT_EQ(r.h.io.op, QV5K_IO_NONE);
}

TEST(FrontClose, PendingBlockIsWrittenAndItsFailureNamed) {
    TempDir dir;
    const qv5k_header hdr = bqv_header(4);
    const std::vector<double> frames(5 * 3, 0.5);
    Rec r;
    ASSERT_EQ(r.open(dir.path(), QV5K_MODE_CREATE), 0);
    ASSERT_EQ(qv5k_write_header(&r.h, &hdr), 0);
    ASSERT_EQ(qv5k_write_data(&r.h, frames.data(), 5), 5);
    // Files of this process may not grow past 300 bytes for a moment, so
    // the block at 256 cannot be written.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit lim = old;
    lim.rlim_cur = 300;
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) GTEST_SKIP() << "cannot limit the file size";
    int rc = qv5k_close(&r.h);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(r.h.io.fp, nullptr); // closed all the same
    EXPECT_EQ(r.msg(), sys("I/O: On write(): ", EFBIG));

    make_rec(dir.path(), hdr, frames);
    EXPECT_EQ(read_file(dir.path()).size(), 512u);
}

} // namespace
