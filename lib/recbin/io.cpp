// The I/O layer of the recorder-binary files: one buffered stream, the
// header at byte 0, 9-byte frames and 256-byte blocks from byte 256 on.
// Interrupted calls are repeated; every other failure is remembered as the
// failed operation and the saved errno.
//
// The reliability tests make any one of these C runtime calls fail by
// linking the program with the linker's --wrap for each of them
// (tests/fault), so the calls are made directly.
#include "qv5k_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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
        if (fp) std::clearerr(fp);
    }
}

// Pushes the buffered bytes to the file. 0, or -1 with errno set.
int flush(std::FILE *fp) {
    return retry_interrupted(
        fp, [fp] { return std::fflush(fp); }, [](int r) { return r != 0; });
}

// Moves n bytes with `call` (fread or fwrite of a byte count at an offset
// into the caller's buffer), going on after an interrupted call. The bytes
// moved: fewer than n only at the end of the file or on failure (errno set).
template <typename Call>
std::size_t transfer(std::FILE *fp, std::size_t n, Call call) {
    if (n == 0) return 0;
    std::size_t done = 0;
    return retry_interrupted(
        fp,
        [&] {
            done += call(done, n - done);
            return done;
        },
        [&](std::size_t d) { return d < n && !std::feof(fp); });
}

std::size_t read_bytes(std::FILE *fp, void *buffer, std::size_t n) {
    auto *p = static_cast<unsigned char *>(buffer);
    return transfer(fp, n,
                    [&](std::size_t at, std::size_t k) { return std::fread(p + at, 1, k, fp); });
}

std::size_t write_bytes(std::FILE *fp, const void *buffer, std::size_t n) {
    const auto *p = static_cast<const unsigned char *>(buffer);
    return transfer(fp, n,
                    [&](std::size_t at, std::size_t k) { return std::fwrite(p + at, 1, k, fp); });
}

// fopen(path, "w+b"), except that a file that is already empty is not cut
// again: on some file systems (ext4) cutting a file, even an empty one,
// makes its close push the whole new content to the disk at once instead
// of in the background, which for the converter's freshly made temporary
// file is pure waiting. Null with errno set on failure.
std::FILE *fopen_emptied(const char *path) {
    int fd = ::open(path, O_RDWR | O_CREAT, 0666);
    if (fd < 0) return nullptr;
    struct stat st;
    std::FILE *fp = nullptr;
    if (fstat(fd, &st) == 0 && (st.st_size == 0 || ::ftruncate(fd, 0) == 0)) fp = fdopen(fd, "w+b");
    if (!fp) {
        int e = errno;
        ::close(fd);
        errno = e;
    }
    return fp;
}

int fail(qv5k_io *io, std::int32_t op, int errnum) {
    io->op = op;
    io->errnum = errnum;
    return -1;
}

// Streams open for reading and writing need a positioning call between a
// read and a write. A zero move gives it, made only where the direction
// changes: a move after every transfer would also push every block to the
// file on its own (a system call per 256 bytes); the buffered bytes reach
// the file with the next move, at the latest at close, which reports a
// failure to write them.
enum : std::int32_t { LAST_NONE = 0, LAST_READ = 1, LAST_WRITE = 2 };

bool is_update(const qv5k_io *io) {
    return io->mode == QV5K_MODE_CREATE || io->mode == QV5K_MODE_UPDATE;
}

// Pushes bytes written since the last positioning to the file before the
// stream moves (a move would push them itself), so that a failure to store
// them is told as the write failure it is.
int settle(qv5k_io *io) {
    if (!(io->last & LAST_WRITE)) return 0;
    return flush(io->fp) == 0 ? 0 : fail(io, QV5K_IO_WRITE, errno);
}

// Readies the stream for a transfer in direction `dir`.
int turn_to(qv5k_io *io, std::int32_t dir) {
    if (!is_update(io)) return 0;
    if (io->last != LAST_NONE && io->last != dir) {
        if (settle(io) != 0) return -1;
        if (std::fseek(io->fp, 0, SEEK_CUR) != 0) return fail(io, QV5K_IO_SEEK, errno);
    }
    io->last = dir;
    return 0;
}

// Reads up to `count` items of `size` bytes. The number of whole items read
// (short only at the end of the file); a trailing piece of an item is given
// back to the stream so that the position stays on an item boundary.
long read_items(qv5k_io *io, void *buffer, std::size_t size, std::size_t count) {
    if (count == 0) return 0;
    if (turn_to(io, LAST_READ) != 0) return -1;
    std::size_t need;
    if (__builtin_mul_overflow(size, count, &need)) return fail(io, QV5K_IO_READ, EOVERFLOW);
    std::size_t got = read_bytes(io->fp, buffer, need);
    if (got < need && !std::feof(io->fp)) return fail(io, QV5K_IO_READ, errno);
    std::size_t frag = got % size;
    if (frag) {
        if (std::fseek(io->fp, -static_cast<long>(frag), SEEK_CUR) != 0)
            return fail(io, QV5K_IO_SEEK, errno);
        io->last = LAST_NONE;
    }
    return static_cast<long>(got / size);
}

long write_items(qv5k_io *io, const void *buffer, std::size_t size, std::size_t count) {
    if (count == 0) return 0;
    if (turn_to(io, LAST_WRITE) != 0) return -1;
    std::size_t need;
    if (__builtin_mul_overflow(size, count, &need)) return fail(io, QV5K_IO_WRITE, EOVERFLOW);
    if (write_bytes(io->fp, buffer, need) < need) return fail(io, QV5K_IO_WRITE, errno);
    return static_cast<long>(count);
}

// Moves to item `index` of `unit` bytes counted from the first data byte
// (whence 0), the current position (1) or the end of the last whole item
// (2). Positions are computed in long with overflow checks; a target before
// the first data byte is refused and the stream left where it was. The new
// item index, or -1.
long seek_items(qv5k_io *io, long unit, long index, int whence) {
    if (settle(io) != 0) return -1;
    long cur = std::ftell(io->fp);
    if (cur < 0) return fail(io, QV5K_IO_TELL, errno);
    long delta;
    if (__builtin_mul_overflow(unit, index, &delta)) return fail(io, QV5K_IO_SEEK, EOVERFLOW);
    long base;
    switch (whence) {
    case 0: base = QV5K_DATA_START; break;
    case 1: base = cur; break;
    case 2: {
        if (std::fseek(io->fp, 0, SEEK_END) != 0) return fail(io, QV5K_IO_SEEK, errno);
        long end = std::ftell(io->fp);
        if (end < 0) {
            int e = errno;
            std::fseek(io->fp, cur, SEEK_SET);
            return fail(io, QV5K_IO_TELL, e);
        }
        // A trailing piece of an item does not count: the end is the end of
        // the last whole item, so writes appended there stay aligned.
        base = end < QV5K_DATA_START ? end : end - (end - QV5K_DATA_START) % unit;
        break;
    }
    default: return fail(io, QV5K_IO_SEEK, EINVAL);
    }
    long target;
    int err = 0;
    if (__builtin_add_overflow(base, delta, &target))
        err = EOVERFLOW;
    else if (target < QV5K_DATA_START)
        err = EINVAL;
    if (err) {
        if (whence == 2) std::fseek(io->fp, cur, SEEK_SET);
        return fail(io, QV5K_IO_SEEK, err);
    }
    if (std::fseek(io->fp, target, SEEK_SET) != 0) return fail(io, QV5K_IO_SEEK, errno);
    io->last = LAST_NONE;
    return (target - QV5K_DATA_START) / unit;
}

const char *const mode_strings[] = {nullptr, "w+b", "r+b", "rb"};

} // namespace

int qv5k_io_open(qv5k_io *io, const char *path, int mode) {
    *io = qv5k_io{};
    if (mode < QV5K_MODE_CREATE || mode > QV5K_MODE_READ) return fail(io, QV5K_IO_MODE, 0);
    std::FILE *fp = retry_interrupted(
        nullptr,
        [&] {
            return mode == QV5K_MODE_CREATE ? fopen_emptied(path)
                                            : std::fopen(path, mode_strings[mode]);
        },
        [](std::FILE *f) { return f == nullptr; });
    if (!fp) return fail(io, QV5K_IO_OPEN, errno);
    if (std::fseek(fp, QV5K_DATA_START, SEEK_SET) != 0) {
        int e = errno;
        std::fclose(fp);
        return fail(io, QV5K_IO_SEEK, e);
    }
    io->fp = fp;
    io->mode = mode;
    io->block = 1;
    return 0;
}

int qv5k_io_close(qv5k_io *io) {
    if (!io->fp) return fail(io, QV5K_IO_CLOSE, EBADF);
    // The stream is flushed first so that an interrupted write can be
    // repeated: fclose itself releases the stream even when it fails, so it
    // is called exactly once.
    int rc = flush(io->fp);
    int e = errno;
    std::FILE *fp = io->fp;
    io->fp = nullptr;
    if (std::fclose(fp) != 0 && errno != EINTR && rc == 0) {
        e = errno;
        rc = -1;
    }
    return rc == 0 ? 0 : fail(io, QV5K_IO_CLOSE, e);
}

namespace {

// Runs a header transfer at byte 0 and moves back to where the stream stood.
template <typename Transfer>
int header_transfer(qv5k_io *io, Transfer transfer) {
    if (settle(io) != 0) return -1;
    long pos = std::ftell(io->fp);
    if (pos < 0) return fail(io, QV5K_IO_TELL, errno);
    if (std::fseek(io->fp, 0, SEEK_SET) != 0) return fail(io, QV5K_IO_SEEK, errno);
    int rc = transfer();
    if (std::fseek(io->fp, pos, SEEK_SET) != 0) {
        // The stream may have moved in either direction: the next transfer
        // positions it first.
        io->last = LAST_READ | LAST_WRITE;
        // Keep the transfer's own failure when there was one.
        if (rc == 0) return fail(io, QV5K_IO_SEEK, errno);
        return rc;
    }
    io->last = LAST_NONE;
    return rc;
}

} // namespace

int qv5k_io_read_header(qv5k_io *io, qv5k_header *header) {
    if (!io->fp) return fail(io, QV5K_IO_READ, EBADF);
    return header_transfer(io, [&]() -> int {
        if (read_bytes(io->fp, header, QV5K_HEADER_SIZE) == QV5K_HEADER_SIZE) return 0;
        if (std::feof(io->fp)) return fail(io, QV5K_IO_EOF, 0);
        return fail(io, QV5K_IO_READ, errno);
    });
}

int qv5k_io_write_header(qv5k_io *io, const qv5k_header *header) {
    if (!io->fp) return fail(io, QV5K_IO_WRITE, EBADF);
    return header_transfer(io, [&]() -> int {
        if (write_bytes(io->fp, header, QV5K_HEADER_SIZE) == QV5K_HEADER_SIZE) return 0;
        return fail(io, QV5K_IO_WRITE, errno);
    });
}

long qv5k_io_seek_sample(qv5k_io *io, long index, int whence) {
    if (!io->fp) return fail(io, QV5K_IO_SEEK, EBADF);
    return seek_items(io, static_cast<long>(QV5K_FRAME_SIZE), index, whence);
}

long qv5k_io_read_sample(qv5k_io *io, void *buffer, std::size_t count) {
    if (!io->fp) return fail(io, QV5K_IO_READ, EBADF);
    return read_items(io, buffer, QV5K_FRAME_SIZE, count);
}

long qv5k_io_write_sample(qv5k_io *io, const void *buffer, std::size_t count) {
    if (!io->fp) return fail(io, QV5K_IO_WRITE, EBADF);
    return write_items(io, buffer, QV5K_FRAME_SIZE, count);
}

long qv5k_io_seek_datablock(qv5k_io *io, long index, int whence) {
    if (!io->fp) return fail(io, QV5K_IO_SEEK, EBADF);
    long r = seek_items(io, static_cast<long>(QV5K_BLOCK_SIZE), index, whence);
    if (r >= 0) io->block = r + 1;
    return r;
}

long qv5k_io_read_datablock(qv5k_io *io, void *buffer, std::size_t count) {
    if (!io->fp) return fail(io, QV5K_IO_READ, EBADF);
    long r = read_items(io, buffer, QV5K_BLOCK_SIZE, count);
    if (r > 0) io->block += r;
    return r;
}

long qv5k_io_write_datablock(qv5k_io *io, const void *buffer, std::size_t count) {
    if (!io->fp) return fail(io, QV5K_IO_WRITE, EBADF);
    long r = write_items(io, buffer, QV5K_BLOCK_SIZE, count);
    if (r > 0) io->block += r;
    return r;
}

const char *qv5k_io_strerror(qv5k_io *io) {
    thread_local char buf[64];
    const std::int32_t op = io->op;
    const bool known = op >= 0 && static_cast<std::size_t>(op) < std::size(QV5K_IO_TEXTS);
    const bool sys = op >= QV5K_IO_OPEN && op <= QV5K_IO_TELL;
    std::snprintf(buf, sizeof buf, "%s%s", known ? QV5K_IO_TEXTS[op] : "Unknown error",
                  sys ? std::strerror(io->errnum) : "");
    io->op = QV5K_IO_NONE;
    io->errnum = 0;
    return buf;
}
