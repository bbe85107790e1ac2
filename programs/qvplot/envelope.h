// The picture's data: for each pixel column and channel the minimum and the
// maximum of the frames that fall in the column, gathered in one streaming
// pass with memory fixed by the width, whatever the record's length.
//
// A column holds `per_col` consecutive frames, chosen from the header's
// frame count so that the record fills the columns. That count may be wrong:
// when more frames come than the columns can take, neighbouring columns are
// merged in pairs and `per_col` doubles, so every frame still lands in a
// column. Minimum and maximum merge exactly, so no peak is ever lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct plot_envelope {
    std::size_t ncols = 0;  // columns available
    std::size_t nchans = 0; // values per frame
    std::uint64_t per_col = 1;
    std::uint64_t frames = 0; // frames added so far
    // Indexed [column * nchans + channel]. An empty column (no frame yet, or
    // only NaN values) has lo = +infinity and hi = -infinity.
    std::vector<double> lo, hi;
};

// The largest value of a channel's samples by magnitude, and where it is.
struct plot_peak {
    bool found;         // false when the channel has no value that is not NaN
    std::size_t column; // the column that holds it
    double value;       // the sample itself, with its sign
};

// Prepares `e` for `ncols` columns (at least 1) of `nchans` channels, with
// room for `announced` frames before the first merge (0: unknown). 0, or -1
// when memory runs out.
int envelope_init(plot_envelope &e, std::size_t ncols, std::size_t nchans, std::uint64_t announced);
// Adds `n` frames of `nchans` values each.
void envelope_add(plot_envelope &e, const double *frames, std::size_t n);
// Columns that hold frames: the first `used` ones.
std::size_t envelope_used(const plot_envelope &e);
plot_peak envelope_peak(const plot_envelope &e, std::size_t chan);
