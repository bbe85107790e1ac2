// Writes the records of the end-to-end benchmark (bench/run) with the raw
// library, a block of frames at a time, so that a record of any length
// takes the same memory:
//
//   bench_make_records event <path> <frames> [seed]
//       an event record at 1024 samples per second: three velocity
//       channels, each a sum of two sines plus noise, within [-1, 1];
//   bench_make_records background <path> <frames> [seed]
//       a background record of one frame per minute: peaks of X, Y, Z and
//       their vector sum;
//   bench_make_records dir <dir> <files> <frames>
//       <files> event records rec00000.raw, ... of <frames> frames each.
//
// The header's frame count, peaks, offsets and vector-sum peak are those of
// the frames written, so a repair finds nothing to change.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qvraw.h"
#include "record_header.h"
#include "records.h"

namespace {

constexpr std::size_t BLOCK = 1024;

constexpr record_site SITE = {"B7E40912", "Tunnel portal east", "Benchmark record", 12.4,
                              1767261600}; // 2026-01-01 10:00:00 UTC

// Uniform in [-1, 1).
struct noise {
    std::uint64_t s;
    double operator()() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<double>(s >> 11) * 0x1p-52 - 1.0;
    }
};

struct stats {
    double peak[QVRAW_MAX_CHANNELS] = {};
    double sum[QVRAW_MAX_CHANNELS] = {};
    double maxsq = 0;

    void add(const double *x, std::size_t nchans) {
        double sq = 0;
        for (std::size_t c = 0; c < nchans; c++) {
            peak[c] = std::fmax(peak[c], std::fabs(x[c]));
            sum[c] += x[c];
            sq += x[c] * x[c];
        }
        maxsq = std::fmax(maxsq, sq);
    }

    void apply(qvraw_header &h, std::size_t nchans, std::size_t frames) const {
        h.nsamples = static_cast<std::uint32_t>(frames);
        for (std::size_t c = 0; c < nchans; c++) {
            h.peak[c] = peak[c];
            h.offset[c] = frames ? sum[c] / static_cast<double>(frames) : 0.0;
        }
        h.vsum = static_cast<double>(std::sqrt(static_cast<float>(maxsq)));
    }
};

// Frame i of an event record.
void event_frame(double *x, std::size_t i, noise &n) {
    static constexpr double f1[3] = {12.0, 7.5, 3.3}, f2[3] = {41.0, 55.0, 23.0};
    static constexpr double a1[3] = {0.35, 0.5, 0.6}, a2[3] = {0.1, 0.15, 0.2};
    double t = static_cast<double>(i) / 1024.0;
    for (int c = 0; c < 3; c++) {
        double v = a1[c] * std::sin(2 * M_PI * f1[c] * t + c) +
                   a2[c] * std::sin(2 * M_PI * f2[c] * t) + 0.05 * n();
        x[c] = std::fmax(-1.0, std::fmin(1.0, v));
    }
}

// Frame i of a background record: slowly varying peaks, their vector sum.
void background_frame(double *x, std::size_t i, noise &n) {
    double day = static_cast<double>(i) / 1440.0;
    double sq = 0;
    for (int c = 0; c < 3; c++) {
        x[c] = (0.02 + 0.01 * c) * (1.5 + std::sin(2 * M_PI * day + c)) + 0.004 * (n() + 1.0);
        sq += x[c] * x[c];
    }
    x[3] = std::sqrt(sq);
}

int write_record(const std::string &path, bool event, std::size_t frames, std::uint64_t seed) {
    qvraw_header h =
        event ? record_event_header(SITE, QVRAW_CHAN_X, 0.25) : record_background_header(SITE);
    std::size_t nchans = qvraw_header_get_nchans(&h);
    noise n{seed * 0x9E3779B97F4A7C15ull + 1};
    stats st;
    double block[BLOCK * QVRAW_MAX_CHANNELS];
    qvraw_file *f = qvraw_open(path.c_str(), QVRAW_MODE_WRITE);
    bool ok = f && qvraw_write_header(f, &h) == 0;
    for (std::size_t done = 0; ok && done < frames;) {
        std::size_t m = frames - done < BLOCK ? frames - done : BLOCK;
        for (std::size_t k = 0; k < m; k++) {
            double *x = block + k * nchans;
            if (event)
                event_frame(x, done + k, n);
            else
                background_frame(x, done + k, n);
            st.add(x, nchans);
        }
        ok = qvraw_write_data(f, block, m) == static_cast<long>(m);
        done += m;
    }
    if (ok) {
        st.apply(h, nchans, frames);
        ok = qvraw_write_header(f, &h) == 0 && qvraw_close(f) == 0;
    }
    if (!ok) {
        std::fprintf(stderr, "bench_make_records: %s: %s\n", path.c_str(), qvraw_strerr(f));
        return 1;
    }
    return 0;
}

std::size_t count_arg(const char *s) {
    char *end = nullptr;
    unsigned long long v = std::strtoull(s, &end, 10);
    if (*s == '\0' || *end != '\0' || v > 0xFFFFFFFFull) {
        std::fprintf(stderr, "bench_make_records: not a count: %s\n", s);
        std::exit(2);
    }
    return static_cast<std::size_t>(v);
}

} // namespace

int main(int argc, char **argv) {
    if (argc >= 4 &&
        (std::strcmp(argv[1], "event") == 0 || std::strcmp(argv[1], "background") == 0))
        return write_record(argv[2], argv[1][0] == 'e', count_arg(argv[3]),
                            argc > 4 ? count_arg(argv[4]) : 1);
    if (argc == 5 && std::strcmp(argv[1], "dir") == 0) {
        std::size_t files = count_arg(argv[3]), frames = count_arg(argv[4]);
        for (std::size_t i = 0; i < files; i++)
            if (write_record(bench_record_name(argv[2], static_cast<unsigned>(i), "raw"), true,
                             frames, i + 2) != 0)
                return 1;
        return 0;
    }
    std::fprintf(stderr, "usage: bench_make_records event|background <path> <frames> [seed]\n"
                         "       bench_make_records dir <dir> <files> <frames>\n");
    return 2;
}
