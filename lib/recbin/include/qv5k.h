// libqv5k: the recorder-binary record format.
//
// A recorder-binary file is one 256-byte header record (qv5k_header)
// followed by the record's data. Two variants share the header and are told
// apart by its recording mode (byte 4) alone:
//   xqv (recording mode 0): event records, frames of three 24-bit samples,
//       frame i at byte 256 + 9 i;
//   bqv (recording mode 4, 6 or 7): background records, 256-byte data blocks
//       of per-period peaks, vector sums or frequencies, block i at byte
//       256 + 256 i.
//
// All multi-byte integers are little-endian and unaligned; texts are
// space-padded character arrays without terminator; timestamps are a time
// triple (BCD seconds, minutes, hours) and a date triple (BCD day, month,
// year - 2000).
//
// The library never prints. Every operation of the front returns 0 (or a
// count or position) on success and -1 on failure, leaving a code in the
// handle that qv5k_strerror turns into text.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <ctime>

// ---------------------------------------------------------------------------
// Constants

inline constexpr std::size_t QV5K_HEADER_SIZE = 256;
inline constexpr long QV5K_DATA_START = 256;        // first data byte of a file
inline constexpr std::size_t QV5K_FRAME_SIZE = 9;   // one xqv frame on disk
inline constexpr std::size_t QV5K_BLOCK_SIZE = 256; // one bqv data block
inline constexpr std::size_t QV5K_XQV_CHANNELS = 3;
inline constexpr std::size_t QV5K_XQV_CHUNK = 1024; // frames per stream call
inline constexpr std::size_t QV5K_MAX_CHANNELS = 6; // the widest frame a file holds (bqv layout 3)

// File types (qv5k_header_filetype).
inline constexpr std::uint32_t QV5K_FILETYPE_UNKNOWN = 0;
inline constexpr std::uint32_t QV5K_FILETYPE_XQV = 1;
inline constexpr std::uint32_t QV5K_FILETYPE_BQV = 2;

// Recording modes (header byte 4).
inline constexpr std::uint8_t QV5K_RECMODE_EVENT = 0; // xqv, 3 channels
inline constexpr std::uint8_t QV5K_RECMODE_BACK3 = 4; // bqv, 3 channels
inline constexpr std::uint8_t QV5K_RECMODE_BACK4 = 6; // bqv, 4 channels
inline constexpr std::uint8_t QV5K_RECMODE_BACK6 = 7; // bqv, 6 channels

// The largest magnitude, as a fraction of full scale, that the record's
// counts carry. Full scale, 2^(resolution - 1) counts, is one past the
// largest signed count of its field, so a value at or beyond this limit is
// stored as the limit: header peaks, offsets and KBFTm values, xqv samples,
// and bqv peak codes (0xFFF9 from the limit up, 0 from its negative down).
inline constexpr double QV5K_FS_LIMIT = 0.9999;

// ---------------------------------------------------------------------------
// Background modes (header byte 215) and what follows from each: the
// recording mode (byte 4) of a bqv record in that mode, the layout of its
// data blocks, and what the record holds in the words of the converter's
// header vocabulary: the background mode code and the signal type codes of
// the canonical header ("Peak + VSUM" = 1, "VM Peak" = 5, ...; this library
// stands alone, so they are numbers here).
//
// Data-block layouts: 1 holds 41 frames of three 16-bit peak codes; 2 holds
// 20 frames of three peak codes and the 48-bit square of a fourth (the
// vector sum); 3 holds 20 frames of three peak codes and three 16-bit
// frequencies in tenths of a hertz.
struct qv5k_back_mode {
    std::uint8_t back_mode;        // byte 215
    std::uint8_t rec_mode;         // byte 4: QV5K_RECMODE_BACK*
    std::uint8_t layout;           // data-block layout 1, 2 or 3
    std::uint8_t nchans;           // channels per frame
    std::uint8_t frames_per_block; // frames a data block holds
    std::uint8_t canon_mode;       // background mode code of the canonical header
    std::uint8_t nsignals;         // signals of the canonical header
    std::uint8_t signals[2];       // their signal type codes
};

// clang-format off
inline constexpr qv5k_back_mode QV5K_BACK_MODES[] = {
    // byte 215, byte 4, layout, channels, frames per block, then canonical mode and signals
    { 2, QV5K_RECMODE_BACK3, 1, 3, 41, 3 /* KBFTi */,       1, {8 /* DIN KBFTi */, 0}},
    { 4, QV5K_RECMODE_BACK3, 1, 3, 41, 1 /* Peak + VSUM */, 1, {5 /* VM Peak */, 0}},
    { 8, QV5K_RECMODE_BACK4, 2, 4, 20, 1 /* Peak + VSUM */, 2, {5 /* VM Peak */, 6 /* VM VSum */}},
    { 9, QV5K_RECMODE_BACK3, 1, 3, 41, 8 /* SBR B */,       1, {12 /* SBR B Veff */, 0}},
    {10, QV5K_RECMODE_BACK6, 3, 6, 20, 2 /* Peak + FREQ */, 2, {5 /* VM Peak */, 7 /* VM Freq */}},
    {11, QV5K_RECMODE_BACK6, 3, 6, 20, 4 /* SBR A CAT1 */,  2, {9 /* SBR A Vtop */, 11 /* SBR A Freq */}},
    {12, QV5K_RECMODE_BACK6, 3, 6, 20, 5 /* SBR A CAT2 */,  2, {9 /* SBR A Vtop */, 11 /* SBR A Freq */}},
    {13, QV5K_RECMODE_BACK6, 3, 6, 20, 6 /* SBR A CAT3 */,  2, {9 /* SBR A Vtop */, 11 /* SBR A Freq */}},
    {14, QV5K_RECMODE_BACK6, 3, 6, 20, 7 /* SBR A FUND */,  2, {9 /* SBR A Vtop */, 11 /* SBR A Freq */}},
};
// clang-format on

// The row of background mode byte `back_mode`; null for a byte the table
// does not list (0 included: no background recording).
constexpr const qv5k_back_mode *qv5k_back_mode_of(std::uint32_t back_mode) {
    for (const qv5k_back_mode &m : QV5K_BACK_MODES)
        if (m.back_mode == back_mode) return &m;
    return nullptr;
}

// Every row's layout fixes its channels and frames per block, and its
// recording mode agrees with its channels.
constexpr bool qv5k_back_modes_agree() {
    for (const qv5k_back_mode &m : QV5K_BACK_MODES) {
        const int want_chans = m.layout == 1 ? 3 : m.layout == 2 ? 4 : m.layout == 3 ? 6 : 0;
        const int want_frames = m.layout == 1 ? 41 : 20;
        const int rec_chans = m.rec_mode == QV5K_RECMODE_BACK3   ? 3
                              : m.rec_mode == QV5K_RECMODE_BACK4 ? 4
                              : m.rec_mode == QV5K_RECMODE_BACK6 ? 6
                                                                 : 0;
        if (m.nchans != want_chans || m.frames_per_block != want_frames || m.nchans != rec_chans)
            return false;
        if (m.nsignals < 1 || m.nsignals > 2) return false;
    }
    return true;
}
static_assert(qv5k_back_modes_agree(), "QV5K_BACK_MODES: layout, channels and recording mode");

// Library open modes.
inline constexpr int QV5K_MODE_CREATE = 1; // "w+b"
inline constexpr int QV5K_MODE_UPDATE = 2; // "r+b"
inline constexpr int QV5K_MODE_READ = 3;   // "rb"

// Library error codes (qv5k_strerror gives their texts).
enum : std::uint32_t {
    QV5K_ERR_NONE = 0,     // "None"
    QV5K_ERR_NOHEADER = 1, // "Header is not available"
    QV5K_ERR_FILE = 2,     // "Invalid file"
    QV5K_ERR_DATA = 3,     // "Invalid data"
    QV5K_ERR_HEADER = 4,   // "Invalid header"
    QV5K_ERR_EOF = 5,      // "End of file reached"
    QV5K_ERR_BOF = 6,      // "Beginning of file reached"
    QV5K_ERR_IO = 7,       // "I/O: " + the I/O layer's message
};

// ---------------------------------------------------------------------------
// The 256-byte header record, stored exactly as it lies in memory. Every
// member is a byte or a byte array, so the struct has no padding and an
// alignment of 1; multi-byte fields go through the codecs below. Members
// named padNNN_ are bytes at offset NNN that are written as zero and never
// read. Full scale is 2^(resolution - 1).
struct qv5k_header {
    std::uint8_t dir_count; //   0 directory count (low 8 bits)
    std::uint8_t pad1_;
    std::uint8_t test_pulse; //   2 xqv: 1 when started by a test pulse
    std::uint8_t pad3_;
    std::uint8_t rec_mode; //   4 recording mode: 0 xqv; 4, 6, 7 bqv
    std::uint8_t pad5_[3];
    std::uint8_t nsamples[4]; //   8 u32 frames in the record
    std::uint8_t peak[3][3];  //  12 uint24 X, Y, Z peaks in counts
    std::uint8_t xqv_code;    //  21 xqv code byte, carried through
    std::uint8_t pad22_[11];
    std::uint8_t subsec[2]; //  33 uint16 sub-second part, in samples
    std::uint8_t time[3];   //  35 time triple of the record moment
    std::uint8_t date[3];   //  38 date triple of the record moment
    std::uint8_t pad41_[3];
    std::uint8_t zero44[3][3]; //  44 3 x uint24 written as 0
    std::uint8_t zero53;       //  53 written as 0
    std::uint8_t rate[2];      //  54 uint16 samples per second
    std::uint8_t three56;      //  56 written as 3
    std::uint8_t pad57_;
    std::uint8_t fw_major;   //  58 firmware version
    std::uint8_t fw_minor;   //  59
    std::uint8_t fw_patch;   //  60
    std::uint8_t fw_suffix;  //  61 0 none, 255 development, n rc n
    std::uint8_t filter;     //  62 filter code
    std::uint8_t resolution; //  63 bits: 24 xqv, 20 bqv
    std::uint8_t ident[7];   //  64 text "XQV5416"
    std::uint8_t pad71_[12];
    std::uint8_t lsb[3][3];        //  83 per channel: uint16 mantissa, i8 exponent
    std::uint8_t unit[3][5];       //  92 per channel: unit text, right-aligned
    std::uint8_t axis[3][3];       // 107 per channel: axis label text
    std::uint8_t threshold[3][3];  // 116 per channel: uint24 trigger threshold
    std::uint8_t trig_param[3][3]; // 125 per channel: B, 10 x A, 10 A / B
    std::uint8_t pad134_[4];
    std::uint8_t xqv_flag; // 138 1 in xqv files, 0 in bqv files
    std::uint8_t pad139_;
    std::uint8_t trig_chans;  // 140 trigger channel combination
    std::uint8_t trig_signal; // 141 0 level, 1 STA/LTA
    std::uint8_t rec_cause;   // 142 xqv: bits 0-2 channels, 64 manual, 128 timed
    std::uint8_t pre_event;   // 143 seconds
    std::uint8_t post_event;  // 144 seconds
    std::uint8_t name[30];    // 145 text "name-uid", left-aligned
    std::uint8_t sensor_type; // 175 'V' or 'A'
    std::uint8_t zero176[2];  // 176 written as 0
    std::uint8_t pad178_[2];
    std::uint8_t voltage[2]; // 180 uint16 supply voltage in millivolts
    std::uint8_t pad182_[3];
    std::uint8_t offset[3][3]; // 185 int24 X, Y, Z offsets in counts
    std::uint8_t pad194_[19];
    std::uint8_t back_period;    // 213 background period in seconds
    std::uint8_t zero214;        // 214 written as 0
    std::uint8_t back_mode;      // 215 background mode code
    std::uint8_t fixed216[3][2]; // 216 3 x uint16 written as 10000
    std::uint8_t pad222_[25];
    std::uint8_t kbftm_freq[3][3]; // 247 bqv: uint24 KBFTm; xqv: uint16 frequency in 0.1 Hz
};

static_assert(sizeof(qv5k_header) == 256, "qv5k_header must be 256 bytes");
static_assert(alignof(qv5k_header) == 1, "qv5k_header must have no alignment");

#define QV5K_OFF(field, off)                                                                       \
    static_assert(offsetof(qv5k_header, field) == (off),                                           \
                  "qv5k_header." #field " is off its on-disk offset")
QV5K_OFF(dir_count, 0);
QV5K_OFF(test_pulse, 2);
QV5K_OFF(rec_mode, 4);
QV5K_OFF(nsamples, 8);
QV5K_OFF(peak, 12);
QV5K_OFF(xqv_code, 21);
QV5K_OFF(subsec, 33);
QV5K_OFF(time, 35);
QV5K_OFF(date, 38);
QV5K_OFF(zero44, 44);
QV5K_OFF(zero53, 53);
QV5K_OFF(rate, 54);
QV5K_OFF(three56, 56);
QV5K_OFF(fw_major, 58);
QV5K_OFF(fw_minor, 59);
QV5K_OFF(fw_patch, 60);
QV5K_OFF(fw_suffix, 61);
QV5K_OFF(filter, 62);
QV5K_OFF(resolution, 63);
QV5K_OFF(ident, 64);
QV5K_OFF(lsb, 83);
QV5K_OFF(unit, 92);
QV5K_OFF(axis, 107);
QV5K_OFF(threshold, 116);
QV5K_OFF(trig_param, 125);
QV5K_OFF(xqv_flag, 138);
QV5K_OFF(trig_chans, 140);
QV5K_OFF(trig_signal, 141);
QV5K_OFF(rec_cause, 142);
QV5K_OFF(pre_event, 143);
QV5K_OFF(post_event, 144);
QV5K_OFF(name, 145);
QV5K_OFF(sensor_type, 175);
QV5K_OFF(zero176, 176);
QV5K_OFF(voltage, 180);
QV5K_OFF(offset, 185);
QV5K_OFF(back_period, 213);
QV5K_OFF(zero214, 214);
QV5K_OFF(back_mode, 215);
QV5K_OFF(fixed216, 216);
QV5K_OFF(kbftm_freq, 247);
#undef QV5K_OFF

// The record's 256 bytes, for byte-level access (tests, whole-record copies).
inline std::uint8_t *qv5k_header_bytes(qv5k_header *h) {
    return reinterpret_cast<std::uint8_t *>(h);
}
inline const std::uint8_t *qv5k_header_bytes(const qv5k_header *h) {
    return reinterpret_cast<const std::uint8_t *>(h);
}

// ---------------------------------------------------------------------------
// Field codecs. Each takes a pointer to the field's first byte; nothing is
// checked or reported, values are cut to the field's width.

std::uint16_t qv5k_get_uint16(const std::uint8_t *p);
void qv5k_set_uint16(std::uint8_t *p, std::uint16_t v);
// Sign-extended from bit 23.
std::int32_t qv5k_get_int24(const std::uint8_t *p);
// Stores bits 0 to 23 of v; higher bits are dropped.
void qv5k_set_int24(std::uint8_t *p, std::int32_t v);
// Zero-extended to 32 bits.
std::uint32_t qv5k_get_uint24(const std::uint8_t *p);
// Stores bits 0 to 23 of v; higher bits are dropped.
void qv5k_set_uint24(std::uint8_t *p, std::uint32_t v);
// The four bytes as an unsigned 32-bit value (the header's sample count).
std::uint32_t qv5k_get_uint32(const std::uint8_t *p);
void qv5k_set_uint32(std::uint8_t *p, std::uint32_t v);
// Zero-extended to 64 bits.
std::uint64_t qv5k_get_uint48(const std::uint8_t *p);
// Stores bits 0 to 47 of v; higher bits are dropped.
void qv5k_set_uint48(std::uint8_t *p, std::uint64_t v);

// Fills `array_size` bytes from `text_length` bytes of `text` (not measured,
// may hold zero bytes), cut to the array's width; the missing bytes are
// spaces after the text when left_align is non-zero, before it otherwise.
// No terminator is written.
void qv5k_str_to_array(std::uint8_t *array, std::size_t array_size, const char *text,
                       std::size_t text_length, int left_align);
// Zero-terminated copy of the array with leading and trailing spaces (0x20
// only) stripped, at most text_size - 1 bytes. text_size 0 writes nothing.
void qv5k_array_to_str(char *text, std::size_t text_size, const std::uint8_t *array,
                       std::size_t array_size);

// Calendar time of a time and a date triple read as local time (mktime);
// -1 for a moment the platform cannot represent. Digits are not checked.
std::time_t qv5k_get_time(const std::uint8_t *time, const std::uint8_t *date);
// Breaks *t down in local time into the six bytes. A time the C library
// cannot break down leaves the six bytes unchanged.
void qv5k_set_time_local(std::uint8_t *time, std::uint8_t *date, const std::time_t *t);
// Breaks *t + offset seconds down as UTC into the six bytes (the wall clock
// of a fixed-offset zone). A sum the C library cannot break down (or that
// does not fit the platform's time_t) leaves the six bytes unchanged.
void qv5k_set_time_custom(std::uint8_t *time, std::uint8_t *date, const std::time_t *t,
                          std::int32_t offset);

// The low 32 bits (two's complement) of trunc(v), exact for every finite
// value, so that a value beyond a field's range wraps as an integer would;
// NaN and infinities give 0. Every double that becomes a record integer
// goes through it (the C++ conversion is undefined for NaN, infinities and
// values out of range); a narrower field takes the low 8, 16 or 24 bits.
// Inline: the frame codecs call it for every sample.
inline std::uint32_t qv5k_trunc_bits(double v) {
    // The common case: trunc(v) fits 32 bits, and the conversion to unsigned
    // is modular.
    if (v > -2147483648.0 && v < 2147483648.0)
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
    if (!std::isfinite(v)) return 0;
    // fmod is exact, so this is trunc(v) modulo 2^32 for every magnitude;
    // the remainder lies strictly between -2^32 and 2^32.
    constexpr double kTwo32 = 4294967296.0;
    double r = std::fmod(std::trunc(v), kTwo32);
    if (r < 0) r += kTwo32;
    return static_cast<std::uint32_t>(r);
}

// ---------------------------------------------------------------------------
// Header accessors.

// QV5K_FILETYPE_XQV for recording mode 0, QV5K_FILETYPE_BQV for 4, 6, 7,
// else QV5K_FILETYPE_UNKNOWN.
std::uint32_t qv5k_header_filetype(const qv5k_header *header);
// The u32 sample count at byte 8.
std::uint32_t qv5k_header_nsamples(const qv5k_header *header);
// Channels per frame by recording mode: 0 and 4 give 3, 6 gives 4, 7 gives
// 6, anything else 0.
std::size_t qv5k_header_nchannels(const qv5k_header *header);

// ---------------------------------------------------------------------------
// The handle of one file, owned by its user (usually embedded in its own
// state). Its bytes are the library's own (the I/O record and the state of
// each variant, with a bqv record's one-block buffer): qv5k_open prepares
// them, and every other operation takes a handle that qv5k_open has seen.
inline constexpr std::size_t QV5K_HANDLE_SIZE = 512;
struct qv5k_handle {
    alignas(8) unsigned char opaque[QV5K_HANDLE_SIZE];
};

// ---------------------------------------------------------------------------
// The front. `frames` holds `count` frames of qv5k_header_nchannels(header)
// doubles each (fractions of full scale; bqv layout 3 frequencies in Hz).

// Clears the handle and opens `path` in a QV5K_MODE_*, standing at the
// first data byte. 0, or -1 with QV5K_ERR_IO.
int qv5k_open(qv5k_handle *handle, const char *path, int mode);
// Writes a pending bqv block, then closes the stream (in every case).
// 0, or -1 with QV5K_ERR_IO naming the first failure.
int qv5k_close(qv5k_handle *handle);
// Reads the header record into `header`, then fixes the file type (first
// header only) and binds or checks the variant. 0, or -1 with
// QV5K_ERR_IO, QV5K_ERR_FILE (unknown recording mode) or QV5K_ERR_HEADER.
int qv5k_read_header(qv5k_handle *handle, qv5k_header *header);
// Fixes the file type and binds or checks the variant, then writes the
// record at byte 0 without moving the data position. A header that does not
// match the binding is not written. 0, or -1 as qv5k_read_header.
int qv5k_write_header(qv5k_handle *handle, const qv5k_header *header);
// Up to `count` frames from the current position: the number delivered
// (fewer only at the end of the data, 0 there), or -1.
long qv5k_read_data(qv5k_handle *handle, double *frames, std::size_t count);
// `count` frames at the current position: `count`, or -1.
long qv5k_write_data(qv5k_handle *handle, const double *frames, std::size_t count);
// Moves to frame `offset` from the first frame (whence 0), the current frame
// (1) or the end (2): the new frame position, or -1. A target before the
// first frame is refused.
long qv5k_seek_data(qv5k_handle *handle, long offset, int whence);
// Text of the handle's last failure in a 64-byte buffer shared by all
// handles of the thread (cut to 63 characters); resets the code, so a second call gives
// "None".
const char *qv5k_strerror(qv5k_handle *handle);
