// Command-line options.
#pragma once

struct options {
    const char *in_file;  // single-file mode: input path (borrowed from argv)
    const char *out_file; // single-file mode: output path
    const char *in_dir;   // directory mode: directory, trailing '/' removed
    const char *format;   // directory mode: target format word
    int header;           // -H --header
    int repair;           // -r --repair
    int unlink;           // -u --unlink
    int test;             // -t --test
    int recursive;        // -R --recursive
    int debug;            // -d --debug
};

// Fills `opts` from the command line, or ends the process: status 0 after
// the usage text, 1 after an error. Exactly one of in_file and in_dir is set
// on return. May rewrite the directory argument in place.
void options_init(int argc, char **argv, options *opts);
