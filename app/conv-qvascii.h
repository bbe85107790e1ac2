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
// channel masks). The codes are the canonical header's (qvraw.h), named
// after these words.

inline constexpr conv_vocab qv_model_array[] = {
    {QVRAW_MODEL_UNKNOWN, "Unknown"},
    {QVRAW_MODEL_QV7300, "QV7300"},
};

inline constexpr conv_vocab sensor_type_array[] = {
    {QVRAW_SENSOR_UNKNOWN, "Unknown"},
    {QVRAW_SENSOR_VELOCITY, "Velocity"},
    {QVRAW_SENSOR_ACCELERATION, "Acceleration"},
};

inline constexpr conv_vocab sensor_unit_array[] = {
    {QVRAW_UNIT_UNKNOWN, "Unknown"},
    {QVRAW_UNIT_MM_S, "mm/s"},
    {QVRAW_UNIT_MG, "mg"},
    {QVRAW_UNIT_MV, "mV"},
};

// The two local modes share their word; reading "Local" gives the later
// entry, and the reader lowers it to QVRAW_TIME_LOCAL when the zone is not
// named.
inline constexpr conv_vocab time_mode_array[] = {
    {QVRAW_TIME_UNKNOWN, "Unknown"},
    {QVRAW_TIME_UTC, "UTC"},
    {QVRAW_TIME_LOCAL, "Local"},
    {QVRAW_TIME_LOCAL_ZONE, "Local"},
};

// There is no filter 6.
inline constexpr conv_vocab acq_filter_array[] = {
    {QVRAW_FILTER_UNKNOWN, "Unknown"},        {QVRAW_FILTER_FLAT, "Flat"},
    {QVRAW_FILTER_FIR_50, "FIR 50 Hz"},       {QVRAW_FILTER_FIR_1_50, "FIR 1-50 Hz"},
    {QVRAW_FILTER_FIR_1_100, "FIR 1-100 Hz"}, {QVRAW_FILTER_FIR_1_156, "FIR 1-156 Hz"},
    {QVRAW_FILTER_IIR_1_80, "IIR 1-80 Hz"},   {QVRAW_FILTER_IIR_1_315, "IIR 1-315 Hz"},
};

inline constexpr conv_vocab back_mode_array[] = {
    {QVRAW_BACK_UNKNOWN, "Unknown"},
    {QVRAW_BACK_PEAK_VSUM, "Peak + VSUM"},
    {QVRAW_BACK_PEAK_FREQ, "Peak + FREQ"},
    {QVRAW_BACK_KBFTI, "KBFTi (DIN 45669-1)"},
    {QVRAW_BACK_SBR_A_CAT1, "SBR A CAT1 (Dutch Standard)"},
    {QVRAW_BACK_SBR_A_CAT2, "SBR A CAT2 (Dutch Standard)"},
    {QVRAW_BACK_SBR_A_CAT3, "SBR A CAT3 (Dutch Standard)"},
    {QVRAW_BACK_SBR_A_FUND, "SBR A FUND (Dutch Standard)"},
    {QVRAW_BACK_SBR_B, "SBR B (Dutch Standard)"},
};

// Signal types: the record's signals, the trigger's and the alarms' modes.
inline constexpr conv_vocab signal_type_array[] = {
    {QVRAW_SIGNAL_UNKNOWN, "Unknown"},       {QVRAW_SIGNAL_RAW, "Raw"},
    {QVRAW_SIGNAL_TRIGGER, "Trigger"},       {QVRAW_SIGNAL_FILTER, "Filter"},
    {QVRAW_SIGNAL_STA_LTA, "STA/LTA"},       {QVRAW_SIGNAL_VM_PEAK, "VM Peak"},
    {QVRAW_SIGNAL_VM_VSUM, "VM VSum"},       {QVRAW_SIGNAL_VM_FREQ, "VM Freq"},
    {QVRAW_SIGNAL_DIN_KBFTI, "DIN KBFTi"},   {QVRAW_SIGNAL_SBR_A_VTOP, "SBR A Vtop"},
    {QVRAW_SIGNAL_SBR_A_VKAR, "SBR A Vkar"}, {QVRAW_SIGNAL_SBR_A_FREQ, "SBR A Freq"},
    {QVRAW_SIGNAL_SBR_B_VEFF, "SBR B Veff"}, {QVRAW_SIGNAL_LEVEL, "Level"},
};

// Channel bit masks (not in code order: single axes first).
inline constexpr conv_vocab chan_array[] = {
    {QVRAW_CHAN_NONE, "None"},
    {QVRAW_CHAN_X, "X"},
    {QVRAW_CHAN_Y, "Y"},
    {QVRAW_CHAN_Z, "Z"},
    {QVRAW_CHAN_X | QVRAW_CHAN_Y, "X,Y"},
    {QVRAW_CHAN_X | QVRAW_CHAN_Z, "X,Z"},
    {QVRAW_CHAN_Y | QVRAW_CHAN_Z, "Y,Z"},
    {QVRAW_CHAN_XYZ, "X,Y,Z"},
};

inline constexpr conv_vocab notif_logic_array[] = {
    {QVRAW_LOGIC_UNKNOWN, "Unknown"},
    {QVRAW_LOGIC_OR, "OR"},
    {QVRAW_LOGIC_AND, "AND"},
};

inline constexpr conv_vocab rec_type_array[] = {
    {QVRAW_FILETYPE_UNKNOWN, "Unknown"},
    {QVRAW_FILETYPE_EVENT, "Event"},
    {QVRAW_FILETYPE_BACKGROUND, "Background"},
};

inline constexpr conv_vocab rec_origin_array[] = {
    {QVRAW_ORIGIN_UNKNOWN, "Unknown"},
    {QVRAW_ORIGIN_LOCAL, "Local"},
    {QVRAW_ORIGIN_COMMON, "Common"},
};

inline constexpr conv_vocab rec_cause_array[] = {
    {QVRAW_CAUSE_UNKNOWN, "Unknown"}, {QVRAW_CAUSE_CONTINUOUS, "Continuous"},
    {QVRAW_CAUSE_MANUAL, "Manual"},   {QVRAW_CAUSE_TIMED, "Timed"},
    {QVRAW_CAUSE_TRIGGER, "Trigger"}, {QVRAW_CAUSE_TEST_PULSE, "TestPulse"},
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
    CONV_QVASCII_ERR_COUNT = 5,
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
