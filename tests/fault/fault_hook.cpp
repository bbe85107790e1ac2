// Fault injection for qvconv_fault: the program's own sources linked with
// -Wl,--wrap=<call> for every file call they make, so that each such call
// lands here first. The calls are counted in the order they are made; the
// one whose number is QV_FAULT_AT fails with the errno number
// QV_FAULT_ERRNO (EIO by default) exactly as the runtime reports a failure, and every other call is
// passed on unchanged. The failure is transient: the next call behaves, so an interrupted call that
// is repeated succeeds.
//
// QV_FAULT_TRACE names a file that receives the name of every counted call
// (without a "64" suffix), one per line, in call order. The console streams are not
// counted: a fault there would only test the message printing.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int __real_open(const char *path, int flags, ...);

namespace {

struct fault_state {
    bool ready = false;
    long at = 0; // 1-based number of the call to fail; 0: none
    int errnum = EIO;
    long count = 0;
    int trace = -1;
} state;

// Counts the call and traces it; true when it is the one to fail.
bool hit(std::string_view name) {
    if (!state.ready) {
        state.ready = true;
        if (const char *at = std::getenv("QV_FAULT_AT")) state.at = std::atol(at);
        if (const char *e = std::getenv("QV_FAULT_ERRNO"); e && *e) state.errnum = std::atoi(e);
        if (const char *t = std::getenv("QV_FAULT_TRACE"); t && *t)
            state.trace = __real_open(t, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_APPEND, 0644);
    }
    if (name.ends_with("64")) name.remove_suffix(2);
    if (state.trace >= 0 &&
        (write(state.trace, name.data(), name.size()) < 0 || write(state.trace, "\n", 1) < 0))
        state.trace = -1;
    return ++state.count == state.at;
}

bool console(FILE *fp) {
    return fp == nullptr || fp == stdout || fp == stderr;
}

} // namespace

// The call fails when it is the counted one and `skip` is false; `before`
// runs first (a failed close has still released the stream or descriptor, a
// failed stream transfer sets the stream's error indicator).
#define QV_WRAP(ret, name, params, args, skip, before, failed)                                     \
    ret __real_##name params;                                                                      \
    ret __wrap_##name params {                                                                     \
        if ((skip) || !hit(#name)) return __real_##name args;                                      \
        before;                                                                                    \
        errno = state.errnum;                                                                      \
        return failed;                                                                             \
    }
// A call that fails before it does anything.
#define QV_PLAIN(ret, name, params, args, failed)                                                  \
    QV_WRAP(ret, name, params, args, 0, (void)0, failed)
// A stream call; the console streams are passed on uncounted.
#define QV_STREAM(ret, name, params, args, failed)                                                 \
    QV_WRAP(ret, name, params, args, console(fp), fp->_flags |= _IO_ERR_SEEN, failed)

extern "C" {

QV_PLAIN(FILE *, fopen, (const char *p, const char *m), (p, m), nullptr)
QV_PLAIN(FILE *, fopen64, (const char *p, const char *m), (p, m), nullptr)
QV_PLAIN(FILE *, fdopen, (int fd, const char *m), (fd, m), nullptr)
QV_PLAIN(int, fseek, (FILE * fp, long off, int whence), (fp, off, whence), -1)
QV_PLAIN(long, ftell, (FILE * fp), (fp), -1L)
QV_PLAIN(int, ftruncate, (int fd, off_t size), (fd, size), -1)
QV_PLAIN(int, ftruncate64, (int fd, off64_t size), (fd, size), -1)
QV_PLAIN(int, stat, (const char *p, struct stat *st), (p, st), -1)
QV_PLAIN(int, stat64, (const char *p, struct stat64 *st), (p, st), -1)
QV_PLAIN(int, fstat, (int fd, struct stat *st), (fd, st), -1)
QV_PLAIN(int, fstat64, (int fd, struct stat64 *st), (fd, st), -1)
QV_PLAIN(int, lstat, (const char *p, struct stat *st), (p, st), -1)
QV_PLAIN(int, lstat64, (const char *p, struct stat64 *st), (p, st), -1)
QV_PLAIN(int, rename, (const char *from, const char *to), (from, to), -1)
QV_PLAIN(int, renameat2,
         (int from_dir, const char *from, int to_dir, const char *to, unsigned flags),
         (from_dir, from, to_dir, to, flags), -1)
QV_PLAIN(int, link, (const char *from, const char *to), (from, to), -1)
QV_PLAIN(int, unlink, (const char *p), (p), -1)
QV_PLAIN(DIR *, opendir, (const char *p), (p), nullptr)
QV_STREAM(std::size_t, fread, (void *b, std::size_t s, std::size_t n, FILE *fp), (b, s, n, fp), 0)
QV_STREAM(std::size_t, fwrite, (const void *b, std::size_t s, std::size_t n, FILE *fp),
          (b, s, n, fp), 0)
QV_STREAM(int, fflush, (FILE * fp), (fp), EOF)
QV_WRAP(int, fclose, (FILE * fp), (fp), console(fp), __real_fclose(fp), EOF)
QV_WRAP(int, close, (int fd), (fd), 0, __real_close(fd), -1)

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
        if (!hit(#name)) return __real_##name(path, flags, mode);                                  \
        errno = state.errnum;                                                                      \
        return -1;                                                                                 \
    }
QV_WRAP_OPEN(open)
QV_WRAP_OPEN(open64)
}
