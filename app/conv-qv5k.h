// Canonical header (qvraw_header) to and from the 256-byte recorder-binary
// header record (qv5k_header), for the xqv variant (event records, 24-bit
// counts) and the bqv variant (background records, 20-bit counts).
//
// The recorder-binary header can express only part of the canonical header:
// a canonical header it cannot express, and a record whose codes are not
// known, are refused with a conversion error code that conv_qv5k_strerror
// turns into text. A refused conversion leaves its output partly filled; the
// caller must not use it.
#pragma once

#include <cstdint>

#include "qv5k.h"
#include "qvraw.h"

// Conversion error codes, shared by both directions.
enum : std::uint32_t {
    CONV_QV5K_ERR_NONE = 0,        // "None"
    CONV_QV5K_ERR_MODEL = 1,       // "Invalid QV model"
    CONV_QV5K_ERR_SENSOR_TYPE = 2, // "Invalid sensor type"
    CONV_QV5K_ERR_SENSOR_UNIT = 3, // "Invalid sensor unit"
    CONV_QV5K_ERR_RATE = 4,        // "Invalid sampling rate"
    CONV_QV5K_ERR_TRIG_COMB = 5,   // "Invalid trigger combination"
    CONV_QV5K_ERR_TRIG_SIGNAL = 6, // "Invalid trigger signal"
    CONV_QV5K_ERR_REC_MODE = 7,    // "Invalid recording mode"
    CONV_QV5K_ERR_BACK_MODE = 8,   // "Invalid background mode"
    CONV_QV5K_ERR_SIGNAL = 9,      // "Invalid signal"
    CONV_QV5K_ERR_NSIGNALS = 10,   // "Too many signals"
    // 11 is deliberately left unassigned (it reads "Unknown error").
    CONV_QV5K_ERR_RESOLUTION = 12, // "Invalid resolution": a record whose
                                   // resolution byte gives no full scale
    CONV_QV5K_ERR_COUNT = 13,
};

// Fills `header` for an xqv file from `canon`. 0, or -1 with the code in
// *err.
int conv_qv5k_to_xqv_header(std::uint32_t *err, qv5k_header *header, const qvraw_header *canon);
// Fills `header` for a bqv file from `canon`. 0, or -1 with the code in *err.
int conv_qv5k_to_bqv_header(std::uint32_t *err, qv5k_header *header, const qvraw_header *canon);
// Fills the whole `canon` from an xqv header record. 0, or -1 with the code
// in *err.
int conv_qv5k_from_xqv_header(std::uint32_t *err, qvraw_header *canon, const qv5k_header *header);
// Fills the whole `canon` from a bqv header record. 0, or -1 with the code
// in *err.
int conv_qv5k_from_bqv_header(std::uint32_t *err, qvraw_header *canon, const qv5k_header *header);
// Constant text of *err ("Unknown error" for a code without text); resets
// *err to 0.
const char *conv_qv5k_strerror(std::uint32_t *err);

// Parses a firmware version text ("2.1.4", "2.1.4-rc3", "2.1.4-dev") into
// major, minor, patch and suffix (0 none, n release candidate n, 255 any
// other suffix). Numbers are kept modulo 256; at most the first 16
// characters of the text are read.
void version_str_to_numbers(const char *text, std::uint8_t bytes[4]);
