// The record walk of the sibling programs. It mirrors qvconv's directory
// mode: a directory's regular files first, in the order the system lists
// them, then with `recursive` each subdirectory in that order, each fully
// before the next; subdirectories whose names begin with a dot are skipped,
// and so are files whose extension names no format. A path named by the
// user is visited whatever its extension, so that an unknown one is
// reported rather than passed over silently.
#pragma once

// Called for each record file with its path and its format identifier from
// the extension (QVFMT_UNKNOWN only for a path the user named). 0, or -1 for
// a record that failed (its error already printed).
using walk_visit = int (*)(const char *path, unsigned fmt, void *ctx);

// Visits `path`: a regular file, or the records of a directory. Every
// failure is printed as an "error: " line and the walk goes on; -1 when
// anything failed (a visit, a directory that cannot be read, a path too
// long, a path that is neither a file nor a directory), else 0.
int walk_path(const char *path, bool recursive, walk_visit visit, void *ctx);
