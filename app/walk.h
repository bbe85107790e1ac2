// The directory walk of every front end (qvconv's directory mode, qvinfo,
// qvplot, the Python module): a directory's regular files first, in the
// order the system lists them, then with `recursive` each subdirectory in
// that order, each whole before the next. Subdirectories whose names begin
// with a dot are passed over, and so are files whose extension names no
// format (both traced under -d in directory mode). Every path is built in a
// 512-byte buffer: an entry whose path does not fit is a "Filename error"
// and is passed over.
#pragma once

// What a front end does on the walk. Null hooks do nothing.
struct walk_hooks {
    // Each regular file of a known format, with the format's identifier from
    // its extension (QVFMT_UNKNOWN only for a path named by the user, see
    // walk_path). 0, or -1 for a file that failed (its error printed).
    int (*file)(void *ctx, const char *path, unsigned fmt);
    // Before a directory is opened, and after it was walked (not when it
    // could not be opened).
    void (*enter)(void *ctx, const char *dir);
    void (*leave)(void *ctx, const char *dir);
    void *ctx;
};

struct walk_result {
    bool opened = true;  // the directory itself could be read
    bool failed = false; // anything failed: a file, a directory, a path too long
};

// Walks the directory `dir` (given without trailing separators). Every
// failure is printed as an "error: " line and the walk goes on.
walk_result walk_dir(const char *dir, bool recursive, const walk_hooks &hooks);

// Walks a path named by the user: a regular file is visited whatever its
// extension (so that an unknown one is reported rather than passed over),
// a directory is walked. 0, or -1 when anything failed (a file, a
// directory, a path too long, a path that is neither a file nor a
// directory).
int walk_path(const char *path, bool recursive, const walk_hooks &hooks);
