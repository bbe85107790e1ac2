// The rename that never replaces: a file that appears at a directory run's
// output name after the walk looked (another program, another run) keeps
// its place, and the result stays under its temporary name.
#include <cerrno>
#include <regex>

#include "cli.h"
#include "convert.h"
#include "utils.h"

namespace {

using NoReplaceRename = cli::test;

TEST_F(NoReplaceRename, RenamesOntoAFreeNameAndRefusesATakenOne) {
    // Both ways: the rename with its flag, and the hard link used where a
    // file system refuses the flag.
    for (auto *fn : {rename_noreplace, rename_by_link}) {
        SCOPED_TRACE(fn == rename_noreplace ? "rename" : "link");
        put("from", "result");
        ASSERT_EQ(fn(path("from").c_str(), path("free").c_str()), 0);
        EXPECT_FALSE(has("from"));
        EXPECT_EQ(get("free"), "result");

        put("from", "result");
        errno = 0;
        EXPECT_EQ(fn(path("from").c_str(), path("free").c_str()), -1);
        EXPECT_EQ(errno, EEXIST);
        ASSERT_EQ(symlink("nowhere", path("dangling").c_str()), 0);
        EXPECT_EQ(fn(path("from").c_str(), path("dangling").c_str()), -1);
        EXPECT_EQ(errno, EEXIST);
        EXPECT_EQ(get("from"), "result");
        EXPECT_EQ(get("free"), "result");
        EXPECT_FALSE(has("nowhere"));
        EXPECT_EQ(files(), (std::vector<std::string>{"dangling", "free", "from"}));
        for (const std::string &f : files())
            ::unlink(path(f).c_str());
    }
}

TEST_F(NoReplaceRename, AFileMadeDuringTheConversionIsKeptAndTheResultStaysUnderItsTemporaryName) {
    const std::string in = std::string(QV_SOURCE_DIR) + "/examples/event.txt";
    ASSERT_EQ(process_file(in.c_str(), path("ref.xqv").c_str()), 0);
    put("out.xqv", "made by someone else");

    testing::internal::CaptureStderr();
    int rc = process_file(in.c_str(), path("out.xqv").c_str(), output_rule::keep_existing);
    std::string err = testing::internal::GetCapturedStderr();

    // A successful conversion whose result could not take its name.
    EXPECT_EQ(rc, 0);
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(err, m,
                         std::regex("error: Failed to rename tmp file (.*/out\\.xqv\\.\\w{6}) "
                                    "to (.*/out\\.xqv): File exists\n")))
        << err;
    EXPECT_EQ(m[2], path("out.xqv"));
    EXPECT_EQ(get("out.xqv"), "made by someone else");
    EXPECT_TRUE(cli::slurp(m[1]) == get("ref.xqv"));
}

TEST_F(NoReplaceRename, InTestModeAFileThatHoldsTheNameIsNeitherComparedNorDeleted) {
    // Another program's file at the test copy's name, equal to the input:
    // comparing it would pass, and its deletion and -u's would leave the
    // record under a temporary name only.
    put("in.txt", cli::slurp(std::string(QV_SOURCE_DIR) + "/examples/event.txt"));
    put("in.txt.txt", get("in.txt"));
    testing_mode = 1;
    unlink_input_file = 1;
    testing::internal::CaptureStderr();
    int rc = process_file(path("in.txt").c_str(), path("in.txt.txt").c_str(),
                          output_rule::keep_existing);
    std::string err = testing::internal::GetCapturedStderr();
    testing_mode = 0;
    unlink_input_file = 0;

    EXPECT_EQ(rc, -1);
    EXPECT_NE(err.find("Failed to rename tmp file"), std::string::npos) << err;
    EXPECT_EQ(err.find("Files have"), std::string::npos) << err;
    EXPECT_EQ(get("in.txt.txt"), get("in.txt"));
    EXPECT_EQ(files().size(), 3u) << "input, the other file, the result under its temporary name";
}

} // namespace
