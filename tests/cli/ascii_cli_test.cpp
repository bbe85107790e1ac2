// Text records through the whole program: raw to text and back, test mode
// on text, and a repair that rewrites the text header in place.
#include <cmath>

#include "cli.h"

namespace {

using TextConversion = cli::test;

bool contains(const std::string &s, const std::string &part) {
    return s.find(part) != std::string::npos;
}

TEST_F(TextConversion, RawToTextAndBackKeepsHeaderAndSamples) {
    cli::raw_record r = cli::event_record(2500);
    r.f64("peak", 0.5, 0).f64("vsum", 0.75).text("name", "Bridge");
    put("in.raw", r.bytes());
    cli::result res = run({"in.raw", "out.txt"});
    ASSERT_EQ(res.status, 0) << res.err;
    std::string text = get("out.txt");
    for (const char *line : {"# Name=Bridge\r\n", "# Samples=2500\r\n", "# Peak-X=63.5\r\n",
                             "# StartTime=22:13:20.250000\r\n", "# 4=Raw Z\r\n# \r\n0.000000 "})
        EXPECT_TRUE(contains(text, line)) << line;

    res = run({"-t", "out.txt", "copy.txt"}); // the writer reproduces its own file
    EXPECT_EQ(res.status, 0) << res.err;
    EXPECT_EQ(files(), (std::vector<std::string>{"in.raw", "out.txt"}));

    ASSERT_EQ(run({"out.txt", "back.raw"}).status, 0);
    std::string in = r.bytes(), back = get("back.raw");
    ASSERT_EQ(back.size(), in.size());
    for (const char *f : {"file_type", "nsamples", "sensor_scale", "rate", "time_mode", "signals"})
        EXPECT_EQ(cli::value_at<std::uint32_t>(back, r.at(f, 0, 4)),
                  cli::value_at<std::uint32_t>(in, r.at(f, 0, 4)))
            << f;
    EXPECT_EQ(cli::value_at(back, r.at("peak")), 0.5);
    EXPECT_EQ(cli::value_at(back, r.at("vsum")), 0.75);
}

TEST_F(TextConversion, ALongerRepairedHeaderIsRewrittenInPlace) {
    cli::raw_record r = cli::event_record(3000);
    r.u32("nsamples", 7);
    put("in.raw", r.bytes());
    // The repaired header is longer than the first: the samples move behind it.
    ASSERT_EQ(run({"-r", "in.raw", "rep.txt"}).status, 0);
    std::string text = get("rep.txt");
    EXPECT_TRUE(contains(text, "# Samples=3000\r\n# Peak-X="));
    EXPECT_TRUE(contains(text, "# \r\n0.000000 "));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n') -
                  std::count(text.begin(), text.end(), '#'),
              3000);

    // It reads back as the whole header.
    ASSERT_EQ(run({"-H", "rep.txt", "hdr.raw"}).status, 0);
    std::string hdr = get("hdr.raw");
    ASSERT_EQ(hdr.size(), r.header_size());
    EXPECT_EQ(cli::value_at<std::uint32_t>(hdr, r.at("nsamples")), 3000u);
}

} // namespace
