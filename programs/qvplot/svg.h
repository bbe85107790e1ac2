// The picture of a record as an SVG 1.1 document: a title with the
// recorder, the record's type and its start; one panel per channel stacked
// over a shared time axis in seconds from the first frame; amplitudes in
// the sensor's units with the unit on each panel's axis; each channel's
// peak marked with its value; an event's trigger moment marked when the
// header states one. The bytes depend on the record and the size alone.
#pragma once

#include <cstddef>
#include <string>

#include "describe.h"
#include "envelope.h"

inline constexpr int PLOT_DEFAULT_WIDTH = 1200;
inline constexpr int PLOT_DEFAULT_HEIGHT = 800;
inline constexpr int PLOT_MIN_WIDTH = 320;
inline constexpr int PLOT_MIN_HEIGHT = 240;
inline constexpr int PLOT_MAX_SIZE = 16000; // either side

// Pixel columns of the plotting area of a picture `width` wide: one
// envelope column each.
std::size_t svg_columns(int width);

struct plot_picture {
    int width, height;
    const char *name;   // the record's file name, shown under the title
    const char *format; // its format word
    const qvraw_header *h;
    const qvdesc_record *d;
    const plot_envelope *e; // made with svg_columns(width) columns
};

// Appends the whole document to `out`.
void svg_write(std::string &out, const plot_picture &p);
