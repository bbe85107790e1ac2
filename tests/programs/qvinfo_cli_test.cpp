// qvinfo: what it lists of a walk, its table, times whatever the machine's
// zone, and failures reported with qvconv's texts. (The JSON objects are
// checked against the headers field by field in check_outputs.py.)
#include <set>
#include <sstream>

#include "sibling.h"

namespace {

using Qvinfo = sibling_test;

std::vector<std::string> lines(const std::string &s) {
    std::vector<std::string> v;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);)
        v.push_back(l);
    return v;
}

std::vector<std::string> words(const std::string &line) {
    std::vector<std::string> v;
    std::istringstream in(line);
    for (std::string w; in >> w;)
        v.push_back(w);
    return v;
}

TEST_F(Qvinfo, ListsTheRecordsOfAWalkAsQvconvWalksThem) {
    mkdir("d");
    mkdir("d/sub");
    mkdir("d/.hidden");
    put("d/a.raw", cli::event_record(40).text("name", "Pier 4").bytes());
    put("d/B.RAW", cli::background_record(3).bytes());
    put("d/notes.doc", "notes");
    put("d/sub/c.raw", cli::event_record(1).bytes());
    put("d/.hidden/h.raw", cli::event_record(1).bytes());

    cli::result r = info({"-R", "d/"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    auto l = lines(r.out);
    ASSERT_EQ(l.size(), 4u) << r.out;
    EXPECT_EQ(words(l[0]),
              (std::vector<std::string>{"PATH", "FORMAT", "TYPE", "START", "SECONDS", "FRAMES",
                                        "RATE", "CH", "UNIT", "PEAKS", "VSUM", "RECORDER"}));
    // A directory's files in the system's order, then its subdirectories.
    EXPECT_EQ(std::set<std::string>({words(l[1])[0], words(l[2])[0]}),
              std::set<std::string>({"d/a.raw", "d/B.RAW"}));
    EXPECT_EQ(words(l[3])[0], "d/sub/c.raw");
    for (std::size_t i = 1; i < l.size(); i++) {
        EXPECT_EQ(l[i].find("mm/s"), l[0].find("UNIT")) << "columns aligned";
        if (l[i].find("d/a.raw") == 0) {
            EXPECT_EQ(words(l[i]),
                      (std::vector<std::string>{"d/a.raw", "raw", "event",
                                                "2023-11-14T22:13:20.250000Z", "0.039", "40",
                                                "1024", "3", "mm/s", "0,0,0", "0", "Pier", "4"}));
        } else if (l[i].find("d/B.RAW") == 0) {
            EXPECT_EQ(words(l[i])[4], "180.000") << "3 periods of 60 s";
        }
    }

    EXPECT_EQ(lines(info({"d"}).out).size(), 3u) << "subdirectories only with -R";
}

TEST_F(Qvinfo, ALongListingIsPrintedInBlocksWhoseColumnsOnlyWiden) {
    // A block of 1024 short names, then a few more and a long one: the
    // first block is printed before the long name is seen.
    std::vector<std::string> args;
    for (std::size_t i = 0; i < 1030; i++)
        args.push_back(std::to_string(i) + ".raw");
    args.push_back(std::string(40, 'w') + ".raw");
    for (const std::string &a : args)
        put(a, cli::event_record(0).bytes());
    cli::result r = info(args);
    EXPECT_EQ(r.status, 0);
    auto l = lines(r.out);
    ASSERT_EQ(l.size(), args.size() + 1) << "one heading";
    std::size_t unit = l[0].find("UNIT"), last = unit;
    for (std::size_t i = 1; i < l.size(); i++) {
        std::size_t at = l[i].find("mm/s");
        ASSERT_NE(at, std::string::npos) << l[i];
        EXPECT_GE(at, last) << "line " << i;
        if (i <= 1024) {
            EXPECT_EQ(at, unit) << "the first block is aligned with its heading";
        }
        last = at;
    }
    EXPECT_GT(last, unit) << "the last block is wider";
}

TEST_F(Qvinfo, TheExamplesTableIsExact) {
    for (const char *f : {"event.txt", "event.xqv", "background.bqv"})
        put(f, cli::slurp(std::string(QV_SOURCE_DIR) + "/examples/" + f));
    cli::result r = info({"event.txt", "event.xqv", "background.bqv"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "PATH            FORMAT  TYPE        START                       SECONDS  FRAMES  "
              "RATE  CH  UNIT  PEAKS                VSUM  RECORDER\n"
              "event.txt       txt     event       2025-12-01T10:00:00Z          3.000    3072  "
              "1024   3  mm/s  12.12,18.1,29.86    36.96  Bridge pier 4\n"
              "event.xqv       xqv     event       2025-12-01T10:00:00+00:00     3.000    3072  "
              "1024   3  mm/s  12.12,18.1,29.86        0  Bridge pier 4\n"
              "background.bqv  bqv     background  2025-12-01T10:00:00+00:00  3600.000      60  "
              "1024   4  mm/s  12.12,18.1,29.86,0      0  Bridge pier 4\n");
}

TEST_F(Qvinfo, TimesDependOnTheMachinesZoneOnlyForLocalTimeWithoutAZone) {
    const struct {
        std::uint32_t mode;
        const char *utc, *amsterdam; // start in TZ=UTC and TZ=Europe/Amsterdam
    } cases[] = {
        {1, "2023-11-14T22:13:20.250000Z", "2023-11-14T22:13:20.250000Z"},
        {3, "2023-11-14T23:13:20.250000+01:00", "2023-11-14T23:13:20.250000+01:00"},
        {2, "2023-11-14T22:13:20.250000+00:00", "2023-11-14T23:13:20.250000+01:00"},
    };
    for (auto &c : cases) {
        auto rec = cli::event_record(2).u32("time_mode", c.mode).u32("utc_offset", 3600);
        put("r.raw", rec.text("region", "Europe").text("city", "Paris").bytes());
        auto start = [&](const char *tz) {
            std::string out = info({"--json", "r.raw"}, tz).out;
            std::size_t at = out.find("\"start\":\"") + 9;
            return out.substr(at, out.find('"', at) - at);
        };
        EXPECT_EQ(start("UTC"), c.utc) << "time mode " << c.mode;
        EXPECT_EQ(start("Europe/Amsterdam"), c.amsterdam) << "time mode " << c.mode;
    }
}

TEST_F(Qvinfo, FailuresAreQvconvsErrorLinesAndTheWalkGoesOn) {
    mkdir("d");
    put("d/good.raw", cli::event_record(3).bytes());
    put("d/bad.raw", "not a record");
    put("d/short.xqv", std::string(100, 'x'));
    put("d/nofile.txt", "# [Recorder]\n# [Sensor]\n# Scale=1\n# [Acquisition]\n");
    put("notes.doc", "notes");

    cli::result r = info({"d", "notes.doc", "missing", "d/good.raw"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.out).size(), 3u) << "d/good.raw twice";
    std::vector<std::string> want;
    for (const char *in : {"d/bad.raw", "d/short.xqv", "d/nofile.txt", "notes.doc", "missing"}) {
        cli::result conv = run({in, "out.raw"});
        ASSERT_EQ(conv.status, 1) << in;
        EXPECT_NE(r.err.find(conv.err), std::string::npos) << conv.err << "not in\n" << r.err;
    }
    EXPECT_EQ(lines(r.err).size(), 5u) << r.err;
    EXPECT_EQ(files(), (std::vector<std::string>{"d", "d/bad.raw", "d/good.raw", "d/nofile.txt",
                                                 "d/short.xqv", "notes.doc"}));
}

TEST_F(Qvinfo, BothProgramsTakeQvconvsUsageConventions) {
    for (const char *p : {"qvinfo", "qvplot"}) {
        cli::result help = sibling(p, {"-h"});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind(program(p).substr(program(p).rfind('/') + 1) + " - version ", 0),
                  0u)
            << help.out;
        for (auto args : {std::vector<std::string>{}, {"--bogus", "x"}}) {
            cli::result bad = sibling(p, args);
            EXPECT_EQ(bad.status, 1);
            EXPECT_NE(bad.err.find("error: Wrong usage, please invoke with --help for help\n"),
                      std::string::npos);
        }
    }
}

} // namespace
