// Byte-level access to a raw file over one buffered stream.
//
// The reliability tests make any one of these C runtime calls fail by
// linking the program with the linker's --wrap for each of them
// (tests/fault), so the calls are made directly.
#include "qvraw_internal.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes `attempt` again as long as it fails with EINTR; `failed` tells a
// failed result. errno is cleared before each attempt and the stream's error
// flag after an interrupted one. The last result, errno then telling the
// cause of a failure.
template <typename Attempt, typename Failed>
auto retry_interrupted(std::FILE *fp, Attempt attempt, Failed failed) {
    for (;;) {
        errno = 0;
        auto r = attempt();
        if (!failed(r) || errno != EINTR) return r;
        if (fp != nullptr) std::clearerr(fp);
    }
}

bool nonzero(int r) {
    return r != 0;
}

// Pushes the buffered bytes to the file (the stream keeps what it could not
// write). 0, or -1 with errno set.
int flush(std::FILE *fp) {
    return retry_interrupted(
        fp, [fp] { return std::fflush(fp); }, nonzero);
}

// Moves `count` items of `size` bytes with `call` (fread or fwrite of a
// byte count at an offset into the caller's buffer), going on after an
// interrupted call. The bytes moved: fewer than all only at the end of the
// file or on failure (errno set).
template <typename Call>
std::size_t transfer(std::FILE *fp, std::size_t size, std::size_t count, Call call) {
    const std::size_t n = size * count;
    std::size_t done = 0;
    return retry_interrupted(
        fp,
        [&] {
            done += call(done, n - done);
            return done;
        },
        [&](std::size_t d) { return d < n && !std::feof(fp); });
}

// fopen(path, mode) for the modes that create or empty the file ("wb",
// "w+b"), except that a file that is already empty is not cut again: on
// some file systems (ext4) cutting a file, even an empty one, makes its
// close push the whole new content to the disk at once instead of in the
// background, which for the converter's freshly made temporary file is
// pure waiting. Null with errno set on failure.
std::FILE *fopen_emptied(const char *path, const char *mode) {
    int fd = ::open(path, (std::strchr(mode, '+') ? O_RDWR : O_WRONLY) | O_CREAT, 0666);
    if (fd < 0) return nullptr;
    struct stat st;
    std::FILE *fp = nullptr;
    if (fstat(fd, &st) == 0 && (st.st_size == 0 || ::ftruncate(fd, 0) == 0)) fp = fdopen(fd, mode);
    if (fp == nullptr) {
        int e = errno;
        ::close(fd);
        errno = e;
    }
    return fp;
}

// Stores a failure and yields the -1 result. A runtime call that fails
// without setting errno is reported as a plain I/O error rather than as
// "Success".
int fail(qvraw_io *io, std::uint32_t op, int errnum) {
    io->op = op;
    io->errnum = errnum != 0 ? errnum : EIO;
    return -1;
}

// Largest item count whose byte total still fits in a file position, so
// that neither size * count nor the returned count can overflow.
bool too_many(std::size_t size, std::size_t count) {
    return count > static_cast<std::size_t>(LONG_MAX) / size;
}

} // namespace

qvraw_io *qvraw_io_new() {
    return new (std::nothrow) qvraw_io{};
}

void qvraw_io_free(qvraw_io *io) {
    delete io;
}

int qvraw_io_open(qvraw_io *io, const char *path, const char *mode) {
    *io = qvraw_io{};
    io->flush_each = std::strchr(mode, '+') != nullptr ? 1 : 0;
    io->fp = retry_interrupted(
        nullptr,
        [&] { return mode[0] == 'w' ? fopen_emptied(path, mode) : std::fopen(path, mode); },
        [](std::FILE *fp) { return fp == nullptr; });
    if (io->fp == nullptr) return fail(io, QVRAW_IO_OP_OPEN, errno);
    // Frames move in whole blocks already: the stream's own buffer would
    // only copy them once more and split them into more system calls.
    std::setvbuf(io->fp, nullptr, _IONBF, 0);
    return 0;
}

// fclose releases the stream whether it succeeds or not (an interrupted
// close included), so it is never called twice on the same stream. The
// pending bytes are flushed first, where an interruption can be repeated;
// after that an interrupted close has nothing left to lose.
int qvraw_io_close(qvraw_io *io) {
    std::FILE *fp = io->fp;
    if (fp == nullptr) return 0;
    io->fp = nullptr;
    int flushed = flush(fp);
    int flush_errno = errno;
    errno = 0;
    if (std::fclose(fp) != 0 && errno != EINTR) return fail(io, QVRAW_IO_OP_CLOSE, errno);
    if (flushed != 0) return fail(io, QVRAW_IO_OP_CLOSE, flush_errno);
    return 0;
}

long qvraw_io_read(qvraw_io *io, void *buffer, std::size_t size, std::size_t count) {
    std::FILE *fp = io->fp;
    if (fp == nullptr) return fail(io, QVRAW_IO_OP_READ, EBADF);
    std::size_t total = 0;
    if (size != 0 && count != 0) {
        if (too_many(size, count)) return fail(io, QVRAW_IO_OP_READ, EOVERFLOW);
        auto *p = static_cast<unsigned char *>(buffer);
        std::size_t got = transfer(fp, size, count, [&](std::size_t at, std::size_t n) {
            return std::fread(p + at, 1, n, fp);
        });
        // A short read at the end is no error; a trailing piece of an item
        // is not counted.
        if (got < size * count && !std::feof(fp)) return fail(io, QVRAW_IO_OP_READ, errno);
        total = got / size;
    }
    if (io->flush_each && std::fflush(fp) != 0) return fail(io, QVRAW_IO_OP_READ, errno);
    return static_cast<long>(total);
}

long qvraw_io_write(qvraw_io *io, const void *buffer, std::size_t size, std::size_t count) {
    std::FILE *fp = io->fp;
    if (fp == nullptr) return fail(io, QVRAW_IO_OP_WRITE, EBADF);
    if (size != 0 && count != 0) {
        if (too_many(size, count)) return fail(io, QVRAW_IO_OP_WRITE, EOVERFLOW);
        const auto *p = static_cast<const unsigned char *>(buffer);
        std::size_t put = transfer(fp, size, count, [&](std::size_t at, std::size_t n) {
            return std::fwrite(p + at, 1, n, fp);
        });
        if (put < size * count) return fail(io, QVRAW_IO_OP_WRITE, errno);
    }
    // A flush that fails means the items did not reach the file.
    if (io->flush_each && std::fflush(fp) != 0) return fail(io, QVRAW_IO_OP_WRITE, errno);
    return size != 0 ? static_cast<long>(count) : 0;
}

int qvraw_io_seek(qvraw_io *io, long offset, int whence) {
    if (io->fp == nullptr) return fail(io, QVRAW_IO_OP_SEEK, EBADF);
    errno = 0;
    if (std::fseek(io->fp, offset, whence) != 0) return fail(io, QVRAW_IO_OP_SEEK, errno);
    return 0;
}

long qvraw_io_tell(qvraw_io *io) {
    if (io->fp == nullptr) return fail(io, QVRAW_IO_OP_TELL, EBADF);
    errno = 0;
    long pos = std::ftell(io->fp);
    if (pos < 0) return fail(io, QVRAW_IO_OP_TELL, errno);
    return pos;
}

int qvraw_io_truncate(qvraw_io *io, long size) {
    std::FILE *fp = io->fp;
    if (fp == nullptr) return fail(io, QVRAW_IO_OP_TRUNCATE, EBADF);
    if (size < 0) return fail(io, QVRAW_IO_OP_TRUNCATE, EINVAL);
    // Buffered bytes must reach the file before its length changes, or a
    // later flush would write them back past the new end.
    errno = 0;
    if (std::fflush(fp) != 0) return fail(io, QVRAW_IO_OP_TRUNCATE, errno);
    long pos = qvraw_io_tell(io);
    if (pos < 0) return -1;
    if (pos > size && qvraw_io_seek(io, size, SEEK_SET) != 0) return -1;
    const int fd = fileno(fp);
    if (retry_interrupted(
            nullptr, [&] { return ::ftruncate(fd, size); }, nonzero) != 0)
        return fail(io, QVRAW_IO_OP_TRUNCATE, errno);
    return 0;
}

void qvraw_io_set_error(qvraw_io *io, std::uint32_t op, int errnum) {
    fail(io, op, errnum);
}

const char *qvraw_io_strerr(qvraw_io *io) {
    thread_local char buf[64];
    std::uint32_t op = io != nullptr ? io->op : QVRAW_IO_OP_NONE;
    int errnum = io != nullptr ? io->errnum : 0;
    const char *text = op < std::size(QVRAW_IO_TEXTS) ? QVRAW_IO_TEXTS[op] : "Unknown";
    std::snprintf(buf, sizeof buf, "%s %s", text, std::strerror(errnum));
    if (io != nullptr) {
        io->op = QVRAW_IO_OP_NONE;
        io->errnum = 0;
    }
    return buf;
}
