// Path utilities: the fitting rules of the 512-byte path buffers and the
// exclusive creation of temporary names.
#include <gtest/gtest.h>

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

TEST(PathUtilities, TrailingSeparatorsAreRemoved) {
    struct {
        const char *in, *out;
    } cases[] = {{"a/b//", "a/b"}, {"a", "a"}, {"///", ""}, {"", ""}, {"a/./", "a/."}};
    for (auto &c : cases) {
        char buf[16];
        std::strcpy(buf, c.in);
        strip_trailing_sep(buf);
        EXPECT_STREQ(buf, c.out);
        std::strcpy(buf, c.in);
        dirname_strip(buf);
        EXPECT_STREQ(buf, c.out);
    }
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

TEST(PathUtilities, TemporaryNamesAreCreatedExclusively) {
    char dir[] = "/tmp/qvconv-utils-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string base = std::string(dir) + "/out.raw";
    char a[PATH_BUF_SIZE], b[PATH_BUF_SIZE];
    path_copy(a, sizeof a, base.c_str());
    path_copy(b, sizeof b, base.c_str());
    ASSERT_EQ(filename_mktemp(a, sizeof a), 0);
    ASSERT_EQ(filename_mktemp(b, sizeof b), 0);
    EXPECT_STRNE(a, b);
    EXPECT_EQ(std::strlen(a), base.size() + 7);
    EXPECT_EQ(std::string(a).substr(0, base.size() + 1), base + ".");
    EXPECT_TRUE(is_file(a));
    EXPECT_TRUE(is_empty(a));
    EXPECT_EQ(file_size(a), 0u);

    // No room for the suffix, or nowhere to create it.
    std::string longname(505, 'n');
    char c[PATH_BUF_SIZE];
    path_copy(c, sizeof c, longname.c_str());
    EXPECT_EQ(filename_mktemp(c, sizeof c), -1);
    path_copy(c, sizeof c, (std::string(dir) + "/missing/out.raw").c_str());
    EXPECT_EQ(filename_mktemp(c, sizeof c), -1);

    EXPECT_TRUE(is_dir(dir));
    EXPECT_FALSE(is_file(dir));
    unlink(a);
    unlink(b);
    rmdir(dir);
    EXPECT_FALSE(is_dir(dir));
    EXPECT_TRUE(is_empty(dir));
}

} // namespace
