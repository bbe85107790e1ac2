// File and path utilities: what the file tests read from stat, the fitting
// rules of the 512-byte path buffers, and temporary names.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "utils.h"

namespace {

std::string apply(int (*fn)(char *, std::size_t, const char *), std::string text, const char *arg,
                  std::size_t size, int *rc) {
    char buf[PATH_BUF_SIZE + 8];
    std::memset(buf, '#', sizeof buf);
    path_copy(buf, size, text.c_str());
    *rc = fn(buf, size, arg);
    EXPECT_EQ(buf[size], '#') << "written past the buffer";
    return buf;
}

TEST(PathUtilities, AppendsFitWithTheirTerminatingZeroOrFail) {
    struct {
        int (*fn)(char *, std::size_t, const char *);
        std::string text;
        const char *arg;
        std::size_t size;
        int rc;
        std::string result;
    } cases[] = {
        {dirname_append, "d//", "f", 512, 0, "d/f"},
        {dirname_append, "", "f", 512, 0, "/f"},
        {dirname_append, "///", "f", 512, 0, "/f"},
        {dirname_append, std::string(505, 'x'), "123456", 512, -1,
         std::string(505, 'x') + "/12345"},
        {dirname_append, std::string(504, 'x'), "123456", 512, 0,
         std::string(504, 'x') + "/123456"},
        {filename_add_ext, "a.raw", "XQV", 512, 0, "a.raw.XQV"},
        {filename_add_ext, "abc", "raw", 7, -1, "abc.ra"},
        {filename_subst_ext, "d/a.txt", "raw", 512, 0, "d/a.raw"},
        {filename_subst_ext, "d.x/file", "BQV", 512, 0, "d.BQV"},
        {filename_subst_ext, "d/file", "raw", 512, -1, "d/file"},
        {filename_subst_ext, "abcd.t", "raw", 8, -1, "abcd.ra"},
    };
    for (auto &c : cases) {
        int rc;
        EXPECT_EQ(apply(c.fn, c.text, c.arg, c.size, &rc), c.result) << c.text;
        EXPECT_EQ(rc, c.rc) << c.text;
    }
}

TEST(PathUtilities, TemporaryNamesAreNewFilesBesideTheOutput) {
    char dir[] = "/tmp/qv-utils-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string out = std::string(dir) + "/o.raw";
    char a[PATH_BUF_SIZE], b[PATH_BUF_SIZE];
    path_copy(a, sizeof a, out.c_str());
    path_copy(b, sizeof b, out.c_str());
    ASSERT_EQ(filename_mktemp(a, sizeof a), 0);
    ASSERT_EQ(filename_mktemp(b, sizeof b), 0);
    EXPECT_EQ(std::string(a).substr(0, out.size() + 1), out + ".");
    EXPECT_EQ(std::strlen(a), out.size() + 7);
    EXPECT_STRNE(a, b); // each call makes a file of its own
    struct stat st;
    EXPECT_TRUE(stat(a, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0);
    char full[16] = "/tmp/abcdefgh";
    EXPECT_EQ(filename_mktemp(full, sizeof full), -1); // the suffix does not fit
    unlink(a);
    unlink(b);
    rmdir(dir);
}

TEST(PathUtilities, FileTestsReadWhatStatSays) {
    char dir[] = "/tmp/qv-utils-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string empty = std::string(dir) + "/empty", full = std::string(dir) + "/full",
                      missing = std::string(dir) + "/missing";
    std::FILE *f = std::fopen(empty.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    f = std::fopen(full.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("abc", f);
    std::fclose(f);
    // A path that cannot be examined counts as empty, and as neither kind.
    const struct {
        std::string path;
        int file, is_dir, empty;
        std::uint64_t size;
    } rows[] = {
        {empty, 1, 0, 1, 0},
        {full, 1, 0, 0, 3},
        {missing, 0, 0, 1, 0},
        {dir, 0, 1, 0, 0},
    };
    for (auto &r : rows) {
        EXPECT_EQ(is_file(r.path.c_str()), r.file) << r.path;
        EXPECT_EQ(is_dir(r.path.c_str()), r.is_dir) << r.path;
        EXPECT_EQ(is_empty(r.path.c_str()), r.empty) << r.path;
        if (!r.is_dir) {
            EXPECT_EQ(file_size(r.path.c_str()), r.size) << r.path;
        }
    }
    unlink(empty.c_str());
    unlink(full.c_str());
    rmdir(dir);
}

} // namespace
