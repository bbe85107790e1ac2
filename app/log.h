// Console output. Progress lines go to standard output, "error: " lines to
// standard error; trace lines only when a debug switch is set.
#pragma once

// Trace switches, set by -d: per-file steps in single-file mode, the
// directory walk in directory mode (never both).
extern int log_dbg_file;
extern int log_dbg_dir;

// printf-style; log_err prefixes "error: ". glibc's %m is available.
void log_out(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void log_err(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void log_trace_file(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void log_trace_dir(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
