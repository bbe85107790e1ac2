// Text records through the whole program: raw to text and back, line ends,
// repair (the text header rewritten in place), header only, deletion,
// directory and test mode, and refused text inputs.
#include <cmath>

#include "cli.h"

namespace {

using TextConversion = cli::test;

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
        EXPECT_EQ(u32_at(back, r.at(f, 0, 4)), u32_at(in, r.at(f, 0, 4))) << f;
    EXPECT_EQ(f64_at(back, r.at("peak")), 0.5);
    EXPECT_EQ(f64_at(back, r.at("vsum")), 0.75);
    for (std::size_t off = r.header_size(); off < in.size(); off += 8)
        ASSERT_NEAR(f64_at(back, off), f64_at(in, off), 1e-6) << off; // six digits

    // LF line ends and tab separators read like CR LF and spaces.
    std::size_t data = text.find("\r\n0.000000 ") + 2;
    std::replace(text.begin() + static_cast<long>(data), text.end(), ' ', '\t');
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    put("unix.txt", text);
    ASSERT_EQ(run({"unix.txt", "unix.raw"}).status, 0);
    EXPECT_TRUE(get("unix.raw") == back);
}

TEST_F(TextConversion, RepairHeaderOnlyAndUnlink) {
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

    ASSERT_EQ(run({"-H", "-u", "rep.txt", "hdr.raw"}).status, 0);
    EXPECT_EQ(files(), (std::vector<std::string>{"hdr.raw", "in.raw"}));
    std::string hdr = get("hdr.raw");
    ASSERT_EQ(hdr.size(), r.header_size());
    EXPECT_EQ(u32_at(hdr, r.at("nsamples")), 3000u);
}

TEST_F(TextConversion, DirectoryModeBothWaysAndTestMode) {
    mkdir("d");
    mkdir("d/sub");
    put("d/a.raw", cli::event_record(100).bytes());
    put("d/sub/b.RAW", cli::event_record(5).bytes());
    cli::result res = run({"-R", "d", "txt"});
    EXPECT_TRUE(contains(res.out, "2 files were converted, 0 failures\n")) << res.out << res.err;
    res = run({"-R", "-t", "d", "txt"});
    EXPECT_TRUE(contains(res.out, "2 files were tested, 0 failures\n")) << res.out << res.err;
    res = run({"-R", "-u", "d", "raw"});
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(files(),
              (std::vector<std::string>{"d", "d/a.raw", "d/sub", "d/sub/b.RAW", "d/sub/b.raw"}));
    EXPECT_EQ(get("d/a.raw").size(), cli::event_record(100).bytes().size());
}

TEST_F(TextConversion, BadTextInputFailsWithoutOutput) {
    const std::string head = "# [Recorder]|# [Sensor]|# Scale=10|# [Acquisition]|";
    const std::string file = "# [File]|# Type=Event|# Signals=Raw|";
    const std::pair<std::string, std::string> rows[] = {
        {head + "0 1 2 3|", "read header from in.txt: [QVFMT][QVASCII] conv: File group doesn't "
                            "exist in header"},
        {"# [Recorder]|# -x|0 1 2 3|", "read header from in.txt: [QVFMT][QVASCII] libqvascii: "
                                       "Invalid header"},
        {"# [Sensor]|# Scale=0|" + file + "0 1 2 3|", "read header from in.txt: [QVFMT][QVASCII] "
                                                      "libqvascii: Invalid header scale"},
        {head + file + "0 1 2 3|1 2|", "read data from in.txt: [QVFMT][QVASCII] libqvascii: "
                                       "Invalid data"},
    };
    for (auto [text, msg] : rows) {
        std::replace(text.begin(), text.end(), '|', '\n');
        put("in.txt", text);
        cli::result res = run({"in.txt", "out.raw"});
        EXPECT_EQ(res.status, 1);
        EXPECT_EQ(res.err, "error: Failed to " + msg + "\n");
        EXPECT_EQ(files(), std::vector<std::string>{"in.txt"});
    }
}

} // namespace
