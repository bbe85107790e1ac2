// libqvraw: the raw record format.
//
// A raw file is one fixed header record (qvraw_header, stored exactly as it
// lies in memory) followed by the frames, one 8-byte double per channel, and
// optionally a spectrum block of `nfreqs` lines of one double per channel.
// The header record is also the canonical header of the whole converter.
//
// The record has one layout per build: 920 bytes on x86-64, 888 bytes on
// 32-bit x86 (size_t and the timestamp's seconds follow the platform's
// width). Doubles sit on 8-byte boundaries in both layouts; the i386 ABI
// would put them on 4-byte boundaries, hence the alignas below.
//
// The library never prints. Failures leave a code in the handle (or in the
// library-wide record for qvraw_open) that qvraw_strerr turns into text.
// That record and the text buffers are per thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "qvraw_timestamp.h"

//  offset    offset
//  (x86-64)  (32-bit) size       field
//     0        0      8          magic "Qv7kRaw\0"
//     8        8      4          file_type        0 Unknown, 1 Event, 2 Background
//    12       12      4          rec_origin
//    16       16      4          rec_cause
//    20        -      4          padding (x86-64 only)
//    24       20      8/4        nsignals
//    32       24      16         signals[4]
//    48       40      4          split_count
//    52       44      4          dir_count
//    56       48      16/8       start_time
//    72       56      4          nsamples
//    76       60      4          padding
//    80       64      96         peak[12]
//   176      160      16/8       trigger_time
//   192      168      4          triggered_chans
//   196      172      4          padding
//   200      176      96         offset[12]
//   296      272      8          vsum
//   304      280      24         reserved_a[3]
//   328      304      4          xqv_code
//   332        -      4          padding (x86-64 only)
//   336      308      8/4        nfreqs
//   344      312      96         reserved_b[12]
//   440      408      96         dom_freq[12]
//   536      504      24         kbftm[3]
//   560      528      4          model
//   564      532      9          uid
//   573      541      21         name
//   594      562      33         comment
//   627      595      13         firmware
//   640      608      33         sensor_name
//   673      641      3          padding
//   676      644      4          sensor_type
//   680      648      4          sensor_unit
//   684      652      4          sensor_range
//   688      656      4          sensor_scale
//   692      660      4          time_mode
//   696      664      11         region
//   707      675      15         city
//   722      690      2          padding
//   724      692      4          utc_offset
//   728      696      4          rate
//   732      700      4          filter
//   736      704      24         trig_aux_a[3]
//   760      728      24         trig_aux_b[3]
//   784      752      4 x 7      back_enabled, back_mode, back_period,
//                                trig_enabled, trig_mode, trig_chans, trig_logic
//   812      780      4          padding
//   816      784      24         trig_threshold[3]
//   840      808      4 x 4      pre_event, post_event, alarm1_enabled, alarm1_mode
//   856      824      24         alarm1_threshold[3]
//   880      848      4 x 2      alarm2_enabled, alarm2_mode
//   888      856      24         alarm2_threshold[3]
//   912      880      8          voltage
//   920      888                end
//
// Every padding byte is a named member so that a plain copy of the struct
// carries it: a raw-to-raw conversion keeps the header byte for byte.
struct alignas(8) qvraw_header {
    char magic[8];
    std::uint32_t file_type;
    std::uint32_t rec_origin;
    std::uint32_t rec_cause;
#if QVRAW_LP64
    std::uint8_t pad0_[4];
#endif
    std::size_t nsignals;
    std::uint32_t signals[4];
    std::uint32_t split_count;
    std::uint32_t dir_count;
    qvraw_timestamp start_time;
    std::uint32_t nsamples;
    std::uint8_t pad1_[4];
    alignas(8) double peak[12];
    qvraw_timestamp trigger_time;
    std::uint32_t triggered_chans;
    std::uint8_t pad2_[4];
    alignas(8) double offset[12];
    alignas(8) double vsum;
    alignas(8) double reserved_a[3];
    std::uint32_t xqv_code;
#if QVRAW_LP64
    std::uint8_t pad3_[4];
#endif
    std::size_t nfreqs;
    alignas(8) double reserved_b[12];
    alignas(8) double dom_freq[12];
    alignas(8) double kbftm[3];
    std::uint32_t model;
    char uid[9];
    char name[21];
    char comment[33];
    char firmware[13];
    char sensor_name[33];
    std::uint8_t pad4_[3];
    std::uint32_t sensor_type;
    std::uint32_t sensor_unit;
    std::uint32_t sensor_range;
    std::uint32_t sensor_scale;
    std::uint32_t time_mode;
    char region[11];
    char city[15];
    std::uint8_t pad5_[2];
    std::int32_t utc_offset;
    std::uint32_t rate;
    std::uint32_t filter;
    alignas(8) double trig_aux_a[3];
    alignas(8) double trig_aux_b[3];
    std::uint32_t back_enabled;
    std::uint32_t back_mode;
    std::uint32_t back_period;
    std::uint32_t trig_enabled;
    std::uint32_t trig_mode;
    std::uint32_t trig_chans;
    std::uint32_t trig_logic;
    std::uint8_t pad6_[4];
    alignas(8) double trig_threshold[3];
    std::uint32_t pre_event;
    std::uint32_t post_event;
    std::uint32_t alarm1_enabled;
    std::uint32_t alarm1_mode;
    alignas(8) double alarm1_threshold[3];
    std::uint32_t alarm2_enabled;
    std::uint32_t alarm2_mode;
    alignas(8) double alarm2_threshold[3];
    alignas(8) double voltage;
};

inline constexpr char QVRAW_MAGIC[8] = {'Q', 'v', '7', 'k', 'R', 'a', 'w', '\0'};

// Open modes.
inline constexpr int QVRAW_MODE_WRITE = 1;  // "wb"
inline constexpr int QVRAW_MODE_UPDATE = 2; // "r+b"
inline constexpr int QVRAW_MODE_READ = 3;   // "rb"

// Error codes of a handle (and of the library-wide open record).
enum : std::uint32_t {
    QVRAW_ERR_NONE = 0,
    QVRAW_ERR_NOMEM = 1,  // "Out of memory"
    QVRAW_ERR_USAGE = 2,  // "Wrong usage"
    QVRAW_ERR_MAGIC = 3,  // "Invalid magic"
    QVRAW_ERR_HEADER = 4, // "Failed to read header"
    QVRAW_ERR_SAMPLE = 5, // "Invalid sample size"
    QVRAW_ERR_NCHANS = 6, // "Invalid number of channels"
    QVRAW_ERR_IO = 7,     // "I/O: " + the I/O layer's message
};

#define QVRAW_OFF(field, lp64, ilp32)                                                              \
    static_assert(offsetof(qvraw_header, field) == (QVRAW_LP64 ? (lp64) : (ilp32)),                \
                  "qvraw_header." #field " is off its on-disk offset")
QVRAW_OFF(magic, 0, 0);
QVRAW_OFF(file_type, 8, 8);
QVRAW_OFF(rec_origin, 12, 12);
QVRAW_OFF(rec_cause, 16, 16);
QVRAW_OFF(nsignals, 24, 20);
QVRAW_OFF(signals, 32, 24);
QVRAW_OFF(split_count, 48, 40);
QVRAW_OFF(dir_count, 52, 44);
QVRAW_OFF(start_time, 56, 48);
QVRAW_OFF(nsamples, 72, 56);
QVRAW_OFF(peak, 80, 64);
QVRAW_OFF(trigger_time, 176, 160);
QVRAW_OFF(triggered_chans, 192, 168);
QVRAW_OFF(offset, 200, 176);
QVRAW_OFF(vsum, 296, 272);
QVRAW_OFF(reserved_a, 304, 280);
QVRAW_OFF(xqv_code, 328, 304);
QVRAW_OFF(nfreqs, 336, 308);
QVRAW_OFF(reserved_b, 344, 312);
QVRAW_OFF(dom_freq, 440, 408);
QVRAW_OFF(kbftm, 536, 504);
QVRAW_OFF(model, 560, 528);
QVRAW_OFF(uid, 564, 532);
QVRAW_OFF(name, 573, 541);
QVRAW_OFF(comment, 594, 562);
QVRAW_OFF(firmware, 627, 595);
QVRAW_OFF(sensor_name, 640, 608);
QVRAW_OFF(sensor_type, 676, 644);
QVRAW_OFF(sensor_unit, 680, 648);
QVRAW_OFF(sensor_range, 684, 652);
QVRAW_OFF(sensor_scale, 688, 656);
QVRAW_OFF(time_mode, 692, 660);
QVRAW_OFF(region, 696, 664);
QVRAW_OFF(city, 707, 675);
QVRAW_OFF(utc_offset, 724, 692);
QVRAW_OFF(rate, 728, 696);
QVRAW_OFF(filter, 732, 700);
QVRAW_OFF(trig_aux_a, 736, 704);
QVRAW_OFF(trig_aux_b, 760, 728);
QVRAW_OFF(back_enabled, 784, 752);
QVRAW_OFF(back_mode, 788, 756);
QVRAW_OFF(back_period, 792, 760);
QVRAW_OFF(trig_enabled, 796, 764);
QVRAW_OFF(trig_mode, 800, 768);
QVRAW_OFF(trig_chans, 804, 772);
QVRAW_OFF(trig_logic, 808, 776);
QVRAW_OFF(trig_threshold, 816, 784);
QVRAW_OFF(pre_event, 840, 808);
QVRAW_OFF(post_event, 844, 812);
QVRAW_OFF(alarm1_enabled, 848, 816);
QVRAW_OFF(alarm1_mode, 852, 820);
QVRAW_OFF(alarm1_threshold, 856, 824);
QVRAW_OFF(alarm2_enabled, 880, 848);
QVRAW_OFF(alarm2_mode, 884, 852);
QVRAW_OFF(alarm2_threshold, 888, 856);
QVRAW_OFF(voltage, 912, 880);
#undef QVRAW_OFF
static_assert(sizeof(qvraw_header) == (QVRAW_LP64 ? 920 : 888),
              "qvraw_header must be 920 bytes on x86-64 and 888 on 32-bit x86");

// Size of the header record of this build.
inline constexpr std::size_t QVRAW_HEADER_SIZE = sizeof(qvraw_header);
// Channel slots of the per-channel arrays (peak, offset, dom_freq, ...): the
// most channels a header can describe, four signals of three channels.
inline constexpr std::size_t QVRAW_CHANNEL_SLOTS = 12;
static_assert(sizeof(qvraw_header::peak) == QVRAW_CHANNEL_SLOTS * sizeof(double));
// The widest frame a raw file may hold: a header that announces more
// channels is refused on reading and on writing.
inline constexpr std::size_t QVRAW_MAX_CHANNELS = 11;

// --- The header's coded fields: one name per code, after the word that the
// ASCII header shows for it (the vocabulary tables of its conversion).
// Record types (file_type) and recording origins (rec_origin).
inline constexpr std::uint32_t QVRAW_FILETYPE_UNKNOWN = 0;
inline constexpr std::uint32_t QVRAW_FILETYPE_EVENT = 1;
inline constexpr std::uint32_t QVRAW_FILETYPE_BACKGROUND = 2;
inline constexpr std::uint32_t QVRAW_ORIGIN_UNKNOWN = 0;
inline constexpr std::uint32_t QVRAW_ORIGIN_LOCAL = 1;
inline constexpr std::uint32_t QVRAW_ORIGIN_COMMON = 2;
// Recording causes (rec_cause).
inline constexpr std::uint32_t QVRAW_CAUSE_UNKNOWN = 0;
inline constexpr std::uint32_t QVRAW_CAUSE_CONTINUOUS = 1;
inline constexpr std::uint32_t QVRAW_CAUSE_MANUAL = 2;
inline constexpr std::uint32_t QVRAW_CAUSE_TIMED = 3;
inline constexpr std::uint32_t QVRAW_CAUSE_TRIGGER = 4;
inline constexpr std::uint32_t QVRAW_CAUSE_TEST_PULSE = 5; // "TestPulse"
// Signal types: the record's signals, and the signal the trigger (trig_mode)
// and the alarms (alarm1_mode, alarm2_mode) watch. VM VSum has one channel.
inline constexpr std::uint32_t QVRAW_SIGNAL_UNKNOWN = 0;
inline constexpr std::uint32_t QVRAW_SIGNAL_RAW = 1;
inline constexpr std::uint32_t QVRAW_SIGNAL_TRIGGER = 2;
inline constexpr std::uint32_t QVRAW_SIGNAL_FILTER = 3;
inline constexpr std::uint32_t QVRAW_SIGNAL_STA_LTA = 4;
inline constexpr std::uint32_t QVRAW_SIGNAL_VM_PEAK = 5;
inline constexpr std::uint32_t QVRAW_SIGNAL_VM_VSUM = 6;
inline constexpr std::uint32_t QVRAW_SIGNAL_VM_FREQ = 7;
inline constexpr std::uint32_t QVRAW_SIGNAL_DIN_KBFTI = 8;
inline constexpr std::uint32_t QVRAW_SIGNAL_SBR_A_VTOP = 9;
inline constexpr std::uint32_t QVRAW_SIGNAL_SBR_A_VKAR = 10;
inline constexpr std::uint32_t QVRAW_SIGNAL_SBR_A_FREQ = 11;
inline constexpr std::uint32_t QVRAW_SIGNAL_SBR_B_VEFF = 12;
inline constexpr std::uint32_t QVRAW_SIGNAL_LEVEL = 13;
// Channel bits (trig_chans, triggered_chans): a set is their sum.
inline constexpr std::uint32_t QVRAW_CHAN_NONE = 0;
inline constexpr std::uint32_t QVRAW_CHAN_X = 1;
inline constexpr std::uint32_t QVRAW_CHAN_Y = 2;
inline constexpr std::uint32_t QVRAW_CHAN_Z = 4;
inline constexpr std::uint32_t QVRAW_CHAN_XYZ = QVRAW_CHAN_X | QVRAW_CHAN_Y | QVRAW_CHAN_Z;
// How the trigger combines its channels (trig_logic).
inline constexpr std::uint32_t QVRAW_LOGIC_UNKNOWN = 0;
inline constexpr std::uint32_t QVRAW_LOGIC_OR = 1;
inline constexpr std::uint32_t QVRAW_LOGIC_AND = 2;
// Background modes (back_mode).
inline constexpr std::uint32_t QVRAW_BACK_UNKNOWN = 0;
inline constexpr std::uint32_t QVRAW_BACK_PEAK_VSUM = 1;  // "Peak + VSUM"
inline constexpr std::uint32_t QVRAW_BACK_PEAK_FREQ = 2;  // "Peak + FREQ"
inline constexpr std::uint32_t QVRAW_BACK_KBFTI = 3;      // "KBFTi (DIN 45669-1)"
inline constexpr std::uint32_t QVRAW_BACK_SBR_A_CAT1 = 4; // "SBR A CAT1 (Dutch Standard)"
inline constexpr std::uint32_t QVRAW_BACK_SBR_A_CAT2 = 5;
inline constexpr std::uint32_t QVRAW_BACK_SBR_A_CAT3 = 6;
inline constexpr std::uint32_t QVRAW_BACK_SBR_A_FUND = 7;
inline constexpr std::uint32_t QVRAW_BACK_SBR_B = 8;
// Time modes (time_mode): both local modes show "Local"; with a named zone
// the region, city and utc_offset fields say which.
inline constexpr std::uint32_t QVRAW_TIME_UNKNOWN = 0;
inline constexpr std::uint32_t QVRAW_TIME_UTC = 1;
inline constexpr std::uint32_t QVRAW_TIME_LOCAL = 2;      // the reading machine's zone
inline constexpr std::uint32_t QVRAW_TIME_LOCAL_ZONE = 3; // the named zone
// Recorder models (model), sensor types (sensor_type) and units (sensor_unit).
inline constexpr std::uint32_t QVRAW_MODEL_UNKNOWN = 0;
inline constexpr std::uint32_t QVRAW_MODEL_QV7300 = 1;
inline constexpr std::uint32_t QVRAW_SENSOR_UNKNOWN = 0;
inline constexpr std::uint32_t QVRAW_SENSOR_VELOCITY = 1;
inline constexpr std::uint32_t QVRAW_SENSOR_ACCELERATION = 2;
inline constexpr std::uint32_t QVRAW_UNIT_UNKNOWN = 0;
inline constexpr std::uint32_t QVRAW_UNIT_MM_S = 1; // "mm/s"
inline constexpr std::uint32_t QVRAW_UNIT_MG = 2;   // "mg"
inline constexpr std::uint32_t QVRAW_UNIT_MV = 3;   // "mV"
// Acquisition filters (filter); there is no filter 6.
inline constexpr std::uint32_t QVRAW_FILTER_UNKNOWN = 0;
inline constexpr std::uint32_t QVRAW_FILTER_FLAT = 1;
inline constexpr std::uint32_t QVRAW_FILTER_FIR_50 = 2;    // "FIR 50 Hz"
inline constexpr std::uint32_t QVRAW_FILTER_FIR_1_50 = 3;  // "FIR 1-50 Hz"
inline constexpr std::uint32_t QVRAW_FILTER_FIR_1_100 = 4; // "FIR 1-100 Hz"
inline constexpr std::uint32_t QVRAW_FILTER_FIR_1_156 = 5; // "FIR 1-156 Hz"
inline constexpr std::uint32_t QVRAW_FILTER_IIR_1_80 = 7;  // "IIR 1-80 Hz"
inline constexpr std::uint32_t QVRAW_FILTER_IIR_1_315 = 8; // "IIR 1-315 Hz"

// --- The header's members by name -------------------------------------------
// Every member of qvraw_header in order, padding included, so that a front
// end can show, read or rebuild any field by its name from one table: the
// rows tile the record exactly (checked below for the build being compiled).
// A row covers `count` elements of `size` bytes from `offset`; a text is
// `count` characters, NUL-padded; a padding row is `count` bytes.
enum qvraw_kind : std::uint8_t {
    QVRAW_KIND_U32,       // std::uint32_t
    QVRAW_KIND_I32,       // std::int32_t
    QVRAW_KIND_SIZE,      // std::size_t: 8 bytes on x86-64, 4 on 32-bit x86
    QVRAW_KIND_DOUBLE,    // IEEE-754 binary64
    QVRAW_KIND_TEXT,      // char array holding a NUL-terminated text
    QVRAW_KIND_BYTES,     // padding
    QVRAW_KIND_TIMESTAMP, // qvraw_timestamp (sec, nsec)
};

struct qvraw_field {
    const char *name; // the member's name; padding "pad0".."pad6"
    qvraw_kind kind;
    std::size_t offset;
    std::size_t count; // elements (characters of a text, bytes of padding)
    std::size_t size;  // bytes per element
};

// Bytes of one element of a member's type (the member itself for a scalar).
template <typename T>
inline constexpr std::size_t qvraw_elem_size = sizeof(std::remove_all_extents_t<T>);

// clang-format off
#define QVRAW_FIELD(m, kind)                                                                       \
    qvraw_field{#m, kind, offsetof(qvraw_header, m),                                               \
                sizeof(qvraw_header::m) / qvraw_elem_size<decltype(qvraw_header::m)>,             \
                qvraw_elem_size<decltype(qvraw_header::m)>}
#define QVRAW_PAD(n)                                                                               \
    qvraw_field{"pad" #n, QVRAW_KIND_BYTES, offsetof(qvraw_header, pad##n##_),                     \
                sizeof(qvraw_header::pad##n##_), 1}
// clang-format on
inline constexpr qvraw_field QVRAW_FIELDS[] = {
    QVRAW_FIELD(magic, QVRAW_KIND_TEXT),
    QVRAW_FIELD(file_type, QVRAW_KIND_U32),
    QVRAW_FIELD(rec_origin, QVRAW_KIND_U32),
    QVRAW_FIELD(rec_cause, QVRAW_KIND_U32),
#if QVRAW_LP64
    QVRAW_PAD(0),
#endif
    QVRAW_FIELD(nsignals, QVRAW_KIND_SIZE),
    QVRAW_FIELD(signals, QVRAW_KIND_U32),
    QVRAW_FIELD(split_count, QVRAW_KIND_U32),
    QVRAW_FIELD(dir_count, QVRAW_KIND_U32),
    QVRAW_FIELD(start_time, QVRAW_KIND_TIMESTAMP),
    QVRAW_FIELD(nsamples, QVRAW_KIND_U32),
    QVRAW_PAD(1),
    QVRAW_FIELD(peak, QVRAW_KIND_DOUBLE),
    QVRAW_FIELD(trigger_time, QVRAW_KIND_TIMESTAMP),
    QVRAW_FIELD(triggered_chans, QVRAW_KIND_U32),
    QVRAW_PAD(2),
    QVRAW_FIELD(offset, QVRAW_KIND_DOUBLE),
    QVRAW_FIELD(vsum, QVRAW_KIND_DOUBLE),
    QVRAW_FIELD(reserved_a, QVRAW_KIND_DOUBLE),
    QVRAW_FIELD(xqv_code, QVRAW_KIND_U32),
#if QVRAW_LP64
    QVRAW_PAD(3),
#endif
    QVRAW_FIELD(nfreqs, QVRAW_KIND_SIZE),
    QVRAW_FIELD(reserved_b, QVRAW_KIND_DOUBLE),
    QVRAW_FIELD(dom_freq, QVRAW_KIND_DOUBLE),
    QVRAW_FIELD(kbftm, QVRAW_KIND_DOUBLE),
    QVRAW_FIELD(model, QVRAW_KIND_U32),
    QVRAW_FIELD(uid, QVRAW_KIND_TEXT),
    QVRAW_FIELD(name, QVRAW_KIND_TEXT),
    QVRAW_FIELD(comment, QVRAW_KIND_TEXT),
    QVRAW_FIELD(firmware, QVRAW_KIND_TEXT),
    QVRAW_FIELD(sensor_name, QVRAW_KIND_TEXT),
    QVRAW_PAD(4),
    QVRAW_FIELD(sensor_type, QVRAW_KIND_U32),
    QVRAW_FIELD(sensor_unit, QVRAW_KIND_U32),
    QVRAW_FIELD(sensor_range, QVRAW_KIND_U32),
    QVRAW_FIELD(sensor_scale, QVRAW_KIND_U32),
    QVRAW_FIELD(time_mode, QVRAW_KIND_U32),
    QVRAW_FIELD(region, QVRAW_KIND_TEXT),
    QVRAW_FIELD(city, QVRAW_KIND_TEXT),
    QVRAW_PAD(5),
    QVRAW_FIELD(utc_offset, QVRAW_KIND_I32),
    QVRAW_FIELD(rate, QVRAW_KIND_U32),
    QVRAW_FIELD(filter, QVRAW_KIND_U32),
    QVRAW_FIELD(trig_aux_a, QVRAW_KIND_DOUBLE),
    QVRAW_FIELD(trig_aux_b, QVRAW_KIND_DOUBLE),
    QVRAW_FIELD(back_enabled, QVRAW_KIND_U32),
    QVRAW_FIELD(back_mode, QVRAW_KIND_U32),
    QVRAW_FIELD(back_period, QVRAW_KIND_U32),
    QVRAW_FIELD(trig_enabled, QVRAW_KIND_U32),
    QVRAW_FIELD(trig_mode, QVRAW_KIND_U32),
    QVRAW_FIELD(trig_chans, QVRAW_KIND_U32),
    QVRAW_FIELD(trig_logic, QVRAW_KIND_U32),
    QVRAW_PAD(6),
    QVRAW_FIELD(trig_threshold, QVRAW_KIND_DOUBLE),
    QVRAW_FIELD(pre_event, QVRAW_KIND_U32),
    QVRAW_FIELD(post_event, QVRAW_KIND_U32),
    QVRAW_FIELD(alarm1_enabled, QVRAW_KIND_U32),
    QVRAW_FIELD(alarm1_mode, QVRAW_KIND_U32),
    QVRAW_FIELD(alarm1_threshold, QVRAW_KIND_DOUBLE),
    QVRAW_FIELD(alarm2_enabled, QVRAW_KIND_U32),
    QVRAW_FIELD(alarm2_mode, QVRAW_KIND_U32),
    QVRAW_FIELD(alarm2_threshold, QVRAW_KIND_DOUBLE),
    QVRAW_FIELD(voltage, QVRAW_KIND_DOUBLE),
};
#undef QVRAW_FIELD
#undef QVRAW_PAD
inline constexpr std::size_t QVRAW_NFIELDS = sizeof QVRAW_FIELDS / sizeof QVRAW_FIELDS[0];

// Each row starts where the previous one ends, the first at 0 and the last
// ends at the end of the record, and each kind has the size it names.
constexpr bool qvraw_fields_tile() {
    std::size_t end = 0;
    for (const qvraw_field &f : QVRAW_FIELDS) {
        if (f.offset != end || f.count == 0) return false;
        std::size_t want = 0;
        switch (f.kind) {
        case QVRAW_KIND_U32:
        case QVRAW_KIND_I32: want = 4; break;
        case QVRAW_KIND_SIZE: want = sizeof(std::size_t); break;
        case QVRAW_KIND_DOUBLE: want = 8; break;
        case QVRAW_KIND_TEXT:
        case QVRAW_KIND_BYTES: want = 1; break;
        case QVRAW_KIND_TIMESTAMP: want = sizeof(qvraw_timestamp); break;
        }
        if (f.size != want) return false;
        end += f.count * f.size;
    }
    return end == sizeof(qvraw_header);
}
static_assert(qvraw_fields_tile(), "QVRAW_FIELDS must tile qvraw_header member by member");

// Channels of the header: 1 per VM VSum signal, 3 per other signal, over the
// first min(nsignals, 4) signals; 0 when nsignals is 0.
std::size_t qvraw_header_get_nchans(const qvraw_header *h);
std::size_t qvraw_header_get_nsamples(const qvraw_header *h);
std::size_t qvraw_header_get_nfreqs(const qvraw_header *h);
// Bytes per frame: nchans * 8.
std::size_t qvraw_header_get_sample_size(const qvraw_header *h);

// --- Raw file handle --------------------------------------------------------
// The handle keeps a copy of the header; qvraw_write_header only replaces
// that copy and the copy reaches the file at qvraw_flush or qvraw_close, so
// the last header given is the one the file carries.

struct qvraw_file;

// Opens `path` in QVRAW_MODE_*; modes 2 and 3 read and validate the header
// and leave the position at the first frame. Null on failure, the code then
// in the library-wide record (read it with qvraw_strerr(nullptr)).
qvraw_file *qvraw_open(const char *path, int mode);
// Writes a pending header, closes and releases. 0, or -1 with the handle
// still valid (a later close retries).
int qvraw_close(qvraw_file *f);
// Writes a pending header. 0 or -1.
int qvraw_flush(qvraw_file *f);
// Makes sure the handle has a validated header copy and copies it to `out`
// when `out` is not null. 0 or -1.
int qvraw_read_header(qvraw_file *f, qvraw_header *out);
// Replaces the header copy (magic forced) and marks it for writing. 0 or -1.
int qvraw_write_header(qvraw_file *f, const qvraw_header *h);
// Reads up to `count` frames. The number of whole frames read, 0 at the end
// of the samples, -1 on failure.
long qvraw_read_data(qvraw_file *f, double *frames, std::size_t count);
// Writes `count` frames. The number written, or -1.
long qvraw_write_data(qvraw_file *f, const double *frames, std::size_t count);
// Moves by `frame` frames from the first frame (whence 0), the current one
// (1) or the end of the file (2). The frame index before the move, or -1.
long qvraw_seek_data(qvraw_file *f, long frame, int whence);
// Reads the whole spectrum block (nfreqs * nchans doubles). 0 or -1.
int qvraw_read_fft(qvraw_file *f, double *lines);
// Replaces the spectrum block with `nfreqs` lines. 0 or -1.
int qvraw_write_fft(qvraw_file *f, const double *lines, std::size_t nfreqs);
// Text of the last failure of `f` (of the last failed open when `f` is null)
// in the thread's 64-byte buffer; resets the code: a second call gives "None".
const char *qvraw_strerr(qvraw_file *f);
