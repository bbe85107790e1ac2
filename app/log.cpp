#include "log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>

thread_local int log_dbg_file = 0;
thread_local int log_dbg_dir = 0;

namespace {

thread_local log_sink sink{};

// Formats one line for the sink: on the stack when it fits, else in a buffer
// of its size (paths make lines up to a few kilobytes). `errnum` is restored
// before each formatting so that %m shows the failure's error.
void to_sink(int kind, int errnum, const char *fmt, va_list ap) {
    char small[1024];
    va_list again;
    va_copy(again, ap);
    errno = errnum;
    int n = std::vsnprintf(small, sizeof small, fmt, ap);
    if (n >= 0 && static_cast<std::size_t>(n) >= sizeof small) {
        std::unique_ptr<char[]> big(new (std::nothrow) char[static_cast<std::size_t>(n) + 1]);
        errno = errnum;
        if (big && std::vsnprintf(big.get(), static_cast<std::size_t>(n) + 1, fmt, again) >= 0) {
            sink.line(sink.ctx, kind, big.get());
            va_end(again);
            return;
        }
    }
    va_end(again);
    sink.line(sink.ctx, kind, n >= 0 ? small : fmt);
}

void emit(int kind, std::FILE *console, const char *fmt, va_list ap) {
    if (sink.line)
        to_sink(kind, errno, fmt, ap);
    else
        std::vfprintf(console, fmt, ap);
}

} // namespace

log_sink log_set_sink(log_sink next) {
    log_sink previous = sink;
    sink = next;
    return previous;
}

void log_out(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    emit(LOG_LINE_OUT, stdout, fmt, ap);
    va_end(ap);
}

void log_err(const char *fmt, ...) {
    // %m must see the errno of the failure, not one left by the first write.
    int saved = errno;
    va_list ap;
    va_start(ap, fmt);
    if (sink.line) {
        to_sink(LOG_LINE_ERR, saved, fmt, ap);
    } else {
        std::fflush(stdout);
        std::fputs("error: ", stderr);
        errno = saved;
        std::vfprintf(stderr, fmt, ap);
    }
    va_end(ap);
}

void log_trace_file(const char *fmt, ...) {
    if (!log_dbg_file) return;
    va_list ap;
    va_start(ap, fmt);
    emit(LOG_LINE_TRACE, stdout, fmt, ap);
    va_end(ap);
}

void log_trace_dir(const char *fmt, ...) {
    if (!log_dbg_dir) return;
    va_list ap;
    va_start(ap, fmt);
    emit(LOG_LINE_TRACE, stdout, fmt, ap);
    va_end(ap);
}
