// Console output. Progress lines go to standard output, "error: " lines to
// standard error; trace lines only when a debug switch is set.
//
// A thread may route its lines to a sink of its own instead (another front
// end running the driver); the switches and the sink are per thread, so the
// program, which sets them once in main, behaves as a single thread does.
#pragma once

// Trace switches, set by -d: per-file steps in single-file mode, the
// directory walk in directory mode (never both).
extern thread_local int log_dbg_file;
extern thread_local int log_dbg_dir;

// printf-style; log_err prefixes "error: ". glibc's %m is available.
void log_out(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void log_err(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void log_trace_file(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void log_trace_dir(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Kinds of line a sink receives.
enum : int {
    LOG_LINE_OUT = 0,   // progress line
    LOG_LINE_ERR = 1,   // failure, without its "error: " prefix
    LOG_LINE_TRACE = 2, // trace line whose debug switch is set
};

// Receives each line of the thread, formatted and with its line feed, in
// place of the console. The text is valid for the call only.
struct log_sink {
    void (*line)(void *ctx, int kind, const char *text);
    void *ctx;
};

// Routes the calling thread's lines to `sink` (a null `line`: the console)
// and returns the sink it replaces.
log_sink log_set_sink(log_sink sink);
