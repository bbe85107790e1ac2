// libqvascii: the ASCII record format.
//
// An ASCII record file starts with a header of '#' lines holding named
// groups of key/value entries:
//
//     # [Sensor]
//     # Scale=10
//     #
//
// followed by one text line per sample: the time since the first sample,
// then one value per channel, separated by spaces and ended by CR LF.
//
// The library has three parts:
//   - the header model: a fixed-capacity header of 24 groups of 24 entries,
//     every value stored as text of at most 63 characters;
//   - the header text (print and parse) and the date, time and list helpers
//     used by the header conversion;
//   - the file handle that reads and writes the header and the sample lines.
//
// The library never prints. Failures of the file operations leave a code in
// the handle (or in the library-wide record for qvascii_open) that
// qvascii_strerr turns into text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qvraw.h" // qvraw_timestamp

// --- Limits ------------------------------------------------------------------

inline constexpr std::size_t QVASCII_MAX_GROUPS = 24;
inline constexpr std::size_t QVASCII_MAX_ENTRIES = 24;
// Longest stored value: every setter cuts its text to this.
inline constexpr std::size_t QVASCII_VALUE_MAX = 63;
// Longest header text read from or written to a file (plus its terminator).
inline constexpr std::size_t QVASCII_HEADER_MAX = 8191;
// Sample lines move through the file in blocks of this many bytes.
inline constexpr std::size_t QVASCII_BLOCK_SIZE = 32768;
// Value columns a file can carry: columns 2 to 13, four signals of three
// channels. A read or write with more channels is refused.
inline constexpr std::size_t QVASCII_MAX_CHANNELS = 12;

// --- Header model ------------------------------------------------------------
//
// Every non-null name, key and value is a heap copy owned by the structure
// that points to it. Occupied slots always form a prefix of their array; a
// null name (key) marks the first free slot. All operations accept null
// containers: getters then return null or the default, setters do nothing,
// so lookups chain without checks:
//
//     qvascii_entry_get_uint(qvascii_group_get(qvascii_header_get(h,
//         "Acquisition"), "Rate"), 1)

struct qvascii_entry {
    char *key;   // null: free slot
    char *value; // null until a setter has run
};

struct qvascii_group {
    char *name; // null: free slot
    qvascii_entry entries[QVASCII_MAX_ENTRIES];
};

struct qvascii_header {
    qvascii_group groups[QVASCII_MAX_GROUPS];
};

// Clears every slot (without freeing: use on fresh storage only), then sets
// group "ASCII" with entry "Version" = "3" in slot 0.
void qvascii_header_init(qvascii_header *h);
// Frees every name, key and value and leaves all slots free. Null: no-op.
void qvascii_header_cleanup(qvascii_header *h);
// The first group named `name` (exact, case-sensitive), or null.
qvascii_group *qvascii_header_get(const qvascii_header *h, const char *name);
// The group named `name`, appended in the first free slot when absent; null
// when h is null, all 24 slots are used or memory runs out.
qvascii_group *qvascii_header_set(qvascii_header *h, const char *name);

// Clears the name and all entries (without freeing).
void qvascii_group_init(qvascii_group *g);
// Frees every entry's value and key; the name is left to the header.
void qvascii_group_cleanup(qvascii_group *g);
// The first entry whose key equals `key`, or null.
qvascii_entry *qvascii_group_get(const qvascii_group *g, const char *key);
// The entry of `key`, appended (value null) when absent; null when g is
// null, all 24 entries are used or memory runs out.
qvascii_entry *qvascii_group_set(qvascii_group *g, const char *key);

// Sets key and value to null.
void qvascii_entry_init(qvascii_entry *e);
// Frees the value and sets it to null; the key is left to the group.
void qvascii_entry_cleanup(qvascii_entry *e);

// Getters: `def` when the entry is null.
// The stored value itself (borrowed), null when it was never set.
const char *qvascii_entry_get_str(const qvascii_entry *e, const char *def);
// Leading decimal integer (whitespace and sign allowed, 0 without digits);
// values beyond the 32-bit range saturate. `def` when the value was never set.
std::int32_t qvascii_entry_get_int(const qvascii_entry *e, std::int32_t def);
// The same parse taken as unsigned: -1 gives 4294967295 and every value
// 0..4294967295 reads as itself; the text is clamped to
// [-2147483648, 4294967295] first. `def` when the value was never set.
std::uint32_t qvascii_entry_get_uint(const qvascii_entry *e, std::uint32_t def);
// atof of the value. `def` when the value was never set.
double qvascii_entry_get_double(const qvascii_entry *e, double def);
// Exactly "True" gives true, exactly "False" false, anything else `def`.
bool qvascii_entry_get_bool(const qvascii_entry *e, bool def);

// Setters: replace the value with the formatted text, cut to 63 characters.
// A null entry is ignored; if memory runs out the value stays null.
void qvascii_entry_set_printf(qvascii_entry *e, const char *fmt, ...)
    __attribute__((format(printf, 2, 3)));
void qvascii_entry_set_str(qvascii_entry *e, const char *s);    // "%s"
void qvascii_entry_set_int(qvascii_entry *e, std::int32_t v);   // "%d"
void qvascii_entry_set_uint(qvascii_entry *e, std::uint32_t v); // "%u"
void qvascii_entry_set_double(qvascii_entry *e, double v);      // "%lg"
void qvascii_entry_set_bool(qvascii_entry *e, bool v);          // "True"/"False"

// --- Header text -------------------------------------------------------------

// Prints the header as "# [group]\r\n", "# key=value\r\n" lines and a
// closing "# \r\n" per group into `buf`. The length written (without the
// terminating zero), or -1 when the text and its terminator do not fit.
int qvascii_header_print(const qvascii_header *h, char *buf, std::int32_t size);
// Parses header text (zero-terminated, modified in place) into `h`, fresh
// from qvascii_header_init. Line ends are CR LF or LF, decided by the first
// CR or LF of the text. The header length (offset of the first line not
// starting with '#'), or -1 on a syntax error or out of memory; `h` then
// holds what was parsed and must still be cleaned up.
long qvascii_header_parse(qvascii_header *h, char *text);

// --- Date, time and list helpers ---------------------------------------------

// Time modes of the date and time helpers.
inline constexpr int QVASCII_TIME_UTC = 0;    // also every other value
inline constexpr int QVASCII_TIME_LOCAL = 1;  // the machine's zone (TZ)
inline constexpr int QVASCII_TIME_OFFSET = 2; // UTC + utc_offset seconds

// "%Y-%m-%d" of t->sec in the given time mode, cut to `size`.
void qvascii_print_date(char *dst, std::size_t size, const qvraw_timestamp *t, int time_mode,
                        std::int32_t utc_offset);
// "%H:%M:%S", plus ".%06ld" microseconds when t->nsec / 1000 is not 0.
void qvascii_print_time(char *dst, std::size_t size, const qvraw_timestamp *t, int time_mode,
                        std::int32_t utc_offset);
// A duration as "%H:%M:%S" of its whole seconds within a day, plus
// ".%06ld" microseconds when they round to non-zero.
void qvascii_print_length(char *dst, std::size_t size, float seconds);
// Reads "date" "T" "time" as year, month, day, hour, minute, second (one
// character of any kind between numbers) and an optional ".micros". 0, or
// -1 when six numbers are not there (t is then zero). Null texts count as
// empty.
int qvascii_parse_datetime(qvraw_timestamp *t, const char *date, const char *time, int time_mode,
                           std::int32_t utc_offset);
// Appends `item` to the list text (with `sep` before it unless the list is
// empty), cut to `size`.
void qvascii_push_str(char *list, std::size_t size, const char *item, const char *sep);
// Removes the first item (and its separator) from the list and returns it,
// cut to 31 characters, in a per-thread buffer valid until the next
// call; null for an empty list.
const char *qvascii_pop_str(char *list, const char *sep);

// --- Sample columns ----------------------------------------------------------

// Whether the sample column headed `name` (its "Columns" entry) holds values
// that are not in sensor units (ratios and frequencies): such a column is
// written and read as it is, every other column multiplied by the sensor
// scale on writing and divided by it on reading.
bool qvascii_column_unscaled(const char *name);

// --- File operations ---------------------------------------------------------

// Open modes.
inline constexpr int QVASCII_MODE_WRITE = 1; // create or empty; write and read back ("wb+")
inline constexpr int QVASCII_MODE_READ = 2;  // read ("rb")

// Error codes of a handle (and of the library-wide record for qvascii_open).
enum : std::uint32_t {
    QVASCII_ERR_NONE = 0,         // "None"
    QVASCII_ERR_NOMEM = 1,        // "Out of memory"
    QVASCII_ERR_MODE = 2,         // "Invalid file mode"
    QVASCII_ERR_SHORT = 3,        // "File too short" (not produced)
    QVASCII_ERR_HEADER = 4,       // "Invalid header"
    QVASCII_ERR_SCALE = 6,        // "Invalid header scale"
    QVASCII_ERR_TIMESTEP = 7,     // "Invalid header timestep"
    QVASCII_ERR_NOHEADER = 8,     // "Header is unknwon"
    QVASCII_ERR_SHIFT = 9,        // "Failed to shift data"
    QVASCII_ERR_SHIFT_BOUND = 10, // "Shift is out of bound" (not produced)
    QVASCII_ERR_DATA = 11,        // "Invalid data"
    QVASCII_ERR_READ_TRUNC = 12,  // "Read truncated" (not produced)
    QVASCII_ERR_WRITE_TRUNC = 13, // "Write truncated"
    QVASCII_ERR_EOL = 14,         // "Failed to determine end-of-line character"
    QVASCII_ERR_FIELDSEP = 15,    // "Failed to determine field separator"
    QVASCII_ERR_IO_OPEN = 16,     // "On open(): " + system text
    QVASCII_ERR_IO_CLOSE = 17,    // "On close(): " + system text
    QVASCII_ERR_IO_READ = 18,     // "On read(): " + system text
    QVASCII_ERR_IO_WRITE = 19,    // "On write(): " + system text
    QVASCII_ERR_IO_SEEK = 20,     // "On seek(): " + system text
    QVASCII_ERR_IO_TRUNCATE = 21, // "On truncate(): " + system text
};

struct qvascii_file;

// Opens `path` in a QVASCII_MODE_*. Null on failure, the code then in the
// library-wide record (read it with qvascii_strerr(nullptr)).
qvascii_file *qvascii_open(const char *path, int mode);
// Closes the stream and frees the handle. 0, or -1 (code 17) with the
// handle still allocated.
int qvascii_close(qvascii_file *f);
// Reads and parses the header text at the start of the file into `h`
// (fresh from qvascii_header_init) and fixes the handle's scales from it
// ("Sensor"/"Scale" required and non-zero). 0 or -1. Between sample reads
// the stream position is kept.
int qvascii_read_header(qvascii_file *f, qvascii_header *h);
// Prints `h` at the start of the file; when a header was already written,
// moves the sample lines by the change of length. Fixes the scales and the
// sample interval from the first header ("File"/"Type" Event with a
// non-zero "Acquisition"/"Rate", or Background with "Background"/"Period");
// a later header must agree with them. 0 or -1.
int qvascii_write_header(qvascii_file *f, const qvascii_header *h);
// Reads up to `nframes` frames of `nchans` doubles (each value divided by
// its column factor). The number of frames read, 0 at the end of the file,
// -1 on failure. `nchans` above QVASCII_MAX_CHANNELS is "Invalid data".
long qvascii_read_data(qvascii_file *f, double *frames, std::size_t nframes, std::size_t nchans);
// Writes `nframes` frames of `nchans` doubles as sample lines (each value
// multiplied by its column factor). The number written, or -1.
long qvascii_write_data(qvascii_file *f, const double *frames, std::size_t nframes,
                        std::size_t nchans);
// Text of the last failure of `f` (of the last failed open when `f` is
// null), in the thread's 64-byte buffer; resets the record, so a second call
// gives "None".
const char *qvascii_strerr(qvascii_file *f);
