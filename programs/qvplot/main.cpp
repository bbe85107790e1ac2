// qvplot: draws each record as an SVG picture, NAME.svg beside the record
// (NAME being the record's file name) or in the directory given with -o.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>

#include "describe.h"
#include "envelope.h"
#include "log.h"
#include "qvfmt.h"
#include "svg.h"
#include "tmpfile.h"
#include "usage.h"
#include "utils.h"
#include "walk.h"

namespace {

const char usage_text[] = "Usage: %s [OPTIONS] PATH...\n"
                          "Draws each record as an SVG picture: one panel per channel over a\n"
                          "shared time axis, each channel's peak marked. A PATH is a record or a\n"
                          "directory of records. The picture of rec.xqv is rec.xqv.svg, written\n"
                          "beside the record or into the directory given with -o. An existing\n"
                          "picture is never replaced: its record is skipped.\n"
                          "\n"
                          "Options:\n"
                          "  -o --output DIR  Write the pictures into DIR.\n"
                          "  -W --width W     Width of a picture in pixels (default 1200).\n"
                          "  -H --height H    Height of a picture in pixels (default 800).\n"
                          "  -h --help        Show this usage message.\n"
                          "\n";

struct plot_run {
    const char *out_dir = nullptr;
    int width = PLOT_DEFAULT_WIDTH;
    int height = PLOT_DEFAULT_HEIGHT;
    std::string svg;
};

// Reads the whole record into the envelope. 0, or -1 (the error printed).
int read_record(const char *path, unsigned fmt, const plot_run &run, qvraw_header &h,
                plot_envelope &e) {
    qvfmt_handle *in = nullptr;
    if (qvfmt_open(&in, path, fmt, QVFMT_MODE_READ) != 0) {
        log_err("Failed to open %s: %s\n", path, qvfmt_strerr(nullptr));
        return -1;
    }
    int result = -1;
    static double block[QVFMT_BLOCK_FRAMES * QVFMT_MAX_CHANNELS];
    if (qvfmt_read_header(in, &h) != 0) {
        log_err("Failed to read header from %s: %s\n", path, qvfmt_strerr(in));
    } else if (std::size_t nchans = qvraw_header_get_nchans(&h);
               envelope_init(e, svg_columns(run.width), nchans, h.nsamples) != 0) {
        log_err("Failed to allocate memory for %s\n", path);
    } else {
        for (;;) {
            long n = qvfmt_read_data(in, block, QVFMT_BLOCK_FRAMES, nchans);
            if (n < 0) {
                log_err("Failed to read data from %s: %s\n", path, qvfmt_strerr(in));
                break;
            }
            if (n == 0) {
                result = 0;
                break;
            }
            envelope_add(e, block, static_cast<std::size_t>(n));
        }
    }
    // Nothing was written: a failed close loses nothing, it is only reported.
    if (qvfmt_close(in) != 0) log_err("Failed to close %s: %s\n", path, qvfmt_strerr(in));
    return result;
}

// Writes the picture under a temporary name beside `out` and gives it its
// name, so that a failure leaves neither a picture nor a temporary file, and
// a file that took the name meanwhile is not replaced. 0 or -1.
int write_picture(const char *out, const std::string &svg) {
    char tmp[PATH_BUF_SIZE];
    if (tmpfile_name(tmp, sizeof tmp, out) != 0) {
        log_err("Failed to create tmp file from %s\n", out);
        return -1;
    }
    if (tmpfile_create(tmp) != 0) {
        log_err("Failed to create tmp file from %s: %m\n", out);
        return -1;
    }
    std::FILE *f = std::fopen(tmp, "wb");
    bool written = f && std::fwrite(svg.data(), 1, svg.size(), f) == svg.size();
    if (f && std::fclose(f) != 0) written = false;
    if (!written) {
        log_err("Failed to write %s: %m\n", tmp);
    } else if (tmpfile_commit(tmp, out, output_rule::keep_existing) != 0) {
        log_err("Failed to rename tmp file %s to %s: %m\n", tmp, out);
    } else {
        return 0;
    }
    tmpfile_remove(tmp);
    return -1;
}

int plot_visit(void *ctx, const char *path, unsigned fmt) {
    auto *run = static_cast<plot_run *>(ctx);

    // NAME.svg beside the record, or in the output directory.
    char out[PATH_BUF_SIZE];
    const char *slash = std::strrchr(path, '/');
    const char *name = slash ? slash + 1 : path;
    int fits;
    if (run->out_dir) {
        path_copy(out, sizeof out, run->out_dir);
        fits = dirname_append(out, sizeof out, name);
    } else {
        fits = std::strlen(path) < sizeof out ? (path_copy(out, sizeof out, path), 0) : -1;
    }
    if (fits != 0 || filename_add_ext(out, sizeof out, "svg") != 0) {
        log_err("Filename error on %s\n", path);
        return -1;
    }
    // The picture's name is made up here: a file there is never replaced
    // (an earlier picture, or this run's of a record of the same name).
    if (path_exists(out)) {
        log_out("> Skipping file %s: %s exists\n", path, out);
        return 0;
    }
    log_out("> Plotting file %s\n", path);
    qvraw_header h{};
    plot_envelope e;
    if (read_record(path, fmt, *run, h, e) != 0) return -1;

    qvdesc_record d;
    qvdesc_describe(&d, &h);
    run->svg.clear();
    plot_picture p{run->width, run->height, name, qvdesc_format_word(qvdesc_file_format(fmt, &h)),
                   &h,         &d,          &e};
    svg_write(run->svg, p);
    if (write_picture(out, run->svg) != 0) return -1;
    return 0;
}

// A side of the picture from the command line into *side: 0, or -1 (the
// error printed) when it is not a whole number from `min` to PLOT_MAX_SIZE.
int parse_side(const char *text, const char *what, int min, int *side) {
    char *end;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno == 0 && end != text && *end == '\0' && v >= min && v <= PLOT_MAX_SIZE) {
        *side = static_cast<int>(v);
        return 0;
    }
    log_err("Invalid %s %s: give %d to %d pixels\n", what, text, min, PLOT_MAX_SIZE);
    return -1;
}

} // namespace

int main(int argc, char **argv) {
    static const option long_options[] = {
        {"output", required_argument, nullptr, 'o'},
        {"width", required_argument, nullptr, 'W'},
        {"height", required_argument, nullptr, 'H'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    plot_run run;
    bool help = false, bad = false;
    for (int c; (c = getopt_long(argc, argv, "o:W:H:h", long_options, nullptr)) != -1;) {
        switch (c) {
        case 'o': run.out_dir = optarg; break;
        case 'W': bad |= parse_side(optarg, "width", PLOT_MIN_WIDTH, &run.width) != 0; break;
        case 'H': bad |= parse_side(optarg, "height", PLOT_MIN_HEIGHT, &run.height) != 0; break;
        case 'h': help = true; break;
        default: bad = true; break;
        }
    }
    if (bad) wrong_usage_exit();
    if (help) usage_exit(argv[0], usage_text);
    if (optind >= argc) wrong_usage_exit();
    if (run.out_dir && !is_dir(run.out_dir)) {
        log_err("%s is not a directory\n", run.out_dir);
        return 1;
    }

    // A picture is written under a temporary name: an interrupt removes it.
    interrupts_install();
    int status = 0;
    const walk_hooks hooks{plot_visit, nullptr, nullptr, &run};
    for (int i = optind; i < argc; i++)
        if (walk_path(argv[i], false, hooks) != 0) status = 1;
    return status;
}
