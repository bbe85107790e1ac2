// Writes the raw example records of examples/: an event record of three
// velocity channels and a background record of per-minute peaks and vector
// sums. The text, xqv and bqv examples are converted from them by qvconv
// (the make-examples target).
//
//   make_examples <folder>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "qvraw.h"
#include "record_header.h"

namespace {

constexpr record_site SITE = {"A1B2C3D4", "Bridge pier 4", "Example record", 12.6,
                              1764583200}; // 2025-12-01 10:00:00 UTC

// Writes `h` and the frames, with the header's statistics taken from them.
int write_record(const std::string &path, qvraw_header h, const std::vector<double> &v) {
    std::size_t nchans = qvraw_header_get_nchans(&h);
    std::size_t frames = v.size() / nchans;
    h.nsamples = static_cast<std::uint32_t>(frames);
    double maxsq = 0;
    for (std::size_t f = 0; f < frames; f++) {
        double sq = 0;
        for (std::size_t c = 0; c < nchans; c++) {
            double x = v[f * nchans + c];
            h.peak[c] = std::fmax(h.peak[c], std::fabs(x));
            h.offset[c] += x / static_cast<double>(frames);
            sq += x * x;
        }
        maxsq = std::fmax(maxsq, sq);
    }
    h.vsum = static_cast<double>(std::sqrt(static_cast<float>(maxsq)));
    qvraw_file *f = qvraw_open(path.c_str(), QVRAW_MODE_WRITE);
    if (!f || qvraw_write_header(f, &h) != 0 ||
        qvraw_write_data(f, v.data(), frames) != static_cast<long>(frames) || qvraw_close(f) != 0) {
        std::fprintf(stderr, "make_examples: %s: %s\n", path.c_str(), qvraw_strerr(f));
        return -1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    std::string dir = argc > 1 ? argv[1] : ".";
    unsigned seed = 12345;
    auto noise = [&] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<double>((seed >> 16) & 0x7fff) / 32768.0 - 0.5;
    };

    // A quarter of a second of a triggered event: a decaying 12 Hz swing.
    qvraw_header ev = record_event_header(SITE, QVRAW_CHAN_Z, 0.5);
    std::vector<double> v;
    for (int i = 0; i < 256; i++) {
        double t = i / 1024.0;
        double env = std::exp(-6 * t);
        for (int c = 0; c < 3; c++)
            v.push_back(std::round((0.3 * (c + 1) * env * std::sin(2 * M_PI * 12 * t + c) +
                                    0.01 * noise()) *
                                   1e4) /
                        1e4);
    }
    if (write_record(dir + "/event.raw", ev, v) != 0) return 1;

    // An hour of background: per-minute peaks of X, Y, Z and the vector sum.
    qvraw_header bg = record_background_header(SITE);
    v.clear();
    for (int m = 0; m < 60; m++) {
        double p[3], sq = 0;
        for (int c = 0; c < 3; c++) {
            p[c] = std::round((0.02 + 0.01 * c + 0.005 * noise()) * 1e4) / 1e4;
            sq += p[c] * p[c];
            v.push_back(p[c]);
        }
        v.push_back(std::round(std::sqrt(sq) * 1e4) / 1e4);
    }
    return write_record(dir + "/background.raw", bg, v) == 0 ? 0 : 1;
}
