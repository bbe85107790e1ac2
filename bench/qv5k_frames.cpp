// Frame throughput of the recorder-binary formats: xqv frames and bqv
// frames written and read through the library front, the bare frame codecs,
// and a plain memory copy of the same bytes for comparison.
//
// Usage: bench_qv5k_frames [scale]   (scale 1 = 4M xqv and 400k bqv frames;
// a smaller scale such as 0.01 finishes in well under a second).
#include "qv5k_internal.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void report(const char *what, std::size_t frames, double secs) {
    double rate = secs > 0 ? static_cast<double>(frames) / secs : 0.0;
    std::printf("%-28s %10zu frames %8.3f s %12.0f frames/s\n", what, frames, secs, rate);
}

std::vector<double> make_frames(std::size_t n, std::size_t nchans) {
    std::vector<double> v(n * nchans);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<double>(static_cast<long>(i % 4001) - 2000) / 2048.0;
    return v;
}

// Copies `bytes` bytes in blocks of 64 KiB, as a lower bound for any codec.
void bench_memcpy(const char *what, std::size_t frames, std::size_t bytes) {
    std::vector<unsigned char> src(bytes, 0x5A), dst(65536);
    auto t0 = Clock::now();
    for (std::size_t off = 0; off < bytes; off += dst.size()) {
        std::size_t n = bytes - off < dst.size() ? bytes - off : dst.size();
        std::memcpy(dst.data(), src.data() + off, n);
        asm volatile("" : : "r"(dst.data()) : "memory");
    }
    report(what, frames, seconds_since(t0));
}

int bench_file(const char *label, const qv5k_header &hdr, std::size_t frames,
               const std::string &path) {
    const std::size_t nchans = qv5k_header_nchannels(&hdr);
    const std::size_t chunk = 1024;
    std::vector<double> in = make_frames(chunk, nchans), out(chunk * nchans);
    qv5k_handle h;
    if (qv5k_open(&h, path.c_str(), QV5K_MODE_CREATE) != 0 || qv5k_write_header(&h, &hdr) != 0) {
        std::fprintf(stderr, "%s: %s\n", label, qv5k_strerror(&h));
        return -1;
    }
    auto t0 = Clock::now();
    for (std::size_t done = 0; done < frames; done += chunk) {
        std::size_t n = frames - done < chunk ? frames - done : chunk;
        if (qv5k_write_data(&h, in.data(), n) != static_cast<long>(n)) {
            std::fprintf(stderr, "%s: %s\n", label, qv5k_strerror(&h));
            return -1;
        }
    }
    if (qv5k_close(&h) != 0) {
        std::fprintf(stderr, "%s: %s\n", label, qv5k_strerror(&h));
        return -1;
    }
    std::string what = std::string(label) + " write";
    report(what.c_str(), frames, seconds_since(t0));

    qv5k_header back;
    if (qv5k_open(&h, path.c_str(), QV5K_MODE_READ) != 0 || qv5k_read_header(&h, &back) != 0) {
        std::fprintf(stderr, "%s: %s\n", label, qv5k_strerror(&h));
        return -1;
    }
    t0 = Clock::now();
    std::size_t total = 0;
    for (;;) {
        long n = qv5k_read_data(&h, out.data(), chunk);
        if (n < 0) {
            std::fprintf(stderr, "%s: %s\n", label, qv5k_strerror(&h));
            return -1;
        }
        if (n == 0) break;
        total += static_cast<std::size_t>(n);
    }
    what = std::string(label) + " read";
    report(what.c_str(), total, seconds_since(t0));
    qv5k_close(&h);
    return total == frames ? 0 : -1;
}

void bench_codecs(std::size_t xqv_frames, std::size_t bqv_frames) {
    const std::size_t chunk = 1024;
    std::vector<double> frames = make_frames(chunk, 3), back(chunk * 3);
    std::vector<std::uint8_t> buf(chunk * 9);
    auto t0 = Clock::now();
    for (std::size_t done = 0; done < xqv_frames; done += chunk) {
        qv5k_xqv_encode(buf.data(), frames.data(), chunk, 8388608.0);
        qv5k_xqv_decode(back.data(), buf.data(), chunk, 8388608.0);
        asm volatile("" : : "r"(back.data()) : "memory");
    }
    report("xqv encode+decode", xqv_frames, seconds_since(t0));
    t0 = Clock::now();
    for (std::size_t done = 0; done < bqv_frames; done += 41) {
        qv5k_bqv_encode(buf.data(), 1, frames.data(), 41);
        qv5k_bqv_decode(back.data(), 1, buf.data(), 41);
        asm volatile("" : : "r"(back.data()) : "memory");
    }
    report("bqv layout 1 encode+decode", bqv_frames, seconds_since(t0));
}

} // namespace

int main(int argc, char **argv) {
    double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
    if (!(scale > 0)) scale = 1.0;
    const auto xqv_frames = static_cast<std::size_t>(4000000 * scale) + 1;
    const auto bqv_frames = static_cast<std::size_t>(400000 * scale) + 1;

    char tmpl[] = "/tmp/bench-qv5k-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) {
        std::perror("mkstemp");
        return 1;
    }
    close(fd);
    const std::string path = tmpl;

    qv5k_header xqv{};
    xqv.rec_mode = QV5K_RECMODE_EVENT;
    xqv.resolution = 24;
    qv5k_header bqv1{};
    bqv1.rec_mode = QV5K_RECMODE_BACK3;
    bqv1.resolution = 20;
    bqv1.back_mode = 4;
    bqv1.back_period = 1;
    bqv1.date[0] = 0x01, bqv1.date[1] = 0x01, bqv1.date[2] = 0x10;
    qv5k_header bqv2 = bqv1;
    bqv2.rec_mode = QV5K_RECMODE_BACK4;
    bqv2.back_mode = 8;

    int rc = 0;
    rc |= bench_file("xqv", xqv, xqv_frames, path);
    bench_memcpy("memcpy of the xqv bytes", xqv_frames, xqv_frames * 9);
    rc |= bench_file("bqv layout 1", bqv1, bqv_frames, path);
    rc |= bench_file("bqv layout 2", bqv2, bqv_frames, path);
    bench_memcpy("memcpy of the bqv bytes", bqv_frames, (bqv_frames / 41 + 1) * 256);
    bench_codecs(xqv_frames, bqv_frames);
    std::remove(path.c_str());
    return rc == 0 ? 0 : 1;
}
