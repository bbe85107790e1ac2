// Canonical header (qvraw_header) to and from the ASCII header (groups of
// key/value texts).
//
// The coded fields of the canonical header are small integers; the ASCII
// header shows them as words. The words below are part of the ASCII file
// format: letters, case, spaces and punctuation all matter, and matching is
// exact (no case folding, no trimming).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "qvascii.h"
#include "qvraw.h"

// One pair of a vocabulary table.
struct conv_vocab {
    std::uint32_t code;
    const char *text;
};

// Entry 0 of every table is the fallback: code 0, "Unknown" ("None" for the
// channel masks).

inline constexpr conv_vocab qv_model_array[] = {
    {0, "Unknown"},
    {1, "QV7300"},
};

inline constexpr conv_vocab sensor_type_array[] = {
    {0, "Unknown"},
    {1, "Velocity"},
    {2, "Acceleration"},
};

inline constexpr conv_vocab sensor_unit_array[] = {
    {0, "Unknown"},
    {1, "mm/s"},
    {2, "mg"},
    {3, "mV"},
};

// Codes 2 and 3 share their word; reading "Local" gives 3 (the later entry)
// and the reader lowers it to 2 when the zone is not named.
inline constexpr conv_vocab time_mode_array[] = {
    {0, "Unknown"},
    {1, "UTC"},
    {2, "Local"},
    {3, "Local"},
};

// There is no filter 6.
inline constexpr conv_vocab acq_filter_array[] = {
    {0, "Unknown"},      {1, "Flat"},         {2, "FIR 50 Hz"},   {3, "FIR 1-50 Hz"},
    {4, "FIR 1-100 Hz"}, {5, "FIR 1-156 Hz"}, {7, "IIR 1-80 Hz"}, {8, "IIR 1-315 Hz"},
};

inline constexpr conv_vocab back_mode_array[] = {
    {0, "Unknown"},
    {1, "Peak + VSUM"},
    {2, "Peak + FREQ"},
    {3, "KBFTi (DIN 45669-1)"},
    {4, "SBR A CAT1 (Dutch Standard)"},
    {5, "SBR A CAT2 (Dutch Standard)"},
    {6, "SBR A CAT3 (Dutch Standard)"},
    {7, "SBR A FUND (Dutch Standard)"},
    {8, "SBR B (Dutch Standard)"},
};

// Signal types: the record's signals, the trigger's and the alarms' modes.
inline constexpr conv_vocab signal_type_array[] = {
    {0, "Unknown"},     {1, "Raw"},         {2, "Trigger"},     {3, "Filter"},    {4, "STA/LTA"},
    {5, "VM Peak"},     {6, "VM VSum"},     {7, "VM Freq"},     {8, "DIN KBFTi"}, {9, "SBR A Vtop"},
    {10, "SBR A Vkar"}, {11, "SBR A Freq"}, {12, "SBR B Veff"}, {13, "Level"},
};

// Channel bit masks X = 1, Y = 2, Z = 4 (not in code order: single axes first).
inline constexpr conv_vocab chan_array[] = {
    {0, "None"}, {1, "X"}, {2, "Y"}, {4, "Z"}, {3, "X,Y"}, {5, "X,Z"}, {6, "Y,Z"}, {7, "X,Y,Z"},
};

inline constexpr conv_vocab notif_logic_array[] = {
    {0, "Unknown"},
    {1, "OR"},
    {2, "AND"},
};

inline constexpr conv_vocab rec_type_array[] = {
    {0, "Unknown"},
    {1, "Event"},
    {2, "Background"},
};

inline constexpr conv_vocab rec_origin_array[] = {
    {0, "Unknown"},
    {1, "Local"},
    {2, "Common"},
};

inline constexpr conv_vocab rec_cause_array[] = {
    {0, "Unknown"}, {1, "Continuous"}, {2, "Manual"},
    {3, "Timed"},   {4, "Trigger"},    {5, "TestPulse"},
};

// Code to word: the word of the entry with that code; the word of entry 0
// for a code the table does not list.
constexpr const char *conv_vocab_text(std::span<const conv_vocab> table, std::uint32_t code) {
    for (const conv_vocab &e : table)
        if (e.code == code) return e.text;
    return table[0].text;
}

// Word to code: the code of the last entry whose word equals `text` byte for
// byte; 0 when none does, for an empty text and for null.
constexpr std::uint32_t conv_vocab_code(std::span<const conv_vocab> table, const char *text) {
    if (text == nullptr || *text == '\0') return 0;
    std::uint32_t code = 0;
    for (const conv_vocab &e : table)
        if (std::string_view(e.text) == text) code = e.code;
    return code;
}

// Room for any channel name with its terminator (the longest is "SBR A Vtop X").
inline constexpr std::size_t CONV_CHANNEL_NAME_SIZE = 32;

// The name of channel `chan` (0-based, frame order) as the text format heads
// its sample column: the signal's word and the axis letter ("Raw X"), or the
// word alone for a VM VSum signal, which has one channel. The empty text when
// the header has no such channel.
void conv_qvascii_channel_name(char *dst, std::size_t size, const qvraw_header *h,
                               std::size_t chan);

// The display mode (QVASCII_TIME_*) in which the text format writes and reads
// the record's times, and in *offset the offset that goes with it.
int conv_qvascii_time_display(const qvraw_header *h, std::int32_t *offset);

// Error codes of the conversion (a caller-owned unsigned record).
enum : std::uint32_t {
    CONV_QVASCII_ERR_NONE = 0,
    CONV_QVASCII_ERR_RECORDER = 1,    // "Recorder group doesn't exist in header"
    CONV_QVASCII_ERR_SENSOR = 2,      // "Sensor group doesn't exist in header"
    CONV_QVASCII_ERR_ACQUISITION = 3, // "Acquisition group doesn't exist in header"
    CONV_QVASCII_ERR_FILE = 4,        // "File group doesn't exist in header"
};

// Fills `ascii` from the canonical header. `ascii` is initialised here
// (group "ASCII" first), so the caller passes storage that holds no strings
// yet (zeroed, or cleaned up). Always 0.
int qvraw_header_to_qvascii(qvascii_header *ascii, const qvraw_header *header);

// Entry point of the ASCII adapter for writing: 0, or -1 with the code in *err.
int conv_qvascii_from_qvraw_header(std::uint32_t *err, qvascii_header *ascii,
                                   const qvraw_header *header);

// Fills the whole canonical header from `ascii`. 0, or the code of the first
// missing required group ("Recorder", "Sensor", "Acquisition", "File"), the
// canonical header then holding what was converted before it.
std::uint32_t qvraw_header_from_qvascii(qvraw_header *header, const qvascii_header *ascii);

// Entry point of the ASCII adapter for reading: 0, or -1 with the code in *err.
int conv_qvascii_to_qvraw_header(std::uint32_t *err, qvraw_header *header,
                                 const qvascii_header *ascii);

// Text of *err; resets *err to 0, so a second call gives "None".
const char *conv_qvascii_strerror(std::uint32_t *err);
