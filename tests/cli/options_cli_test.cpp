// The command line: usage text, option errors and the choice of mode.
#include "cli.h"

namespace {

using cli::result;

std::string usage(const std::string &prog) {
    std::string u = prog +
                    " - version 1.4.5, <qvconv-support@example.org>\n"
                    "\n"
                    "Usage: " +
                    prog +
                    " has two operating modes.\n"
                    "It can process a single file:\n"
                    "  " +
                    prog +
                    " [OPTIONS] <input file> <output file>\n"
                    "It can process a whole directory:\n"
                    "  " +
                    prog +
                    " [OPTIONS] <input directory> <format>\n"
                    "\n"
                    "Available formats are:\n"
                    "  txt, xqv/bqv, raw\n"
                    "Input file format is guessed using the file extension.\n"
                    "Output file format depends on the mode:\n"
                    "- when converting a file, the file extension is used.\n"
                    "- when converting a directory, the format must be specified in the\n"
                    "  command-line, and only files of a different format are converted.\n"
                    "\n"
                    "Options for both modes:\n"
                    "  -H --header    Process header only.\n"
                    "  -r --repair    Repair header using sample values.\n"
                    "  -u --unlink    Remove input file if conversion succeeds.\n"
                    "  -t --test      Enable testing mode.\n"
                    "Options for directory mode:\n"
                    "  -R --recursive Also process subdirectories.\n"
                    "Misc options:\n"
                    "  -d --debug     Enable debug messages.\n"
                    "  -h --help      Show this usage message.\n"
                    "\n";
    return u;
}

std::string prog_name() {
    std::string p = cli::program();
    return p.substr(p.rfind('/') + 1);
}

using CommandLine = cli::test;

TEST_F(CommandLine, HelpPrintsTheUsageTextWhateverElseIsGiven) {
    for (auto args : std::vector<std::vector<std::string>>{
             {"-h"}, {"--help"}, {"-h", "a", "b", "c"}, {"-h", "-h"}, {"x", "--hel"}}) {
        result r = run(args);
        EXPECT_EQ(r.status, 0) << args[0];
        EXPECT_EQ(r.out, usage(prog_name()));
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(files().empty());
}

TEST_F(CommandLine, RepeatedOptionsAreEachReportedByLongName) {
    put("in.raw", "x");
    struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"-r", "-r", "in.raw", "out.raw"},
         "error: option 'repair' already used\nerror: terminate because of early error\n"},
        {{"-r", "--repair", "in.raw", "out.raw"},
         "error: option 'repair' already used\nerror: terminate because of early error\n"},
        {{"-H", "--header", "-u", "-u", "-h"},
         "error: option 'header' already used\nerror: option 'unlink' already used\n"
         "error: terminate because of early error\n"},
        {{"-tt", "-RR", "-dd"},
         "error: option 'test' already used\nerror: option 'recursive' already used\n"
         "error: option 'debug' already used\nerror: terminate because of early error\n"},
    };
    for (auto &c : cases) {
        result r = run(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(files(), std::vector<std::string>{"in.raw"});
}

TEST_F(CommandLine, UnknownOptionEndsAfterTheParserDiagnostic) {
    result r = run({"-x", "-h"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string last = "error: terminate because of early error\n";
    ASSERT_GE(r.err.size(), last.size());
    EXPECT_EQ(r.err.substr(r.err.size() - last.size()), last);
    EXPECT_NE(r.err.find("-- 'x'"), std::string::npos) << r.err;
}

TEST_F(CommandLine, PositionalArgumentsDecideTheMode) {
    put("in.raw", "");
    mkdir("d");
    const std::string wrong = "error: Wrong usage, please invoke with --help for help\n";
    struct {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    } cases[] = {
        {{}, 1, "", wrong},
        {{"in.raw"}, 1, "", wrong},
        {{"in.raw", "a", "b"}, 1, "", wrong},
        {{"missing", "out.raw"}, 1, "", "error: missing is neither a file or a directory\n"},
        {{"d", "doc"}, 1, "", "error: Invalid format: doc\n"},
        {{"d", ".raw"}, 1, "", "error: Invalid format: .raw\n"},
        // An empty input is no conversion; options after the arguments count.
        {{"in.raw", "out.raw", "-R"}, 0, "> Converting file in.raw\n  File is empty\n", ""},
        {{"d///", "BQV"},
         0,
         "Entering dir d\nLeaving dir d\n-- Finished --\n0 files were converted, 0 failures\n",
         ""},
        {{"-t", "d", "raw"},
         0,
         "Entering dir d\nLeaving dir d\n-- Finished --\n0 files were converted, 0 failures\n"
         "0 files were tested, 0 failures\n",
         ""},
    };
    for (auto &c : cases) {
        result r = run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(files(), (std::vector<std::string>{"d", "in.raw"}));
}

TEST_F(CommandLine, EmptyInputWithUnlinkIsDeleted) {
    put("in.raw", "");
    result r = run({"-u", "in.raw", "out.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "> Converting file in.raw\n  File is empty\n  Deleting in.raw\n");
    EXPECT_TRUE(files().empty());
}

} // namespace
