// Raw records through the whole program: copies, header-only, repair,
// deletion of the input, test mode and refused inputs.
#include <cmath>
#include <regex>

#include "cli.h"

namespace {

using cli::raw_record;
using cli::result;

using RawConversion = cli::test;

double f64_at(const std::string &bytes, std::size_t off) {
    double v;
    std::memcpy(&v, bytes.data() + off, 8);
    return v;
}

std::uint32_t u32_at(const std::string &bytes, std::size_t off) {
    std::uint32_t v;
    std::memcpy(&v, bytes.data() + off, 4);
    return v;
}

TEST_F(RawConversion, CopyKeepsEveryHeaderByteAndSample) {
    raw_record r = cli::event_record(2500);
    // Fields no part of the converter interprets, padding and unused slots.
    r.f64("reserved_a", 1.5, 2).f64("reserved_b", -7.25, 11).u32("xqv_code", 0xA5);
    r.f64("peak", 0.75, 11).f64("dom_freq", 12.5, 7).text("comment", "kept as is");
    std::string &h = r.header();
    std::size_t pads64[] = {20, 76, 196, 332, 673, 722, 812};
    std::size_t pads32[] = {60, 172, 641, 690, 780};
    if (cli::bits() == 64)
        for (auto p : pads64)
            h[p] = '\x5a';
    else
        for (auto p : pads32)
            h[p] = '\x5a';
    put("in.raw", r.bytes());

    result res = run({"-d", "in.raw", "out.raw"});
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.err, "");
    std::regex trace("> Converting file in\\.raw\n"
                     "    Opening in\\.raw\n"
                     "    Opening out\\.raw\\.[A-Za-z0-9]{6}\n"
                     "    Reading header\n"
                     "    Writing header\n"
                     "    Read 1024 samples\n    Write 1024 samples\n"
                     "    Read 1024 samples\n    Write 1024 samples\n"
                     "    Read 452 samples\n    Write 452 samples\n"
                     "    Read 0 samples\n");
    EXPECT_TRUE(std::regex_match(res.out, trace)) << res.out;
    EXPECT_TRUE(get("out.raw") == r.bytes());
    EXPECT_EQ(files(), (std::vector<std::string>{"in.raw", "out.raw"}));
}

TEST_F(RawConversion, HeaderOnlyWritesNoSamplesAndRepairsNothing) {
    raw_record r = cli::event_record(10);
    r.f64("peak", 9.0, 0);
    put("in.raw", r.bytes());
    result res = run({"-H", "-r", "in.raw", "out.raw"});
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.out, "> Converting file in.raw\n");
    EXPECT_TRUE(get("out.raw") == r.bytes().substr(0, r.header_size()));
}

TEST_F(RawConversion, RepairReplacesOnlyValuesBeyondTheTolerance) {
    // Three channels; the largest frame is (3, 4, 0): vector sum 5.
    raw_record r;
    r.u32("file_type", 1).signals({1}).u32("sensor_scale", 1).u32("rate", 100);
    r.frames({0.5, -1.0, 0.0, 3.0, 4.0, 0.0, -0.5, 1.0, 0.0, 1.0, 0.0, 0.0});
    r.u32("nsamples", 7);   // counted exactly
    r.f64("vsum", 5.00005); // within the tolerance
    r.f64("peak", 3.0, 0).f64("peak", 4.0002, 1).f64("peak", NAN, 2);
    r.f64("offset", 1.0, 0).f64("offset", 1.0, 1).f64("offset", 0.0, 2);
    put("in.raw", r.bytes());

    result res = run({"-r", "-d", "in.raw", "out.raw"});
    EXPECT_EQ(res.status, 0);
    EXPECT_NE(res.out.find("    Read 4 samples\n    Write 4 samples\n    Read 0 samples\n"
                           "    Repairing samples count: 7 -> 4\n"
                           "    Repairing peak[1]: 4.000200 -> 4.000000\n"
                           "    Repairing peak[2]: nan -> 0.000000\n"
                           "    Writing header\n"),
              std::string::npos)
        << res.out;
    std::string out = get("out.raw");
    raw_record probe;
    EXPECT_EQ(u32_at(out, probe.at("nsamples")), 4u);
    EXPECT_EQ(f64_at(out, probe.at("vsum")), 5.00005);
    EXPECT_EQ(f64_at(out, probe.at("peak", 1)), 4.0);
    EXPECT_EQ(f64_at(out, probe.at("peak", 2)), 0.0);
    EXPECT_EQ(f64_at(out, probe.at("offset", 0)), 1.0);
    EXPECT_EQ(f64_at(out, probe.at("offset", 1)), 1.0);
    // The samples are untouched; the input too.
    EXPECT_TRUE(out.substr(r.header_size()) == r.bytes().substr(r.header_size()));
    EXPECT_TRUE(get("in.raw") == r.bytes());
}

TEST_F(RawConversion, RepairUsesASinglePrecisionRootAndSkipsAMatchingHeader) {
    // One VM VSum channel with samples 3 and -4: peak 4, offset -0.5, vsum 4.
    raw_record one;
    one.signals({6}).frames({3.0, -4.0});
    put("one.raw", one.bytes());
    ASSERT_EQ(run({"-r", "one.raw", "one-out.raw"}).status, 0);
    std::string out = get("one-out.raw");
    EXPECT_EQ(f64_at(out, one.at("peak", 0)), 4.0);
    EXPECT_EQ(f64_at(out, one.at("offset", 0)), -0.5);
    EXPECT_EQ(f64_at(out, one.at("vsum")), 4.0);

    // sqrt(2) rounded to single precision, in both builds.
    raw_record two;
    two.signals({6}).frames({1.0, -1.0});
    two.f64("vsum", 0.0);
    put("two.raw", two.bytes());
    ASSERT_EQ(run({"-r", "two.raw", "two-out.raw"}).status, 0);
    raw_record root;
    root.signals({1}).frames({1.0, 1.0, 0.0});
    root.f64("peak", 1.0, 0).f64("peak", 1.0, 1).f64("offset", 1.0, 0).f64("offset", 1.0, 1);
    put("root.raw", root.bytes());
    ASSERT_EQ(run({"-r", "root.raw", "root-out.raw"}).status, 0);
    EXPECT_EQ(f64_at(get("root-out.raw"), root.at("vsum")), 1.4142135381698608);

    // A header that already matches is written once: no repair lines.
    std::string fixed = get("root-out.raw");
    put("fixed.raw", fixed);
    result res = run({"-r", "-d", "fixed.raw", "fixed-out.raw"});
    EXPECT_EQ(res.out.find("Repairing"), std::string::npos) << res.out;
    EXPECT_EQ(res.out.find("Writing header", res.out.find("Read 0")), std::string::npos);
    EXPECT_TRUE(get("fixed-out.raw") == fixed);
}

TEST_F(RawConversion, RepairOfARecordWithoutFramesKeepsItsOffsets) {
    raw_record r;
    r.signals({1});
    r.u32("nsamples", 5).f64("offset", 0.25, 0).f64("peak", 0.5, 0).f64("vsum", 0.5);
    put("in.raw", r.bytes());
    ASSERT_EQ(run({"-r", "in.raw", "out.raw"}).status, 0);
    std::string out = get("out.raw");
    EXPECT_EQ(u32_at(out, r.at("nsamples")), 0u);
    EXPECT_EQ(f64_at(out, r.at("offset", 0)), 0.25);
    EXPECT_EQ(f64_at(out, r.at("peak", 0)), 0.0);
    EXPECT_EQ(f64_at(out, r.at("vsum")), 0.0);
}

TEST_F(RawConversion, UnlinkDeletesTheInputOnlyAfterSuccess) {
    put("in.raw", cli::event_record(5).bytes());
    result ok = run({"-u", "in.raw", "out.raw"});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "> Converting file in.raw\n  Deleting in.raw\n");
    EXPECT_EQ(files(), std::vector<std::string>{"out.raw"});

    put("bad.raw", std::string(100, 'x'));
    result bad = run({"-u", "bad.raw", "out2.raw"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(files(), (std::vector<std::string>{"bad.raw", "out.raw"}));
}

TEST_F(RawConversion, TestModeComparesAndDeletesTheCopy) {
    put("in.raw", cli::event_record(300).bytes());
    result ok = run({"-t", "-u", "in.raw", "copy.raw"});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "> Converting file in.raw\n  Comparing with copy.raw\n"
                      "  Deleting copy.raw\n  Deleting in.raw\n");
    EXPECT_TRUE(files().empty());

    // A repaired copy differs from its input: the copy stays, the input too.
    raw_record r = cli::event_record(3);
    put("in.raw", r.bytes());
    result bad = run({"-t", "-r", "-u", "in.raw", "copy.raw"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err.rfind("error: char ", 0), 0u) << bad.err;
    EXPECT_EQ(files(), (std::vector<std::string>{"copy.raw", "in.raw"}));
}

TEST_F(RawConversion, RefusedInputsLeaveNothingBehind) {
    raw_record magic = cli::event_record(3);
    magic.byte(7, 'x');
    raw_record twelve = cli::event_record(3);
    twelve.signals({1, 2, 3, 4});
    std::string good = cli::event_record(3).bytes();
    struct {
        std::string bytes;
        std::string err;
    } cases[] = {
        {magic.bytes(),
         "error: Failed to open in.raw: [][QVRAW] libqvraw: Failed to read header\n"},
        {twelve.bytes(),
         "error: Failed to open in.raw: [][QVRAW] libqvraw: Failed to read header\n"},
        {good.substr(0, 100),
         "error: Failed to open in.raw: [][QVRAW] libqvraw: Failed to read header\n"},
    };
    for (auto &c : cases) {
        put("in.raw", c.bytes);
        result r = run({"-u", "in.raw", "out.raw"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "> Converting file in.raw\n");
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(files(), std::vector<std::string>{"in.raw"});
        EXPECT_TRUE(get("in.raw") == c.bytes);
    }
}

TEST_F(RawConversion, UnusableOutputNamesAreRefused) {
    put("in.raw", cli::event_record(3).bytes());
    result unknown = run({"in.raw", "out.doc"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(std::regex_match(
        unknown.err, std::regex("error: Failed to create out\\.doc\\.[A-Za-z0-9]{6}: \\[\\] "
                                "Invalid format\n")))
        << unknown.err;

    std::string longname(505 - 4, 'n');
    result toolong = run({"in.raw", longname + ".raw"});
    EXPECT_EQ(toolong.status, 1);
    EXPECT_EQ(toolong.err, "error: Failed to create tmp file from " + longname + ".raw\n");

    result nodir = run({"in.raw", "no/such/dir/out.raw"});
    EXPECT_EQ(nodir.status, 1);
    EXPECT_EQ(nodir.err, "error: Failed to create tmp file from no/such/dir/out.raw\n");
    EXPECT_EQ(files(), std::vector<std::string>{"in.raw"});
}

TEST_F(RawConversion, OutputGetsTheModeOfANormallyCreatedFile) {
    put("in.raw", cli::event_record(3).bytes());
    ASSERT_EQ(run({"in.raw", "out.raw"}).status, 0);
    struct stat st;
    ASSERT_EQ(stat(path("out.raw").c_str(), &st), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

} // namespace
