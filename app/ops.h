// The adapters' operation tables, one per format, and what the three
// adapters share. The registry picks a table by format; everything else
// reaches a format through qvfmt_open and the handle, so only the
// registry's own target may include this header.
//
// Every adapter has the same shape: a state struct ops_<format>_state
// holding its library handle and its error code `err` (and, where headers
// are translated, the conversion's code `conv_err`), the accessor
// state_of, fail() to record a code, and a strerr that formats its code
// with ops_strerr into its own per-thread buffer.
#pragma once

#ifndef QVFMT_REGISTRY
#error "ops.h is the registry's own header: open files through qvfmt_open"
#endif

#include <cstdint>

#include "qvfmt.h"

extern const qvfmt_ops ops_qvraw;   // ops-qvraw.cpp
extern const qvfmt_ops ops_qvascii; // ops-qvascii.cpp
extern const qvfmt_ops ops_qv5k;    // ops-qv5k.cpp

// The adapters' error codes (a state's `err`), one set for all three.
enum : std::uint32_t {
    OPS_ERR_NONE = 0,     // "None"
    OPS_ERR_MODE = 1,     // "Unsupported file mode": an open mode the format refuses
    OPS_ERR_LIB = 2,      // the library's tag ("libqvraw: ") and its text
    OPS_ERR_CONV = 3,     // "conv: " and the header conversion's text
    OPS_ERR_FILETYPE = 4, // "Unsupported filetype": a header of the other variant
    OPS_ERR_NCHANS = 5,   // "Unsupported number of channels": a data call of another width
    OPS_ERR_RECMODE = 6,  // "Unsupported recording mode": a header of another frame width
    OPS_ERR_COUNT = 7,
};

// The size of an adapter's text buffer: texts are cut to 63 characters.
inline constexpr std::size_t OPS_STRERR_SIZE = 64;

// Writes the text of `code` into `buf` and returns it: for OPS_ERR_LIB
// `lib_tag` followed by `detail` (the library's text), for OPS_ERR_CONV
// "conv: " followed by `detail` (the conversion's text), for the other
// codes their own text, "Unknown error" for a code without one.
const char *ops_strerr(char (&buf)[OPS_STRERR_SIZE], std::uint32_t code, const char *lib_tag,
                       const char *detail);
