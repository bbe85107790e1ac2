#include "envelope.h"

#include <limits>
#include <new>

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

// Pairs of columns become one; the second half of the columns is emptied.
void merge_pairs(plot_envelope &e) {
    const std::size_t n = e.nchans;
    const std::size_t half = (e.ncols + 1) / 2;
    for (std::size_t k = 0; k < half; k++) {
        std::size_t a = 2 * k, b = 2 * k + 1;
        for (std::size_t c = 0; c < n; c++) {
            double lo = e.lo[a * n + c], hi = e.hi[a * n + c];
            if (b < e.ncols) {
                lo = e.lo[b * n + c] < lo ? e.lo[b * n + c] : lo;
                hi = e.hi[b * n + c] > hi ? e.hi[b * n + c] : hi;
            }
            e.lo[k * n + c] = lo;
            e.hi[k * n + c] = hi;
        }
    }
    for (std::size_t i = half * n; i < e.ncols * n; i++) {
        e.lo[i] = INF;
        e.hi[i] = -INF;
    }
    e.per_col *= 2;
}

} // namespace

int envelope_init(plot_envelope &e, std::size_t ncols, std::size_t nchans,
                  std::uint64_t announced) {
    e.ncols = ncols > 0 ? ncols : 1;
    e.nchans = nchans;
    e.frames = 0;
    e.per_col = announced > e.ncols ? (announced + e.ncols - 1) / e.ncols : 1;
    try {
        e.lo.assign(e.ncols * nchans, INF);
        e.hi.assign(e.ncols * nchans, -INF);
    } catch (const std::bad_alloc &) {
        return -1;
    }
    return 0;
}

void envelope_add(plot_envelope &e, const double *frames, std::size_t n) {
    const std::size_t nch = e.nchans;
    while (n > 0) {
        std::uint64_t col = e.frames / e.per_col;
        if (col >= e.ncols) {
            merge_pairs(e);
            continue;
        }
        // The frames that still fit in this column, in one run.
        std::uint64_t room = e.per_col - e.frames % e.per_col;
        std::size_t run = room < n ? static_cast<std::size_t>(room) : n;
        double *lo = &e.lo[col * nch], *hi = &e.hi[col * nch];
        for (std::size_t f = 0; f < run; f++, frames += nch) {
            for (std::size_t c = 0; c < nch; c++) {
                double v = frames[c]; // a NaN passes neither test
                if (v < lo[c]) lo[c] = v;
                if (v > hi[c]) hi[c] = v;
            }
        }
        e.frames += run;
        n -= run;
    }
}

std::size_t envelope_used(const plot_envelope &e) {
    return static_cast<std::size_t>((e.frames + e.per_col - 1) / e.per_col);
}

plot_peak envelope_peak(const plot_envelope &e, std::size_t chan) {
    plot_peak p{false, 0, 0.0};
    double best = -1;
    for (std::size_t col = 0, used = envelope_used(e); col < used; col++) {
        double lo = e.lo[col * e.nchans + chan], hi = e.hi[col * e.nchans + chan];
        if (lo > hi) continue; // empty
        // The first column to reach the largest magnitude; within a column
        // a tie goes to the positive value.
        double mag = hi >= -lo ? hi : -lo;
        if (mag > best) {
            best = mag;
            p = {true, col, hi >= -lo ? hi : lo};
        }
    }
    return p;
}
