// Path utilities: the fitting rules of the 512-byte path buffers. (Temporary
// names are checked through the program's trace and errors.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

} // namespace
