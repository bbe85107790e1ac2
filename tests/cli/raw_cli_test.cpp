// Raw records through the whole program: copies, header-only, repair,
// deletion of the input, test mode and refused inputs and outputs.
#include <cmath>

#include "cli.h"

namespace {

using cli::raw_record;
using cli::result;

using RawConversion = cli::test;

TEST_F(RawConversion, CopyKeepsEveryHeaderByteAndSample) {
    raw_record r = cli::event_record(2500);
    // Fields no part of the converter interprets, padding and unused slots.
    r.f64("reserved_a", 1.5, 2).f64("reserved_b", -7.25, 11).u32("xqv_code", 0xA5);
    r.f64("peak", 0.75, 11).f64("dom_freq", 12.5, 7).text("comment", "kept as is");
    for (std::size_t p : cli::bits() == 64
                             ? std::vector<std::size_t>{20, 76, 196, 332, 673, 722, 812}
                             : std::vector<std::size_t>{60, 172, 641, 690, 780})
        r.byte(p, '\x5a');
    put("in.raw", r.bytes());
    result res = run({"in.raw", "out.raw"});
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.err, "");
    EXPECT_TRUE(get("out.raw") == r.bytes());
    EXPECT_EQ(files(), (std::vector<std::string>{"in.raw", "out.raw"}));

    // Header only: no samples, and -r repairs nothing then.
    ASSERT_EQ(run({"-H", "-r", "in.raw", "hdr.raw"}).status, 0);
    EXPECT_TRUE(get("hdr.raw") == r.bytes().substr(0, r.header_size()));
}

TEST_F(RawConversion, RepairReplacesOnlyValuesBeyondTheTolerance) {
    // Three channels; the largest frame is (3, 4, 0): vector sum 5.
    raw_record r;
    r.u32("file_type", QVRAW_FILETYPE_EVENT)
        .signals({QVRAW_SIGNAL_RAW})
        .u32("sensor_scale", 1)
        .u32("rate", 100);
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
    EXPECT_EQ(cli::value_at<std::uint32_t>(out, r.at("nsamples")), 4u);
    EXPECT_EQ(cli::value_at<double>(out, r.at("vsum")), 5.00005);
    EXPECT_EQ(cli::value_at<double>(out, r.at("peak", 1)), 4.0);
    EXPECT_EQ(cli::value_at<double>(out, r.at("peak", 2)), 0.0);
    EXPECT_EQ(cli::value_at<double>(out, r.at("offset", 0)), 1.0);
    EXPECT_EQ(cli::value_at<double>(out, r.at("offset", 1)), 1.0);
    // The samples are untouched; the input too.
    EXPECT_TRUE(out.substr(r.header_size()) == r.bytes().substr(r.header_size()));
    EXPECT_TRUE(get("in.raw") == r.bytes());
}

TEST_F(RawConversion, RepairUsesASinglePrecisionRootAndKeepsOffsetsWithoutFrames) {
    // sqrt(2) rounded to single precision, in both builds.
    raw_record root;
    root.signals({QVRAW_SIGNAL_RAW}).frames({1.0, 1.0, 0.0});
    root.f64("peak", 1.0, 0).f64("peak", 1.0, 1).f64("offset", 1.0, 0).f64("offset", 1.0, 1);
    put("root.raw", root.bytes());
    ASSERT_EQ(run({"-r", "root.raw", "root-out.raw"}).status, 0);
    std::string fixed = get("root-out.raw");
    EXPECT_EQ(cli::value_at<double>(fixed, root.at("vsum")), 1.4142135381698608);

    raw_record none; // a record without frames has no mean
    none.signals({QVRAW_SIGNAL_RAW});
    none.u32("nsamples", 5).f64("offset", 0.25, 0).f64("peak", 0.5, 0).f64("vsum", 0.5);
    put("none.raw", none.bytes());
    ASSERT_EQ(run({"-r", "none.raw", "none-out.raw"}).status, 0);
    std::string out = get("none-out.raw");
    EXPECT_EQ(cli::value_at<std::uint32_t>(out, none.at("nsamples")), 0u);
    EXPECT_EQ(cli::value_at<double>(out, none.at("offset", 0)), 0.25);
    EXPECT_EQ(cli::value_at<double>(out, none.at("peak", 0)), 0.0);
    EXPECT_EQ(cli::value_at<double>(out, none.at("vsum")), 0.0);
}

TEST_F(RawConversion, UnlinkAndTestModeDeleteOnlyAfterSuccess) {
    put("in.raw", cli::event_record(300).bytes());
    result ok = run({"-t", "-u", "in.raw", "copy.raw"});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "> Converting file in.raw\n  Comparing with copy.raw\n"
                      "  Deleting copy.raw\n  Deleting in.raw\n");
    EXPECT_TRUE(files().empty());

    // A repaired copy differs from its input: the copy stays, the input too.
    put("in.raw", cli::event_record(3).bytes());
    result bad = run({"-t", "-r", "-u", "in.raw", "copy.raw"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err.rfind("error: char ", 0), 0u) << bad.err;
    EXPECT_EQ(files(), (std::vector<std::string>{"copy.raw", "in.raw"}));

    ASSERT_EQ(run({"in.raw", "out.raw"}).status, 0);
    // The output has the mode of a normally created file.
    struct stat st;
    ASSERT_EQ(stat(path("out.raw").c_str(), &st), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

} // namespace
