#include "options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <libgen.h>

#include "log.h"
#include "utils.h"

// QV_VERSION is the project's version, given by the build.
static const char usage_text[] =
    "%s - version " QV_VERSION ", <qvconv-support@example.org>\n"
    "\n"
    "Usage: %s has two operating modes.\n"
    "It can process a single file:\n"
    "  %s [OPTIONS] <input file> <output file>\n"
    "It can process a whole directory:\n"
    "  %s [OPTIONS] <input directory> <format>\n"
    "\n"
    "Available formats are:\n"
    "  txt, xqv/bqv, raw\n"
    "Input file format is guessed using the file extension.\n"
    "Output file format depends on the mode:\n"
    "- when converting a file, the file extension is used.\n"
    "- when converting a directory, the format must be specified in the\n"
    "  command-line, and only files of a different format are converted.\n"
    "\n"
    "Options for both modes:\n"
    "  -H --header    Process header only.\n"
    "  -r --repair    Repair header using sample values.\n"
    "  -u --unlink    Remove input file if conversion succeeds.\n"
    "  -t --test      Enable testing mode.\n"
    "Options for directory mode:\n"
    "  -R --recursive Also process subdirectories.\n"
    "Misc options:\n"
    "  -d --debug     Enable debug messages.\n"
    "  -h --help      Show this usage message.\n"
    "\n";

static const struct option long_options[] = {
    {"header", no_argument, nullptr, 'H'},    {"repair", no_argument, nullptr, 'r'},
    {"unlink", no_argument, nullptr, 'u'},    {"test", no_argument, nullptr, 't'},
    {"recursive", no_argument, nullptr, 'R'}, {"debug", no_argument, nullptr, 'd'},
    {"help", no_argument, nullptr, 'h'},      {nullptr, 0, nullptr, 0},
};

static const char *long_name_of(int c) {
    for (const struct option *o = long_options; o->name; o++)
        if (o->val == c) return o->name;
    return "?";
}

void options_init(int argc, char **argv, options *opts) {
    *opts = options{};
    bool early_error = false;
    bool help = false;

    for (;;) {
        int c = getopt_long(argc, argv, "HrutRdh", long_options, nullptr);
        if (c == -1) break;
        int *flag = nullptr;
        switch (c) {
        case 'H': flag = &opts->header; break;
        case 'r': flag = &opts->repair; break;
        case 'u': flag = &opts->unlink; break;
        case 't': flag = &opts->test; break;
        case 'R': flag = &opts->recursive; break;
        case 'd': flag = &opts->debug; break;
        case 'h': help = true; continue;
        case '?': early_error = true; continue;
        default: log_err("wrong option %c\n", c); std::exit(1);
        }
        if (*flag) {
            log_err("option '%s' already used\n", long_name_of(c));
            early_error = true;
        }
        *flag = 1;
    }

    if (early_error) {
        log_err("terminate because of early error\n");
        std::exit(1);
    }
    if (help) {
        // basename() may modify its argument: work on a copy.
        char prog[PATH_BUF_SIZE];
        path_copy(prog, sizeof prog, argc > 0 && argv[0] ? argv[0] : "qvconv");
        const char *base = basename(prog);
        std::printf(usage_text, base, base, base, base);
        std::exit(0);
    }
    if (argc - optind != 2) {
        log_err("Wrong usage, please invoke with --help for help\n");
        std::exit(1);
    }
    char *first = argv[optind];
    if (is_file(first)) {
        opts->in_file = first;
        opts->out_file = argv[optind + 1];
    } else if (is_dir(first)) {
        dirname_strip(first);
        if (first[0] == '\0') first = const_cast<char *>("/"); // the root is all separators
        opts->in_dir = first;
        opts->format = argv[optind + 1];
    } else {
        log_err("%s is neither a file or a directory\n", first);
        std::exit(1);
    }
    optind += 2;
}
