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

// Writes `h` and the frames, with the header's statistics (left in `h`)
// taken from them.
int write_record(const std::string &path, qvraw_header &h, const std::vector<double> &v) {
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

// Rounds a fraction of full scale to four decimals, steps of 0.0127 mm/s:
// the text form's six significant digits show them in full below 100 mm/s.
double rounded(double x) {
    return std::round(x * 1e4) / 1e4;
}

} // namespace

int main(int argc, char **argv) {
    std::string dir = argc > 1 ? argv[1] : ".";
    unsigned seed = 12345;
    auto noise = [&] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<double>((seed >> 16) & 0x7fff) / 32768.0 - 0.5;
    };

    // The site's ambient vibration on X, Y and Z, as fractions of full
    // scale: up to about 0.2, 0.25 and 0.3 mm/s, below the event's trigger
    // level of 0.5 mm/s on every axis.
    constexpr double AMBIENT[3] = {0.0016, 0.002, 0.0024};

    // Three seconds of a triggered event (one before the trigger, two
    // after): ambient vibration, then from the trigger a decaying 12 Hz
    // swing, X moving the other way. It reaches Z first, half a frame
    // before the trigger frame, so that Z alone is above the trigger level
    // there; X and Y start at that frame from zero and pass the level one
    // frame later.
    qvraw_header ev = record_event_header(SITE, QVRAW_CHAN_Z, 0.5);
    const int rate = static_cast<int>(ev.rate);
    const int frames = static_cast<int>(ev.pre_event + ev.post_event) * rate;
    const int trigger = static_cast<int>(ev.pre_event) * rate;
    constexpr double AMPLITUDE[3] = {-0.1, 0.15, 0.25}, LEAD[3] = {0, 0, 0.5};
    std::vector<double> v;
    for (int i = 0; i < frames; i++) {
        for (int c = 0; c < 3; c++) {
            double x = 2 * AMBIENT[c] * noise();
            double t = (i - trigger + LEAD[c]) / rate;
            if (t >= 0) x += AMPLITUDE[c] * std::exp(-3 * t) * std::sin(2 * M_PI * 12 * t);
            v.push_back(rounded(x));
        }
    }
    if (write_record(dir + "/event.raw", ev, v) != 0) return 1;

    // The hour of background that holds the event: per-minute peaks of X,
    // Y, Z and their vector sum. The first minute's are the event's, the
    // others those of the ambient vibration.
    qvraw_header bg = record_background_header(SITE);
    v.clear();
    for (int m = 0; m < 60; m++) {
        double p[3], sq = 0;
        for (int c = 0; c < 3; c++) {
            p[c] = m == 0 ? ev.peak[c] : rounded(AMBIENT[c] * (0.8 + 0.4 * noise()));
            sq += p[c] * p[c];
            v.push_back(p[c]);
        }
        v.push_back(rounded(m == 0 ? ev.vsum : std::sqrt(sq)));
    }
    return write_record(dir + "/background.raw", bg, v) == 0 ? 0 : 1;
}
