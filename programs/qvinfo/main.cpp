// qvinfo: lists what records hold, one line of a table or one JSON object
// per record, from their headers alone.
#include <cstdio>
#include <getopt.h>
#include <string>

#include "describe.h"
#include "json.h"
#include "log.h"
#include "qvfmt.h"
#include "table.h"
#include "usage.h"
#include "walk.h"

namespace {

const char usage_text[] = "Usage: %s [OPTIONS] PATH...\n"
                          "Lists each record: its path, format, type, start, duration, frames,\n"
                          "rate, channels, unit, peak of each channel, vector-sum peak and\n"
                          "recorder. A PATH is a record or a directory of records.\n"
                          "\n"
                          "Options:\n"
                          "  -R --recursive Also list the records of subdirectories.\n"
                          "  -j --json      Print one JSON object per record (JSON Lines) with\n"
                          "                 every field of the header.\n"
                          "  -h --help      Show this usage message.\n"
                          "\n";

struct info_run {
    bool json;
    info_table table;
    std::string line;
};

int info_visit(void *ctx, const char *path, unsigned fmt) {
    auto *run = static_cast<info_run *>(ctx);
    qvfmt_handle *in = nullptr;
    if (qvfmt_open(&in, path, fmt, QVFMT_MODE_READ) != 0) {
        log_err("Failed to open %s: %s\n", path, qvfmt_strerr(nullptr));
        return -1;
    }
    qvraw_header h{};
    int rc = qvfmt_read_header(in, &h);
    if (rc != 0) log_err("Failed to read header from %s: %s\n", path, qvfmt_strerr(in));
    // Nothing was written: a failed close loses nothing, it is only reported.
    if (qvfmt_close(in) != 0) log_err("Failed to close %s: %s\n", path, qvfmt_strerr(in));
    if (rc != 0) return -1;

    qvdesc_record d;
    qvdesc_describe(&d, &h);
    const char *format = qvdesc_format_word(qvdesc_file_format(fmt, &h));
    if (run->json) {
        run->line.clear();
        json_record(run->line, path, format, h, d);
        run->line += '\n';
        std::fwrite(run->line.data(), 1, run->line.size(), stdout);
    } else {
        table_add(run->table, path, format, h, d);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    static const option long_options[] = {
        {"recursive", no_argument, nullptr, 'R'},
        {"json", no_argument, nullptr, 'j'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    bool recursive = false, help = false, bad = false;
    info_run run{};
    run.table.out = stdout;
    for (int c; (c = getopt_long(argc, argv, "Rjh", long_options, nullptr)) != -1;) {
        switch (c) {
        case 'R': recursive = true; break;
        case 'j': run.json = true; break;
        case 'h': help = true; break;
        default: bad = true; break;
        }
    }
    if (bad) wrong_usage_exit();
    if (help) usage_exit(argv[0], usage_text);
    if (optind >= argc) wrong_usage_exit();

    int status = 0;
    const walk_hooks hooks{info_visit, nullptr, nullptr, &run};
    for (int i = optind; i < argc; i++)
        if (walk_path(argv[i], recursive, hooks) != 0) status = 1;
    table_print(run.table);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        log_err("Failed to write the listing: %m\n");
        status = 1;
    }
    return status;
}
