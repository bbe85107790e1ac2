// Opens arbitrary bytes as a raw file and walks everything the library can
// reach in it: the header, every frame, the spectrum block and seeks from
// each origin; then opens the same bytes for update and rewrites header,
// frames and block.
#include "qvraw.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

// One scratch file per process, removed when the fuzzer exits. A plain
// array: it must outlive the exit handler.
const char *scratch_path() {
    static char path[512];
    if (path[0] == '\0') {
        const char *dir = std::getenv("TMPDIR");
        std::snprintf(path, sizeof path, "%s/fuzz_raw-%ld.raw", dir && *dir ? dir : "/tmp",
                      static_cast<long>(getpid()));
        std::atexit([] { std::remove(scratch_path()); });
    }
    return path;
}

bool spill(const char *path, const std::uint8_t *data, std::size_t size) {
    std::FILE *fp = std::fopen(path, "wb");
    if (fp == nullptr) return false;
    bool ok = std::fwrite(data, 1, size, fp) == size;
    return std::fclose(fp) == 0 && ok;
}

void check(bool ok) {
    if (!ok) std::abort();
}

// Reads every frame in chunks; a read never yields more than asked.
void read_all(qvraw_file *f, std::size_t nchans) {
    constexpr std::size_t chunk = 7;
    std::vector<double> buf(chunk * nchans);
    for (;;) {
        long n = qvraw_read_data(f, buf.data(), chunk);
        check(n <= static_cast<long>(chunk));
        if (n <= 0) break;
    }
    qvraw_strerr(f);
}

// The whole block when it is of a size a caller could hold in memory; when
// its size does not even fit in a size_t the library must refuse it
// without touching the (here tiny) buffer.
void read_block(qvraw_file *f, std::size_t nfreqs, std::size_t nchans) {
    std::size_t values = 0;
    if (__builtin_mul_overflow(nfreqs, nchans * sizeof(double), &values)) {
        double one = 0;
        check(qvraw_read_fft(f, &one) == -1);
    } else if (values <= (std::size_t{1} << 20)) {
        std::vector<double> lines(nfreqs * nchans + 1);
        qvraw_read_fft(f, lines.data());
    }
    qvraw_strerr(f);
}

void seeks(qvraw_file *f, std::size_t nchans) {
    const struct {
        long frame;
        int whence;
    } moves[] = {
        {0, 0},  {-1, 2}, {3, 1}, {-5, 1}, {LONG_MAX / 3, 1},  {LONG_MIN / 5, 2},
        {-1, 0}, {0, 2},  {1, 0}, {2, 9},  {LONG_MAX / 16, 0},
    };
    std::vector<double> frame(nchans + 1);
    for (const auto &m : moves) {
        qvraw_seek_data(f, m.frame, m.whence);
        qvraw_strerr(f);
        check(qvraw_read_data(f, frame.data(), 1) <= 1);
        qvraw_strerr(f);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const char *path = scratch_path();
    if (!spill(path, data, size)) return 0;

    qvraw_file *f = qvraw_open(path, QVRAW_MODE_READ);
    if (f == nullptr) {
        qvraw_strerr(nullptr);
        return 0;
    }
    qvraw_header h{};
    check(qvraw_read_header(f, &h) == 0);
    std::size_t nchans = qvraw_header_get_nchans(&h);
    check(nchans <= QVRAW_MAX_CHANNELS);
    read_all(f, nchans);
    read_block(f, h.nfreqs, nchans);
    seeks(f, nchans);
    check(qvraw_close(f) == 0);

    // The same bytes opened for update: a new header, frames over the old
    // ones (held back from the block) and a replaced block.
    f = qvraw_open(path, QVRAW_MODE_UPDATE);
    check(f != nullptr);
    h.nsamples = h.nsamples % 64;
    check(qvraw_write_header(f, &h) == 0);
    std::vector<double> frames(5 * nchans + 1, 0.25);
    qvraw_seek_data(f, 1, 0);
    long n = qvraw_write_data(f, frames.data(), 5);
    check(n <= 5);
    qvraw_strerr(f);
    // The handle knows the new block's size only once it is written.
    bool replaced = qvraw_write_fft(f, frames.data(), 2) == 0;
    qvraw_strerr(f);
    read_block(f, replaced ? 2 : h.nfreqs, nchans);
    read_all(f, nchans);
    check(qvraw_close(f) == 0);
    return 0;
}
