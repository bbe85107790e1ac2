// Directory conversion: qvconv's selection on the walk. Every file of
// another kind than the target (with -t: of the target's identifier) is
// converted beside itself, under its name with the target's extension (with
// -t: with the target's extension appended), unless that name is taken.
#include "convert.h"
#include "log.h"
#include "qvfmt.h"
#include "utils.h"
#include "walk.h"

namespace {

struct selection {
    unsigned fmt;    // the target format
    const char *ext; // its extension as written
    dir_visitor visit;
    void *ctx;
};

// Raw, ASCII and recorder-binary (xqv and bqv together).
bool same_kind(unsigned a, unsigned b) {
    auto kind = [](unsigned f) { return f == QVFMT_BQV ? QVFMT_XQV : f; };
    return kind(a) == kind(b);
}

int select_file(void *ctx, const char *path, unsigned file_fmt) {
    const selection &s = *static_cast<const selection *>(ctx);
    char out[PATH_BUF_SIZE];
    path_copy(out, sizeof out, path);
    int fits = testing_mode ? filename_add_ext(out, sizeof out, s.ext)
                            : filename_subst_ext(out, sizeof out, s.ext);
    if (fits != 0) {
        log_err("Filename error on %s\n", out);
        return -1;
    }
    bool convert = testing_mode ? file_fmt == s.fmt : !same_kind(file_fmt, s.fmt);
    if (!convert) {
        log_trace_dir("> Ignoring file %s\n", path);
        return 0;
    }
    // The output's name is made up here, so a file already there is the
    // user's (or this walk's own result for another input): never replaced,
    // and the input stays as it is, also with -u.
    if (path_exists(out)) {
        log_out("> Skipping file %s: %s exists\n", path, out);
        return 0;
    }
    return s.visit(s.ctx, path, out);
}

void enter_dir(void *, const char *dir) {
    log_out("Entering dir %s\n", dir);
}

void leave_dir(void *, const char *dir) {
    log_out("Leaving dir %s\n", dir);
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
    selection s{fmt, qvfmt_format_to_extension(fmt), visit, ctx};
    walk_hooks hooks{select_file, enter_dir, leave_dir, &s};
    return walk_dir(dir, process_subdirectories != 0, hooks).opened ? 0 : -1;
}
