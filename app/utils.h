// File and path utilities. The path separator is '/'. Every buffer function
// writes within `size` bytes and reports -1 when the result does not fit.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t PATH_BUF_SIZE = 512;

// 1 for a regular file (a directory), 0 otherwise or when stat fails.
int is_file(const char *path);
int is_dir(const char *path);
// Size in bytes; 0 when stat fails.
std::uint64_t file_size(const char *path);
// 1 when stat fails or the size is 0.
int is_empty(const char *path);
// Remove every trailing '/' in place ("a//" -> "a", "//" -> "").
void strip_trailing_sep(char *path);
void dirname_strip(char *path);
// Strip trailing separators, then append "/" and `name`.
int dirname_append(char *buf, std::size_t size, const char *name);
// Append "." and `ext`.
int filename_add_ext(char *buf, std::size_t size, const char *ext);
// Replace the text from the last '.' (anywhere in the path) with "." and
// `ext`; -1 and the text unchanged when there is no dot.
int filename_subst_ext(char *buf, std::size_t size, const char *ext);
// Append "." and six characters, and create that file exclusively (mode
// 0666 less the umask) so that no other process can take or redirect the
// name. -1 when the suffix does not fit or no file could be created.
int filename_mktemp(char *buf, std::size_t size);
// Bounded copy into a path buffer, cut to size - 1 characters.
void path_copy(char *buf, std::size_t size, const char *src);
