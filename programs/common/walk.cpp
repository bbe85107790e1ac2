#include "walk.h"

#include <cstring>
#include <dirent.h>

#include "log.h"
#include "qvfmt.h"
#include "utils.h"

namespace {

int walk_dir(const char *dir, bool recursive, walk_visit visit, void *ctx) {
    DIR *d = opendir(dir);
    if (!d) {
        log_err("Failed to open dir %s: %m\n", dir);
        return -1;
    }
    int result = 0;
    char path[PATH_BUF_SIZE];
    auto entry_path = [&](const dirent *e) {
        path_copy(path, sizeof path, dir);
        if (dirname_append(path, sizeof path, e->d_name) == 0) return true;
        log_err("Filename error on %s\n", e->d_name);
        result = -1;
        return false;
    };

    while (const dirent *e = readdir(d)) {
        if (!entry_path(e) || !is_file(path)) continue;
        unsigned fmt = qvfmt_filename_to_format(path);
        if (fmt != QVFMT_UNKNOWN && visit(path, fmt, ctx) != 0) result = -1;
    }
    if (recursive) {
        rewinddir(d);
        while (const dirent *e = readdir(d)) {
            if (!entry_path(e) || !is_dir(path) || e->d_name[0] == '.') continue;
            if (walk_dir(path, true, visit, ctx) != 0) result = -1;
        }
    }
    closedir(d);
    return result;
}

} // namespace

int walk_path(const char *path, bool recursive, walk_visit visit, void *ctx) {
    if (is_file(path)) return visit(path, qvfmt_filename_to_format(path), ctx);
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
    return walk_dir(dir[0] != '\0' ? dir : "/", recursive, visit, ctx);
}
