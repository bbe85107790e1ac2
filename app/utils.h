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
// Replace the last six characters of `path` (a name ending in "XXXXXX")
// with random ones and create that file exclusively (mode 0666 less the
// umask), so that no other process can take or redirect the name. 0, or -1
// with errno when no file could be created.
int file_create_temp(char *path);
// Append "." and six characters to the path in `buf` and create that file
// exclusively (file_create_temp). 0, or -1 when the suffix does not fit or
// no file could be created (errno then says why).
int filename_mktemp(char *buf, std::size_t size);
// 1 when something exists at `path`, a dangling symbolic link included
// (lstat); 0 otherwise.
int path_exists(const char *path);
// 1 when both paths exist and name the same file (device and inode, links
// followed); 0 otherwise, also when either cannot be examined.
int same_file(const char *a, const char *b);
// Gives the file `from` the name `to` unless something exists there (a
// dangling symbolic link included): 0, or -1 with errno, EEXIST when `to`
// exists, both names then left as they were. Where the file system refuses
// the no-replace rename it goes through rename_by_link.
int rename_noreplace(const char *from, const char *to);
// The same by a hard link to `to` and the removal of `from`, for file
// systems without the no-replace rename; where they have no hard links
// either, by a rename after checking that `to` is free (a file made there in
// between is replaced: the one case left to chance).
int rename_by_link(const char *from, const char *to);
// Bounded copy into a path buffer, cut to size - 1 characters.
void path_copy(char *buf, std::size_t size, const char *src);
