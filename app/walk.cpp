#include "walk.h"

#include <cstring>
#include <dirent.h>

#include "log.h"
#include "qvfmt.h"
#include "utils.h"

namespace {

// The path of entry `e` of `dir` into `buf`; false (the error printed) when
// it does not fit.
bool entry_path(char (&buf)[PATH_BUF_SIZE], const char *dir, const dirent *e) {
    path_copy(buf, sizeof buf, dir);
    if (dirname_append(buf, sizeof buf, e->d_name) == 0) return true;
    log_err("Filename error on %s\n", e->d_name);
    return false;
}

void walk_files(DIR *d, const char *dir, const walk_hooks &hooks, walk_result &r) {
    char path[PATH_BUF_SIZE];
    while (const dirent *e = readdir(d)) {
        if (!entry_path(path, dir, e)) {
            r.failed = true;
            continue;
        }
        if (!is_file(path)) continue;
        unsigned fmt = qvfmt_filename_to_format(path);
        if (fmt == QVFMT_UNKNOWN) {
            log_trace_dir("> Ignoring unknown file %s\n", path);
            continue;
        }
        if (hooks.file && hooks.file(hooks.ctx, path, fmt) != 0) r.failed = true;
    }
}

void walk_subdirs(DIR *d, const char *dir, const walk_hooks &hooks, walk_result &r) {
    char path[PATH_BUF_SIZE];
    rewinddir(d);
    while (const dirent *e = readdir(d)) {
        if (!entry_path(path, dir, e)) {
            r.failed = true;
            continue;
        }
        if (!is_dir(path)) continue;
        if (e->d_name[0] == '.') {
            log_trace_dir("Ignoring dir %s\n", path);
            continue;
        }
        walk_result sub = walk_dir(path, true, hooks);
        if (!sub.opened || sub.failed) r.failed = true;
    }
}

} // namespace

walk_result walk_dir(const char *dir, bool recursive, const walk_hooks &hooks) {
    walk_result r;
    if (hooks.enter) hooks.enter(hooks.ctx, dir);
    DIR *d = opendir(dir);
    if (!d) {
        log_err("Failed to open dir %s: %m\n", dir);
        r.opened = false;
        r.failed = true;
        return r;
    }
    walk_files(d, dir, hooks, r);
    if (recursive) walk_subdirs(d, dir, hooks, r);
    if (hooks.leave) hooks.leave(hooks.ctx, dir);
    closedir(d);
    return r;
}

int walk_path(const char *path, bool recursive, const walk_hooks &hooks) {
    if (is_file(path)) {
        unsigned fmt = qvfmt_filename_to_format(path);
        return hooks.file ? hooks.file(hooks.ctx, path, fmt) : 0;
    }
    if (!is_dir(path)) {
        log_err("%s is neither a file or a directory\n", path);
        return -1;
    }
    char dir[PATH_BUF_SIZE];
    if (std::strlen(path) >= sizeof dir) {
        log_err("Filename error on %s\n", path);
        return -1;
    }
    path_copy(dir, sizeof dir, path);
    dirname_strip(dir);
    walk_result r = walk_dir(dir[0] != '\0' ? dir : "/", recursive, hooks);
    return r.failed ? -1 : 0;
}
