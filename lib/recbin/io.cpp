// The I/O layer of the recorder-binary files: one buffered stream, the
// header at byte 0, 9-byte frames and 256-byte blocks from byte 256 on.
// Interrupted calls are repeated; every other failure is remembered as the
// failed operation and the saved errno.
//
// Every stream call goes through one of the sys_ functions below, one per
// kind of call.
#include "qv5k_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::FILE *sys_fopen(const char *path, const char *mode) {
    return std::fopen(path, mode);
}
// fopen(path, "w+b"), except that a file that is already empty is not cut
// again: on some file systems (ext4) cutting a file, even an empty one,
// makes its close push the whole new content to the disk at once instead
// of in the background, which for the converter's freshly made temporary
// file is pure waiting. Null with errno set on failure.
std::FILE *sys_fopen_empty(const char *path) {
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
int sys_fclose(std::FILE *fp) {
    return std::fclose(fp);
}
int sys_fflush(std::FILE *fp) {
    return std::fflush(fp);
}
std::size_t sys_fread(void *buf, std::size_t n, std::FILE *fp) {
    return std::fread(buf, 1, n, fp);
}
std::size_t sys_fwrite(const void *buf, std::size_t n, std::FILE *fp) {
    return std::fwrite(buf, 1, n, fp);
}
int sys_fseek(std::FILE *fp, long off, int whence) {
    return std::fseek(fp, off, whence);
}
long sys_ftell(std::FILE *fp) {
    return std::ftell(fp);
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
    while (sys_fflush(io->fp) != 0) {
        if (errno != EINTR) return fail(io, QV5K_IO_WRITE, errno);
        std::clearerr(io->fp);
    }
    return 0;
}

// Readies the stream for a transfer in direction `dir`.
int turn_to(qv5k_io *io, std::int32_t dir) {
    if (!is_update(io)) return 0;
    if (io->last != LAST_NONE && io->last != dir) {
        if (settle(io) != 0) return -1;
        if (sys_fseek(io->fp, 0, SEEK_CUR) != 0) return fail(io, QV5K_IO_SEEK, errno);
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
    auto *p = static_cast<unsigned char *>(buffer);
    std::size_t got = 0;
    while (got < need) {
        std::size_t n = sys_fread(p + got, need - got, io->fp);
        got += n;
        if (got == need) break;
        if (std::feof(io->fp)) break;
        if (std::ferror(io->fp) && errno == EINTR) {
            std::clearerr(io->fp);
            continue;
        }
        return fail(io, QV5K_IO_READ, errno);
    }
    std::size_t frag = got % size;
    if (frag) {
        if (sys_fseek(io->fp, -static_cast<long>(frag), SEEK_CUR) != 0)
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
    const auto *p = static_cast<const unsigned char *>(buffer);
    std::size_t put = 0;
    while (put < need) {
        std::size_t n = sys_fwrite(p + put, need - put, io->fp);
        put += n;
        if (put == need) break;
        if (std::ferror(io->fp) && errno == EINTR) {
            std::clearerr(io->fp);
            continue;
        }
        return fail(io, QV5K_IO_WRITE, errno);
    }
    return static_cast<long>(count);
}

// Moves to item `index` of `unit` bytes counted from the first data byte
// (whence 0), the current position (1) or the end of the last whole item
// (2). Positions are computed in long with overflow checks; a target before
// the first data byte is refused and the stream left where it was. The new
// item index, or -1.
long seek_items(qv5k_io *io, long unit, long index, int whence) {
    if (settle(io) != 0) return -1;
    long cur = sys_ftell(io->fp);
    if (cur < 0) return fail(io, QV5K_IO_TELL, errno);
    long delta;
    if (__builtin_mul_overflow(unit, index, &delta)) return fail(io, QV5K_IO_SEEK, EOVERFLOW);
    long base;
    switch (whence) {
    case 0: base = QV5K_DATA_START; break;
    case 1: base = cur; break;
    case 2: {
        if (sys_fseek(io->fp, 0, SEEK_END) != 0) return fail(io, QV5K_IO_SEEK, errno);
        long end = sys_ftell(io->fp);
        if (end < 0) {
            int e = errno;
            sys_fseek(io->fp, cur, SEEK_SET);
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
        if (whence == 2) sys_fseek(io->fp, cur, SEEK_SET);
        return fail(io, QV5K_IO_SEEK, err);
    }
    if (sys_fseek(io->fp, target, SEEK_SET) != 0) return fail(io, QV5K_IO_SEEK, errno);
    io->last = LAST_NONE;
    return (target - QV5K_DATA_START) / unit;
}

const char *const mode_strings[] = {nullptr, "w+b", "r+b", "rb"};

} // namespace

int qv5k_io_open(qv5k_io *io, const char *path, int mode) {
    *io = qv5k_io{};
    if (mode < QV5K_MODE_CREATE || mode > QV5K_MODE_READ) return fail(io, QV5K_IO_MODE, 0);
    std::FILE *fp;
    do {
        errno = 0;
        fp = mode == QV5K_MODE_CREATE ? sys_fopen_empty(path) : sys_fopen(path, mode_strings[mode]);
    } while (!fp && errno == EINTR);
    if (!fp) return fail(io, QV5K_IO_OPEN, errno);
    if (sys_fseek(fp, QV5K_DATA_START, SEEK_SET) != 0) {
        int e = errno;
        sys_fclose(fp);
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
    int rc = 0;
    int e = 0;
    while (sys_fflush(io->fp) != 0) {
        if (errno == EINTR) {
            std::clearerr(io->fp);
            continue;
        }
        e = errno;
        rc = -1;
        break;
    }
    std::FILE *fp = io->fp;
    io->fp = nullptr;
    if (sys_fclose(fp) != 0 && errno != EINTR && rc == 0) {
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
    long pos = sys_ftell(io->fp);
    if (pos < 0) return fail(io, QV5K_IO_TELL, errno);
    if (sys_fseek(io->fp, 0, SEEK_SET) != 0) return fail(io, QV5K_IO_SEEK, errno);
    int rc = transfer();
    if (sys_fseek(io->fp, pos, SEEK_SET) != 0) {
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
        std::uint8_t *p = qv5k_header_bytes(header);
        std::size_t got = 0;
        while (got < QV5K_HEADER_SIZE) {
            got += sys_fread(p + got, QV5K_HEADER_SIZE - got, io->fp);
            if (got == QV5K_HEADER_SIZE) break;
            if (std::feof(io->fp)) return fail(io, QV5K_IO_EOF, 0);
            if (std::ferror(io->fp) && errno == EINTR) {
                std::clearerr(io->fp);
                continue;
            }
            return fail(io, QV5K_IO_READ, errno);
        }
        return 0;
    });
}

int qv5k_io_write_header(qv5k_io *io, const qv5k_header *header) {
    if (!io->fp) return fail(io, QV5K_IO_WRITE, EBADF);
    return header_transfer(io, [&]() -> int {
        const std::uint8_t *p = qv5k_header_bytes(header);
        std::size_t put = 0;
        while (put < QV5K_HEADER_SIZE) {
            put += sys_fwrite(p + put, QV5K_HEADER_SIZE - put, io->fp);
            if (put == QV5K_HEADER_SIZE) break;
            if (std::ferror(io->fp) && errno == EINTR) {
                std::clearerr(io->fp);
                continue;
            }
            return fail(io, QV5K_IO_WRITE, errno);
        }
        return 0;
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
    const char *prefix = "";
    const char *text = "Unknown error";
    switch (io->op) {
    case QV5K_IO_NONE: text = "None"; break;
    case QV5K_IO_OPEN: prefix = "On open(): "; break;
    case QV5K_IO_CLOSE: prefix = "On close(): "; break;
    case QV5K_IO_READ: prefix = "On read(): "; break;
    case QV5K_IO_WRITE: prefix = "On write(): "; break;
    case QV5K_IO_SEEK: prefix = "On seek(): "; break;
    case QV5K_IO_TELL: prefix = "On tell(): "; break;
    case QV5K_IO_MODE: text = "Invalid file mode"; break;
    case QV5K_IO_EOF: text = "End of file reached"; break;
    default: break;
    }
    if (*prefix) text = std::strerror(io->errnum);
    std::snprintf(buf, sizeof buf, "%s%s", prefix, text);
    io->op = QV5K_IO_NONE;
    io->errnum = 0;
    return buf;
}
