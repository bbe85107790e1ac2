// Fault injection for qvconv_fault: the program's own sources linked with
// -Wl,--wrap=<call> for every file call they make, so that each such call
// lands here first. The calls are counted in the order they are made; the
// one whose number is QV_FAULT_AT fails with the errno named by
// QV_FAULT_ERRNO ("EIO", "ENOSPC", "EINTR" or a number; EIO by default)
// exactly as the runtime reports a failure, and every other call is passed
// on unchanged. The failure is transient: the next call behaves, so an
// interrupted call that is repeated succeeds.
//
// QV_FAULT_TRACE names a file that receives, at exit, the name of every
// counted call, one per line, in call order. The console streams are not
// counted: a fault there would only test the message printing.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int __real_open(const char *path, int flags, ...);
extern "C" int __real_close(int fd);

namespace {

constexpr long MAX_TRACE = 1 << 18;

struct fault_state {
    bool ready = false;
    long at = 0; // 1-based number of the call to fail; 0: none
    int errnum = EIO;
    long count = 0;
    const char *trace_path = nullptr;
    const char *trace[MAX_TRACE];
};

fault_state state;

void write_trace() {
    int fd = __real_open(state.trace_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    for (long i = 0; i < state.count && i < MAX_TRACE; i++) {
        char line[32];
        int len = std::snprintf(line, sizeof line, "%s\n", state.trace[i]);
        if (write(fd, line, static_cast<std::size_t>(len)) != len) break;
    }
    __real_close(fd);
}

// Counts the call; true when it is the one to fail.
bool hit(const char *name) {
    if (!state.ready) {
        state.ready = true;
        if (const char *at = std::getenv("QV_FAULT_AT")) state.at = std::atol(at);
        const char *e = std::getenv("QV_FAULT_ERRNO");
        state.errnum = !e || !*e || !std::strcmp(e, "EIO") ? EIO
                       : !std::strcmp(e, "ENOSPC")         ? ENOSPC
                       : !std::strcmp(e, "EINTR")          ? EINTR
                                                           : std::atoi(e);
        state.trace_path = std::getenv("QV_FAULT_TRACE");
        if (state.trace_path && *state.trace_path) std::atexit(write_trace);
    }
    if (state.count < MAX_TRACE) state.trace[state.count] = name;
    return ++state.count == state.at;
}

bool console(FILE *fp) {
    return fp == nullptr || fp == stdout || fp == stderr;
}

template <typename R>
R fail(R value) {
    errno = state.errnum;
    return value;
}

// A failed stream transfer also sets the stream's error indicator.
template <typename R>
R stream_fail(FILE *fp, R value) {
    fp->_flags |= _IO_ERR_SEEN;
    return fail(value);
}

} // namespace

// A call that fails before it does anything.
#define QV_WRAP(ret, name, trace_name, params, args, failed)                                       \
    ret __real_##name params;                                                                      \
    ret __wrap_##name params {                                                                     \
        return hit(trace_name) ? fail<ret>(failed) : __real_##name args;                           \
    }

// A stream transfer or flush; the console streams are passed on uncounted.
#define QV_WRAP_STREAM(ret, name, params, args, fp, failed)                                        \
    ret __real_##name params;                                                                      \
    ret __wrap_##name params {                                                                     \
        return console(fp) || !hit(#name) ? __real_##name args : stream_fail<ret>(fp, failed);     \
    }

extern "C" {

QV_WRAP(FILE *, fopen, "fopen", (const char *p, const char *m), (p, m), nullptr)
QV_WRAP(FILE *, fopen64, "fopen", (const char *p, const char *m), (p, m), nullptr)
QV_WRAP(FILE *, fdopen, "fdopen", (int fd, const char *m), (fd, m), nullptr)
QV_WRAP(int, fseek, "fseek", (FILE * fp, long off, int whence), (fp, off, whence), -1)
QV_WRAP(long, ftell, "ftell", (FILE * fp), (fp), -1L)
QV_WRAP(int, ftruncate, "ftruncate", (int fd, off_t size), (fd, size), -1)
QV_WRAP(int, stat, "stat", (const char *p, struct stat *st), (p, st), -1)
QV_WRAP(int, stat64, "stat", (const char *p, struct stat64 *st), (p, st), -1)
QV_WRAP(int, fstat, "fstat", (int fd, struct stat *st), (fd, st), -1)
QV_WRAP(int, fstat64, "fstat", (int fd, struct stat64 *st), (fd, st), -1)
QV_WRAP(int, rename, "rename", (const char *from, const char *to), (from, to), -1)
QV_WRAP(int, unlink, "unlink", (const char *p), (p), -1)
QV_WRAP(DIR *, opendir, "opendir", (const char *p), (p), nullptr)

QV_WRAP_STREAM(std::size_t, fread, (void *b, std::size_t s, std::size_t n, FILE *fp), (b, s, n, fp),
               fp, 0)
QV_WRAP_STREAM(std::size_t, fwrite, (const void *b, std::size_t s, std::size_t n, FILE *fp),
               (b, s, n, fp), fp, 0)
QV_WRAP_STREAM(int, fflush, (FILE * fp), (fp), fp, EOF)

// A failed close has still released the stream or descriptor.
int __real_fclose(FILE *fp);
int __wrap_fclose(FILE *fp) {
    if (console(fp) || !hit("fclose")) return __real_fclose(fp);
    __real_fclose(fp);
    return fail(EOF);
}

int __wrap_close(int fd) {
    if (!hit("close")) return __real_close(fd);
    __real_close(fd);
    return fail(-1);
}

// The mode argument is there only when a file may be created.
int __real_open64(const char *path, int flags, ...);
#define QV_WRAP_OPEN(name)                                                                         \
    int __wrap_##name(const char *path, int flags, ...) {                                          \
        mode_t mode = 0;                                                                           \
        if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {                          \
            va_list ap;                                                                            \
            va_start(ap, flags);                                                                   \
            mode = va_arg(ap, mode_t);                                                             \
            va_end(ap);                                                                            \
        }                                                                                          \
        return hit("open") ? fail(-1) : __real_##name(path, flags, mode);                          \
    }
QV_WRAP_OPEN(open)
QV_WRAP_OPEN(open64)
}
