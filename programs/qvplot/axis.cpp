#include "axis.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr double LIMIT = 1e300;

double clamp(double v) {
    return v < -LIMIT ? -LIMIT : v > LIMIT ? LIMIT : v;
}

} // namespace

plot_axis axis_nice(double lo, double hi, int target) {
    lo = lo == lo ? clamp(lo) : 0, hi = hi == hi ? clamp(hi) : 0;
    // A range too narrow to tick (one value, or a span lost in the last
    // digits of its values) is widened around its middle.
    double mid = lo / 2 + hi / 2;
    double least = std::fmax(std::fabs(mid) * 1e-9, 1e-290);
    if (!(hi - lo >= least)) {
        least = mid == 0 ? 1 : std::fmax(std::fabs(mid) / 2, least);
        lo = mid - least, hi = mid + least;
    }
    double raw = (hi - lo) / (target > 0 ? target : 1);
    int exp10 = static_cast<int>(std::floor(std::log10(raw)));
    double mag = std::pow(10.0, exp10);
    double norm = raw / mag;
    // The step nearest to the wanted one (on a log scale, roughly).
    int m = norm < 1.5 ? 1 : norm < 3 ? 2 : norm < 7 ? 5 : 10;
    if (m == 10) m = 1, exp10++, mag *= 10;
    plot_axis a;
    a.step = m * mag;
    a.lo = std::floor(lo / a.step) * a.step;
    a.hi = std::ceil(hi / a.step) * a.step;
    a.decimals = exp10 >= 0 ? 0 : -exp10;
    if (a.decimals > 9 || std::fabs(a.lo) >= 1e9 || std::fabs(a.hi) >= 1e9) a.decimals = -1;
    return a;
}

int axis_ticks(const plot_axis &a) {
    // About the target by construction; bounded all the same.
    double n = std::round((a.hi - a.lo) / a.step);
    return n >= 0 && n < 1000 ? static_cast<int>(n) + 1 : 1;
}

double axis_tick(const plot_axis &a, int i) {
    return (std::round(a.lo / a.step) + i) * a.step;
}

void axis_label(char *buf, std::size_t size, const plot_axis &a, double v) {
    if (std::fabs(v) < a.step * 1e-9) v = 0; // no "-0", no "1e-17" for zero
    if (a.decimals < 0)
        std::snprintf(buf, size, "%g", v);
    else
        std::snprintf(buf, size, "%.*f", a.decimals, v);
}
