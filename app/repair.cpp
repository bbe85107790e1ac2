#include "repair.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "log.h"

namespace {

constexpr double REPAIR_TOLERANCE = 0.0001;

// The repaired vector-sum peak is a single-precision root (the root of 2 is
// 1.4142135381698608), and the same in both builds: both compute floats in
// SSE registers, where a float square root is rounded to single precision.
double single_precision_root(double maxsq) {
    return static_cast<double>(std::sqrt(static_cast<float>(maxsq)));
}

// Differs beyond the tolerance, or is not a number.
bool is_off(double a, double b) {
    double d = std::fabs(a - b);
    return !(d <= REPAIR_TOLERANCE);
}

} // namespace

void repair_gather(repair_stats &s, const double *block, std::size_t frames, std::size_t nchans) {
    for (std::size_t f = 0; f < frames; f++) {
        const double *x = block + f * nchans;
        double sq = 0;
        for (std::size_t c = 0; c < nchans; c++) {
            double a = std::fabs(x[c]);
            if (a > s.peak[c]) // NaN never passes
                s.peak[c] = a;
            s.sum[c] += x[c];
            sq += x[c] * x[c];
        }
        if (sq > s.maxsq) s.maxsq = sq;
    }
    s.frames += frames;
}

int repair_apply(const repair_stats &s, qvraw_header &h, std::size_t nchans, qvfmt_handle *out,
                 const char *tmp) {
    double vsum = single_precision_root(s.maxsq);
    qvraw_header before = h;

    if (h.nsamples != s.frames) {
        log_trace_file("    Repairing samples count: %u -> %zu\n", h.nsamples, s.frames);
        h.nsamples = static_cast<std::uint32_t>(s.frames);
    }
    if (is_off(h.vsum, vsum)) {
        log_trace_file("    Repairing VSUM: %lf -> %lf\n", h.vsum, vsum);
        h.vsum = vsum;
    }
    for (std::size_t c = 0; c < nchans; c++) {
        if (is_off(h.peak[c], s.peak[c])) {
            log_trace_file("    Repairing peak[%zu]: %lf -> %lf\n", c, h.peak[c], s.peak[c]);
            h.peak[c] = s.peak[c];
        }
        // A record without frames has no mean: its offsets stay as they are.
        if (s.frames == 0) continue;
        double offset = s.sum[c] / static_cast<double>(s.frames);
        if (is_off(h.offset[c], offset)) {
            log_trace_file("    Repairing offset[%zu]: %lf -> %lf\n", c, h.offset[c], offset);
            h.offset[c] = offset;
        }
    }
    if (std::memcmp(&before, &h, sizeof h) == 0) return 0;
    log_trace_file("    Writing header\n");
    if (qvfmt_write_header(out, &h) != 0) {
        log_err("Failed to write header while repairing %s: %s\n", tmp, qvfmt_strerr(out));
        return -1;
    }
    return 0;
}
