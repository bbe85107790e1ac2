// Sizes of large records must be seen in the 32-bit build too.
#define _FILE_OFFSET_BITS 64

#include "convert.h"

#include <array>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "log.h"
#include "qvfmt.h"
#include "qvraw.h"
#include "utils.h"

thread_local int convert_header_only = 0;
thread_local int repair_header = 0;
thread_local int unlink_input_file = 0;
thread_local int testing_mode = 0;
thread_local int process_subdirectories = 0;

thread_local std::uint32_t files_converted = 0;
thread_local std::uint32_t files_successfully_converted = 0;
thread_local std::uint32_t files_tested = 0;
thread_local std::uint32_t files_successfully_tested = 0;

namespace {

// --- Header repair ----------------------------------------------------------
//
// The frame count, each channel's peak and offset (mean) and the peak of the
// vector sum are recomputed while the samples are copied; values further
// than the tolerance from the header's are replaced and the header written
// once more.

constexpr double REPAIR_TOLERANCE = 0.0001;

struct repair_stats {
    double sum[QVFMT_MAX_CHANNELS];
    double peak[QVFMT_MAX_CHANNELS];
    std::size_t frames;
    double maxsq;
};

void repair_gather(repair_stats &s, const double *block, std::size_t frames, std::size_t nchans) {
    for (std::size_t f = 0; f < frames; f++) {
        const double *x = block + f * nchans;
        double sq = 0;
        for (std::size_t c = 0; c < nchans; c++) {
            double a = std::fabs(x[c]);
            if (a > s.peak[c]) // NaN never passes
                s.peak[c] = a;
            s.sum[c] += x[c];
            sq += x[c] * x[c];
        }
        if (sq > s.maxsq) s.maxsq = sq;
    }
    s.frames += frames;
}

// The vector-sum peak in single precision in both builds. The volatile
// store rounds away any extended precision the 32-bit FPU may carry.
double single_precision_root(double maxsq) {
    volatile float r = std::sqrt(static_cast<float>(maxsq));
    return static_cast<double>(r);
}

// Differs beyond the tolerance, or is not a number.
bool is_off(double a, double b) {
    double d = std::fabs(a - b);
    return !(d <= REPAIR_TOLERANCE);
}

// 0, or -1 when the repaired header could not be written: the output may
// then be left half rewritten (the text header moves the samples when its
// length changes), so it must not pass for a result.
int repair_apply(const repair_stats &s, qvraw_header &h, std::size_t nchans, qvfmt_handle *out,
                 const char *tmp) {
    double vsum = single_precision_root(s.maxsq);
    qvraw_header before = h;

    if (h.nsamples != s.frames) {
        log_trace_file("    Repairing samples count: %u -> %zu\n", h.nsamples, s.frames);
        h.nsamples = static_cast<std::uint32_t>(s.frames);
    }
    if (is_off(h.vsum, vsum)) {
        log_trace_file("    Repairing VSUM: %lf -> %lf\n", h.vsum, vsum);
        h.vsum = vsum;
    }
    for (std::size_t c = 0; c < nchans; c++) {
        if (is_off(h.peak[c], s.peak[c])) {
            log_trace_file("    Repairing peak[%zu]: %lf -> %lf\n", c, h.peak[c], s.peak[c]);
            h.peak[c] = s.peak[c];
        }
        // A record without frames has no mean: its offsets stay as they are.
        if (s.frames == 0) continue;
        double offset = s.sum[c] / static_cast<double>(s.frames);
        if (is_off(h.offset[c], offset)) {
            log_trace_file("    Repairing offset[%zu]: %lf -> %lf\n", c, h.offset[c], offset);
            h.offset[c] = offset;
        }
    }
    if (std::memcmp(&before, &h, sizeof h) == 0) return 0;
    log_trace_file("    Writing header\n");
    if (qvfmt_write_header(out, &h) != 0) {
        log_err("Failed to write header while repairing %s: %s\n", tmp, qvfmt_strerr(out));
        return -1;
    }
    return 0;
}

// Copies the samples block by block; with -r gathers the statistics and
// repairs the header at the end. 0 or -1 (the message printed).
int copy_samples(qvfmt_handle *in_h, qvfmt_handle *out_h, qvraw_header &header, const char *in,
                 const char *tmp) {
    std::size_t nchans = qvraw_header_get_nchans(&header);
    std::size_t bytes = nchans * QVFMT_BLOCK_FRAMES * sizeof(double);
    std::unique_ptr<double[]> block(new (std::nothrow) double[nchans * QVFMT_BLOCK_FRAMES]);
    if (!block) {
        log_err("Failed to allocate %zu bytes of memory\n", bytes);
        return -1;
    }
    repair_stats stats{};
    for (;;) {
        long nread = qvfmt_read_data(in_h, block.get(), QVFMT_BLOCK_FRAMES, nchans);
        log_trace_file("    Read %ld samples\n", nread);
        if (nread < 0) {
            log_err("Failed to read data from %s: %s\n", in, qvfmt_strerr(in_h));
            return -1;
        }
        if (nread == 0) break;
        long nwritten =
            qvfmt_write_data(out_h, block.get(), static_cast<std::size_t>(nread), nchans);
        log_trace_file("    Write %ld samples\n", nwritten);
        if (nwritten != nread) {
            log_err("Failed to write data to %s: %s\n", tmp, qvfmt_strerr(out_h));
            return -1;
        }
        if (repair_header)
            repair_gather(stats, block.get(), static_cast<std::size_t>(nread), nchans);
    }
    if (repair_header) return repair_apply(stats, header, nchans, out_h, tmp);
    return 0;
}

// Only a regular file seen to be empty is skipped as empty; one that cannot
// be examined goes on to the open, which says why. (Taking a failed look for
// an empty file would pass a record over, and delete it with -u.)
bool is_known_empty(const char *path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

// --- Interrupts -------------------------------------------------------------
//
// The temporary file of the conversion in progress, for the interrupt
// handler. It is set and cleared only while the handled signals are held
// back, so the handler finds either no name or the name of a file this
// process made and has not yet renamed: never a final output.

constexpr std::array<int, 3> INTERRUPTS = {SIGINT, SIGTERM, SIGHUP};

char interrupted_tmp[PATH_BUF_SIZE];
volatile std::sig_atomic_t interrupted_tmp_set = 0;

sigset_t interrupt_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : INTERRUPTS)
        sigaddset(&set, sig);
    return set;
}

// Async-signal-safe calls only: the process may be anywhere.
void on_interrupt(int sig) {
    if (interrupted_tmp_set) unlink(interrupted_tmp);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigaction(sig, &dfl, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig); // ends the process with the signal's status
    _exit(128 + sig);
}

// Holds the handled signals back for its lifetime; keeps errno.
class interrupts_held {
public:
    interrupts_held() {
        sigset_t set = interrupt_set();
        sigprocmask(SIG_BLOCK, &set, &old);
    }
    ~interrupts_held() {
        int saved = errno;
        sigprocmask(SIG_SETMASK, &old, nullptr);
        errno = saved;
    }
    interrupts_held(const interrupts_held &) = delete;
    interrupts_held &operator=(const interrupts_held &) = delete;

private:
    sigset_t old;
};

// Creates the temporary file (a name ending in six X) and records it for
// the handler. 0, or -1 with errno.
int create_tmp(char *tmp) {
    interrupts_held held;
    if (file_create_temp(tmp) != 0) return -1;
    path_copy(interrupted_tmp, sizeof interrupted_tmp, tmp);
    interrupted_tmp_set = 1;
    return 0;
}

void remove_tmp(const char *tmp) {
    int failed;
    {
        interrupts_held held;
        failed = is_file(tmp) && unlink(tmp) != 0;
        interrupted_tmp_set = 0;
    }
    if (failed) log_err("Failed to delete file %s: %m\n", tmp);
}

// Gives the finished result its final name. 0, or -1 with errno: the
// result then stays under its temporary name, which is no longer the
// handler's to remove.
int give_name(const char *tmp, const char *out, output_rule rule) {
    interrupts_held held;
    int rc = rule == output_rule::replace ? rename(tmp, out) : rename_noreplace(tmp, out);
    interrupted_tmp_set = 0;
    return rc;
}

// --- Conversion -------------------------------------------------------------

// Converts `in` into the existing file `tmp`. 0, or -1 (the message printed);
// both handles are closed on every path.
int convert_into(const char *in, unsigned in_fmt, const char *tmp, unsigned out_fmt) {
    log_trace_file("    Opening %s\n", in);
    qvfmt_handle *in_h = nullptr;
    if (qvfmt_open(&in_h, in, in_fmt, QVFMT_MODE_READ) != 0) {
        log_err("Failed to open %s: %s\n", in, qvfmt_strerr(nullptr));
        return -1;
    }
    log_trace_file("    Opening %s\n", tmp);
    qvfmt_handle *out_h = nullptr;
    if (qvfmt_open(&out_h, tmp, out_fmt, QVFMT_MODE_WRITE) != 0) {
        log_err("Failed to create %s: %s\n", tmp, qvfmt_strerr(nullptr));
        if (qvfmt_close(in_h) != 0) log_err("Failed to close %s: %s\n", in, qvfmt_strerr(in_h));
        return -1;
    }

    int result = -1;
    qvraw_header header{};
    log_trace_file("    Reading header\n");
    if (qvfmt_read_header(in_h, &header) != 0) {
        log_err("Failed to read header from %s: %s\n", in, qvfmt_strerr(in_h));
    } else {
        log_trace_file("    Writing header\n");
        if (qvfmt_write_header(out_h, &header) != 0)
            log_err("Failed to write header to %s: %s\n", tmp, qvfmt_strerr(out_h));
        else if (convert_header_only)
            result = 0;
        else
            result = copy_samples(in_h, out_h, header, in, tmp);
    }

    // A failed close of the output may have lost its last data or its
    // header: the conversion fails. A failed close of the input loses
    // nothing and is only reported.
    if (qvfmt_close(out_h) != 0) {
        log_err("Failed to close %s: %s\n", tmp, qvfmt_strerr(out_h));
        result = -1;
    }
    if (qvfmt_close(in_h) != 0) log_err("Failed to close %s: %s\n", in, qvfmt_strerr(in_h));
    return result;
}

} // namespace

void interrupts_install() {
    struct sigaction sa {};
    sa.sa_handler = on_interrupt;
    sa.sa_mask = interrupt_set(); // one cleanup at a time
    for (int sig : INTERRUPTS) {
        struct sigaction old {};
        // Ignored at start (nohup, a background job of a script): stays so.
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(sig, &sa, nullptr);
    }
}

int process_file(const char *in, const char *out, output_rule rule) {
    unsigned in_fmt = qvfmt_filename_to_format(in);
    unsigned out_fmt = qvfmt_filename_to_format(out);
    log_out("> Converting file %s\n", in);

    // The rename would put the result in place of its own input, and -t or
    // -u would then delete the only copy.
    if (same_file(in, out)) {
        files_converted++;
        log_err("Input and output are the same file: %s\n", in);
        return -1;
    }

    // An empty input has nothing to convert.
    if (is_known_empty(in)) {
        log_out("  File is empty\n");
    } else {
        char tmp[PATH_BUF_SIZE];
        path_copy(tmp, sizeof tmp, out);
        if (filename_add_ext(tmp, sizeof tmp, "XXXXXX") != 0) {
            log_err("Failed to create tmp file from %s\n", out);
            return -1;
        }
        files_converted++;
        if (create_tmp(tmp) != 0) {
            log_err("Failed to create tmp file from %s: %m\n", out);
            return -1;
        }
        if (convert_into(in, in_fmt, tmp, out_fmt) != 0) {
            remove_tmp(tmp);
            return -1;
        }

        files_successfully_converted++;
        if (give_name(tmp, out, rule) != 0)
            log_err("Failed to rename tmp file %s to %s: %m\n", tmp, out);

        if (testing_mode) {
            log_out("  Comparing with %s\n", out);
            if (test_file(in, out) != 0) return -1;
            log_out("  Deleting %s\n", out);
            if (unlink(out) != 0) {
                log_err("Failed to delete file %s: %m\n", out);
                return -1;
            }
        }
    }

    if (unlink_input_file) {
        log_out("  Deleting %s\n", in);
        if (unlink(in) != 0) log_err("Failed to delete file %s: %m\n", in);
    }
    return 0;
}

// --- Test mode --------------------------------------------------------------

int test_file(const char *in, const char *out) {
    constexpr std::size_t CHUNK = 0x80000;

    files_tested++;
    std::uint64_t size_in = file_size(in), size_out = file_size(out);
    if (size_in != size_out) {
        log_err("Files have a different size: %" PRIu64 " != %" PRIu64 "\n", size_in, size_out);
        return -1;
    }
    // One chunk per file, held for this comparison only: a thread that
    // converts never keeps a megabyte of its own.
    std::unique_ptr<unsigned char[]> chunks(new (std::nothrow) unsigned char[2 * CHUNK]);
    if (!chunks) {
        log_err("Failed to allocate %zu bytes of memory\n", 2 * CHUNK);
        return -1;
    }
    unsigned char *buf_in = chunks.get(), *buf_out = chunks.get() + CHUNK;
    log_trace_file("    Files have the same size: %" PRIu64 "\n", size_in);
    log_trace_file("    Opening files\n");

    int result = -1;
    FILE *fin = std::fopen(in, "rb");
    FILE *fout = fin ? std::fopen(out, "rb") : nullptr;
    if (fin && fout) {
        std::uint64_t equal = 0;
        for (;;) {
            std::size_t n_in = std::fread(buf_in, 1, CHUNK, fin);
            std::size_t n_out = std::fread(buf_out, 1, CHUNK, fout);
            log_trace_file("    Read %zu/%zu samples\n", n_in, n_out);
            if (n_in != n_out) {
                log_err("Read failure: %zu != %zu\n", n_in, n_out);
                break;
            }
            if (n_in == 0) {
                // Both ended together; a read error is not the end.
                if (!std::ferror(fin) && !std::ferror(fout))
                    result = 0;
                else
                    log_err("Read failure: %zu != %zu\n", n_in, n_out);
                break;
            }
            if (std::memcmp(buf_in, buf_out, n_in) != 0) {
                std::size_t i = 0;
                while (buf_in[i] == buf_out[i])
                    i++;
                log_err("char %" PRIu64 " differ (%02x != %02x)\n", equal + i + 1, buf_in[i],
                        buf_out[i]);
                break;
            }
            equal += n_in;
        }
    }
    log_trace_file("    Closing files\n");
    if (fout) std::fclose(fout);
    if (fin) std::fclose(fin);
    if (result == 0) files_successfully_tested++;
    return result;
}

// --- Directory conversion ---------------------------------------------------

namespace {

// Raw, ASCII and recorder-binary (xqv and bqv together).
bool same_kind(unsigned a, unsigned b) {
    auto kind = [](unsigned f) { return f == QVFMT_BQV ? QVFMT_XQV : f; };
    return kind(a) == kind(b);
}

// The walk makes the output names up: a file there is never replaced.
int convert_visitor(void *, const char *in, const char *out) {
    return process_file(in, out, output_rule::keep_existing);
}

} // namespace

int process_dir(const char *dir, unsigned fmt) {
    return process_dir_visit(dir, fmt, convert_visitor, nullptr);
}

int process_dir_visit(const char *dir, unsigned fmt, dir_visitor visit, void *ctx) {
    log_out("Entering dir %s\n", dir);
    DIR *d = opendir(dir);
    if (!d) {
        log_err("Failed to open dir %s: %m\n", dir);
        return -1;
    }
    char path[PATH_BUF_SIZE];
    char out[PATH_BUF_SIZE];
    const char *ext = qvfmt_format_to_extension(fmt);

    while (struct dirent *e = readdir(d)) {
        path_copy(path, sizeof path, dir);
        if (dirname_append(path, sizeof path, e->d_name) != 0) {
            log_err("Filename error on %s\n", e->d_name);
            continue;
        }
        if (!is_file(path)) continue;
        unsigned file_fmt = qvfmt_filename_to_format(path);
        if (file_fmt == QVFMT_UNKNOWN) {
            log_trace_dir("> Ignoring unknown file %s\n", path);
            continue;
        }
        path_copy(out, sizeof out, path);
        bool convert;
        if (testing_mode) {
            if (filename_add_ext(out, sizeof out, ext) != 0) {
                log_err("Filename error on %s\n", out);
                continue;
            }
            convert = file_fmt == fmt;
        } else {
            if (filename_subst_ext(out, sizeof out, ext) != 0) {
                log_err("Filename error on %s\n", out);
                continue;
            }
            convert = !same_kind(file_fmt, fmt);
        }
        if (!convert) {
            log_trace_dir("> Ignoring file %s\n", path);
            continue;
        }
        // The output's name is made up here, so a file already there is the
        // user's (or this walk's own result for another input): never
        // replaced, and the input stays as it is, also with -u.
        if (path_exists(out)) {
            log_out("> Skipping file %s: %s exists\n", path, out);
            continue;
        }
        visit(ctx, path, out);
    }

    if (process_subdirectories) {
        rewinddir(d);
        while (struct dirent *e = readdir(d)) {
            path_copy(out, sizeof out, dir);
            if (dirname_append(out, sizeof out, e->d_name) != 0) {
                log_err("Filename error on %s\n", e->d_name);
                continue;
            }
            if (!is_dir(out)) continue;
            if (e->d_name[0] == '.') {
                log_trace_dir("Ignoring dir %s\n", out);
                continue;
            }
            process_dir_visit(out, fmt, visit, ctx);
        }
    }
    log_out("Leaving dir %s\n", dir);
    closedir(d);
    return 0;
}
