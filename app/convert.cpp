// The road of one conversion (process_file): the input's header and samples
// go through format handles into a temporary file beside the output, which
// takes the output's name once everything succeeded; then test mode may
// compare and delete the result, and -u delete the input.
#include "convert.h"

#include <cerrno>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "log.h"
#include "qvfmt.h"
#include "qvraw.h"
#include "repair.h"
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

// Only a regular file seen to be empty is skipped as empty; one that cannot
// be examined goes on to the open, which says why. (Taking a failed look for
// an empty file would pass a record over, and delete it with -u.)
bool is_known_empty(const char *path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

// Removes the temporary file of a failed conversion.
void discard(const char *tmp) {
    if (tmpfile_remove(tmp) != 0 && errno != ENOENT) log_err("Failed to delete file %s: %m\n", tmp);
}

// Test mode: the result, as temporary as the temporary file until its
// comparison ends, is compared with the input and deleted when they are
// equal; one that differs stays for inspection.
int test_result(const char *in, const char *out) {
    log_out("  Comparing with %s\n", out);
    if (test_file(in, out) != 0) {
        tmpfile_keep();
        return -1;
    }
    log_out("  Deleting %s\n", out);
    if (tmpfile_remove(out) != 0) {
        log_err("Failed to delete file %s: %m\n", out);
        return -1;
    }
    return 0;
}

} // namespace

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
        if (tmpfile_name(tmp, sizeof tmp, out) != 0) {
            log_err("Failed to create tmp file from %s\n", out);
            return -1;
        }
        files_converted++;
        if (tmpfile_create(tmp) != 0) {
            log_err("Failed to create tmp file from %s: %m\n", out);
            return -1;
        }
        if (convert_into(in, in_fmt, tmp, out_fmt) != 0) {
            discard(tmp);
            return -1;
        }
        files_successfully_converted++;
        // A result that cannot take its name stays under the temporary one.
        bool named = tmpfile_commit(tmp, out, rule, testing_mode != 0) == 0;
        if (!named) log_err("Failed to rename tmp file %s to %s: %m\n", tmp, out);
        // Test mode compares the result and deletes it. One that could not
        // take its name cannot be tested: whatever stands under that name is
        // not this run's (a file the user kept, another program's), so it is
        // neither compared nor deleted, and the input stays even with -u.
        if (testing_mode && (!named || test_result(in, out) != 0)) return -1;
    }

    if (unlink_input_file) {
        log_out("  Deleting %s\n", in);
        if (unlink(in) != 0) log_err("Failed to delete file %s: %m\n", in);
    }
    return 0;
}
