// Directory mode: which files are converted, output names, subdirectories,
// the summary and the exit status.
#include "cli.h"

namespace {

using cli::result;

using DirectoryMode = cli::test;

TEST_F(DirectoryMode, TestModeCopiesEachRecordOfTheTargetFormatAndLeavesTheTreeAsItWas) {
    mkdir("d");
    mkdir("d/sub");
    mkdir("d/.hidden");
    put("d/a.raw", cli::event_record(40).bytes());
    put("d/B.RAW", cli::event_record(2).bytes());
    put("d/notes.doc", "notes");
    put("d/sub/c.raw", cli::event_record(1).bytes());
    put("d/.hidden/h.raw", cli::event_record(1).bytes());
    auto before = files();

    result r = run({"-t", "-R", "-d", "d/", "raw"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(files(), before);
    // Every file of a directory comes before its subdirectories.
    auto pos = [&](const std::string &s) { return r.out.find(s); };
    EXPECT_NE(pos("> Converting file d/a.raw\n  Comparing with d/a.raw.raw\n"
                  "  Deleting d/a.raw.raw\n"),
              std::string::npos);
    EXPECT_NE(pos("> Converting file d/B.RAW\n"), std::string::npos);
    EXPECT_NE(pos("> Ignoring unknown file d/notes.doc\n"), std::string::npos);
    EXPECT_NE(pos("Ignoring dir d/.hidden\n"), std::string::npos);
    EXPECT_LT(pos("d/B.RAW"), pos("Entering dir d/sub\n"));
    EXPECT_LT(pos("Entering dir d/sub\n> Converting file d/sub/c.raw\n"), pos("Leaving dir d\n"));
    EXPECT_EQ(r.out.substr(r.out.find("-- Finished --")),
              "-- Finished --\n3 files were converted, 0 failures\n"
              "3 files were tested, 0 failures\n");
}

TEST_F(DirectoryMode, StatusIsOneOnlyWhenEveryConversionFailed) {
    mkdir("d");
    put("d/bad.raw", "not a record");
    result all_failed = run({"-t", "d", "raw"});
    EXPECT_EQ(all_failed.status, 1);
    EXPECT_NE(all_failed.out.find("1 files were converted, 1 failures\n"
                                  "0 files were tested, 0 failures\n"),
              std::string::npos);
    EXPECT_NE(all_failed.err.find("error: Failed to open d/bad.raw: "), std::string::npos);

    put("d/good.raw", cli::event_record(3).bytes());
    result some = run({"-t", "d", "raw"});
    EXPECT_EQ(some.status, 0);
    EXPECT_NE(some.out.find("2 files were converted, 1 failures\n"), std::string::npos);
    EXPECT_EQ(files(), (std::vector<std::string>{"d", "d/bad.raw", "d/good.raw"}));
}

TEST_F(DirectoryMode, ADirectoryThatCannotBeOpenedIsSkipped) {
    if (geteuid() == 0) GTEST_SKIP() << "root opens every directory";
    mkdir("d");
    mkdir("d/locked");
    chmod(path("d/locked").c_str(), 0);
    result r = run({"-R", "d", "txt"});
    chmod(path("d/locked").c_str(), 0755);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Entering dir d/locked\nLeaving dir d\n"), std::string::npos);
    EXPECT_NE(r.err.find("error: Failed to open dir d/locked: Permission denied\n"),
              std::string::npos);
}

TEST_F(DirectoryMode, PathsBeyondTheBufferAreFilenameErrors) {
    // The entry's path takes 508 characters: the copy's name (.raw appended)
    // no longer fits in 512 bytes.
    std::string a(250, 'a');
    mkdir("d");
    mkdir("d/" + a);
    std::string b(251, 'b'); // a 255-character file name
    put("d/" + a + "/" + b + ".raw", cli::event_record(1).bytes());
    result r = run({"-R", "-t", "d", "raw"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("error: Filename error on "), std::string::npos) << r.err;
}

TEST_F(DirectoryMode, OutputNamesFollowTheTargetAndTheMode) {
    put("ev.raw", cli::event_record(5).bytes());
    put("bg.raw", cli::background_record(5).bytes());
    ASSERT_EQ(run({"ev.raw", "ev.txt"}).status, 0);
    ASSERT_EQ(run({"ev.raw", "ev.xqv"}).status, 0);
    ASSERT_EQ(run({"bg.raw", "bg.bqv"}).status, 0);
    struct {
        const char *from, *name, *target;
        bool testing;
        const char *produced; // null: not converted
    } rows[] = {
        {"ev.txt", "a.txt", "raw", false, "a.raw"},
        {"ev.raw", "a.raw", "xqv", false, "a.XQV"},
        {"ev.xqv", "a.xqv", "bqv", false, nullptr},
        {"ev.raw", "a.RAW", "raw", false, nullptr},
        {"ev.raw", "a.raw", "raw", true, "a.raw.raw"},
        {"ev.xqv", "a.xqv", "xqv", true, "a.xqv.XQV"},
        {"bg.bqv", "a.bqv", "xqv", true, nullptr},
    };
    int n = 0;
    for (auto &row : rows) {
        std::string d = "row" + std::to_string(n++);
        mkdir(d);
        put(d + "/" + row.name, get(row.from));
        std::vector<std::string> args{d, row.target};
        if (row.testing) args.insert(args.begin(), "-t");
        result r = run(args);
        EXPECT_EQ(r.status, 0) << d;
        EXPECT_EQ(r.err, "") << d;
        std::string in = d + "/" + row.name;
        if (!row.produced) {
            EXPECT_EQ(r.out.find("> Converting"), std::string::npos) << d << r.out;
            continue;
        }
        std::string out = d + "/" + row.produced;
        EXPECT_NE(r.out.find("> Converting file " + in + "\n"), std::string::npos) << r.out;
        if (row.testing) { // compared with its input, then deleted
            EXPECT_NE(r.out.find("  Comparing with " + out + "\n  Deleting " + out + "\n"),
                      std::string::npos)
                << r.out;
        }
        EXPECT_EQ(has(out), !row.testing) << out;
    }
}

} // namespace
