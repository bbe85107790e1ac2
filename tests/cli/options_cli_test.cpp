// The command line: usage text, option errors and the choice of mode.
#include "cli.h"

namespace {

using cli::result;

// The usage text, '%' standing for the program's name.
std::string usage(const std::string &prog) {
    std::string u = R"(% - version 1.4.5, <qvconv-support@example.org>

Usage: % has two operating modes.
It can process a single file:
  % [OPTIONS] <input file> <output file>
It can process a whole directory:
  % [OPTIONS] <input directory> <format>

Available formats are:
  txt, xqv/bqv, raw
Input file format is guessed using the file extension.
Output file format depends on the mode:
- when converting a file, the file extension is used.
- when converting a directory, the format must be specified in the
  command-line, and only files of a different format are converted.

Options for both modes:
  -H --header    Process header only.
  -r --repair    Repair header using sample values.
  -u --unlink    Remove input file if conversion succeeds.
  -t --test      Enable testing mode.
Options for directory mode:
  -R --recursive Also process subdirectories.
Misc options:
  -d --debug     Enable debug messages.
  -h --help      Show this usage message.

)";
    for (std::size_t p; (p = u.find('%')) != std::string::npos;)
        u.replace(p, 1, prog);
    return u;
}

std::string prog_name() {
    std::string p = cli::program();
    return p.substr(p.rfind('/') + 1);
}

using CommandLine = cli::test;

TEST_F(CommandLine, HelpPrintsTheUsageTextWhateverElseIsGiven) {
    for (auto args :
         std::vector<std::vector<std::string>>{{"--help"}, {"x", "-h", "-h", "--hel"}}) {
        result r = run(args);
        EXPECT_EQ(r.status, 0) << args[0];
        EXPECT_EQ(r.out, usage(prog_name()));
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(files().empty());
}

TEST_F(CommandLine, OptionsAndArgumentsChooseTheModeOrEndWithTheirError) {
    put("in.raw", "");
    mkdir("d");
    const std::string wrong = "error: Wrong usage, please invoke with --help for help\n";
    const std::string end = "error: terminate because of early error\n";
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"-H", "--header", "-u", "-u", "-h"},
         "error: option 'header' already used\nerror: option 'unlink' already used\n" + end},
        {{"-tt", "-RR", "-dd"},
         "error: option 'test' already used\nerror: option 'recursive' "
         "already used\nerror: option 'debug' already used\n" +
             end},
        {{}, wrong},
        {{"in.raw"}, wrong},
        {{"in.raw", "a", "b"}, wrong},
        {{"missing", "out.raw"}, "error: missing is neither a file or a directory\n"},
        {{"d", "doc"}, "error: Invalid format: doc\n"},
        {{"d", ".raw"}, "error: Invalid format: .raw\n"},
    };
    for (auto &[args, err] : refused) {
        result r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, err);
    }
    // An empty input is no conversion; options after the arguments count.
    const std::pair<std::vector<std::string>, std::string> accepted[] = {
        {{"in.raw", "out.raw", "-R"}, "> Converting file in.raw\n  File is empty\n"},
        {{"d///", "BQV"},
         "Entering dir d\nLeaving dir d\n-- Finished --\n"
         "0 files were converted, 0 failures\n"},
        {{"-u", "in.raw", "out.txt"},
         "> Converting file in.raw\n  File is empty\n  Deleting in.raw\n"},
    };
    for (auto &[args, out] : accepted) {
        result r = run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, out);
        EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(files(), (std::vector<std::string>{"d"}));
    // An unknown option ends after the parser's own diagnostic.
    result r = run({"-x", "-h"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("-- 'x'"), std::string::npos) << r.err;
    EXPECT_TRUE(r.err.ends_with(end)) << r.err;
}

} // namespace
