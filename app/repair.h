// Header repair (-r): the frame count, each channel's peak and offset
// (mean) and the peak of the vector sum are recomputed while the samples
// are copied; values further than the tolerance from the header's are
// replaced and the header written once more.
#pragma once

#include <cstddef>

#include "qvfmt.h"
#include "qvraw.h"

// Statistics of the frames copied so far; value-initialise to start.
struct repair_stats {
    double sum[QVFMT_MAX_CHANNELS];
    double peak[QVFMT_MAX_CHANNELS];
    std::size_t frames;
    double maxsq; // the largest sum of squares of one frame
};

// Adds `frames` frames of `nchans` values to the statistics.
void repair_gather(repair_stats &s, const double *block, std::size_t frames, std::size_t nchans);

// Replaces the values of `h` that are off (tracing each) and, when any
// changed, writes `h` to `out` once more. 0, or -1 when that write failed
// (the message printed, naming `tmp`): the output may then be left half
// rewritten (the text header moves the samples when its length changes),
// so it must not pass for a result.
int repair_apply(const repair_stats &s, qvraw_header &h, std::size_t nchans, qvfmt_handle *out,
                 const char *tmp);
