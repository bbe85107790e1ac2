#include "log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>

int log_dbg_file = 0;
int log_dbg_dir = 0;

void log_out(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stdout, fmt, ap);
    va_end(ap);
}

void log_err(const char *fmt, ...) {
    // %m must see the errno of the failure, not one left by the first write.
    int saved = errno;
    std::fflush(stdout);
    std::fputs("error: ", stderr);
    errno = saved;
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
}

void log_trace_file(const char *fmt, ...) {
    if (!log_dbg_file) return;
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stdout, fmt, ap);
    va_end(ap);
}

void log_trace_dir(const char *fmt, ...) {
    if (!log_dbg_dir) return;
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stdout, fmt, ap);
    va_end(ap);
}
