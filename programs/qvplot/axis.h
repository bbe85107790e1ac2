// Axis ticks a reader takes in at a glance: steps of 1, 2 or 5 times a
// power of ten, the range widened to whole steps, labels with just the
// digits the step needs.
#pragma once

#include <cstddef>

struct plot_axis {
    double lo, hi; // whole multiples of step, lo < hi
    double step;
    int decimals; // digits after the point that show every tick exactly; -1: "%g"
};

// Ticks over [lo, hi] (lo <= hi; infinite ends are cut to +-1e300), about
// `target` of them (at least 1).
plot_axis axis_nice(double lo, double hi, int target);
// Number of ticks: lo, lo + step, ..., hi.
int axis_ticks(const plot_axis &a);
// Value of tick `i`, computed from its index so that no error accumulates.
double axis_tick(const plot_axis &a, int i);
// The label of value `v` on axis `a`, in no locale ("-0" is shown as "0").
void axis_label(char *buf, std::size_t size, const plot_axis &a, double v);
