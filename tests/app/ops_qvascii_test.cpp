// The ASCII adapter behind the format handle: its failures and their texts.
// (Records both ways, header rewrites and line ends: tests/cli/ascii_cli_test.cpp.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "qvfmt.h"

namespace {

class OpsQvascii : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/ops-qvascii-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string put(const std::string &name, std::string text) const {
        for (std::size_t p; (p = text.find('|')) != std::string::npos;)
            text.replace(p, 1, "\r\n");
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
        return dir + "/" + name;
    }
};

TEST_F(OpsQvascii, FailuresAreNamedByTheirLayer) {
    void *s = ops_qvascii.new_state();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(ops_qvascii.open(s, put("a.txt", "").c_str(), QVFMT_MODE_UPDATE), -1);
    EXPECT_STREQ(ops_qvascii.strerr(s), "Unsupported file mode");
    EXPECT_STREQ(ops_qvascii.strerr(s), "None");
    EXPECT_EQ(ops_qvascii.open(s, (dir + "/missing.txt").c_str(), QVFMT_MODE_READ), -1);
    EXPECT_EQ(std::string(ops_qvascii.strerr(s)),
              "libqvascii: On open(): No such file or directory");
    ops_qvascii.free(s);

    qvfmt_handle *h = nullptr;
    ASSERT_EQ(qvfmt_open(&h, put("c.txt", "# [Recorder]|# [Sensor]|# Scale=1|0 1|").c_str(), 0,
                         QVFMT_MODE_READ),
              0);
    EXPECT_EQ(qvfmt_seek_data(h, 0, 3, 0), -1);
    EXPECT_STREQ(qvfmt_strerr(h), "[QVFMT] Not implemented");
    qvraw_header hdr;
    EXPECT_EQ(qvfmt_read_header(h, &hdr), -1);
    EXPECT_STREQ(qvfmt_strerr(h), // cut to 63 characters
                 "[QVFMT][QVASCII] conv: Acquisition group doesn't exist in heade");
    EXPECT_EQ(qvfmt_close(h), 0);
}

TEST_F(OpsQvascii, RewrittenHeaderReadsBackWithTheSamples) {
    qvraw_header in{}, out;
    in.file_type = 1, in.nsignals = 1, in.signals[0] = 6, in.rate = 8, in.sensor_scale = 10;
    const double frames[3] = {0.5, -0.25, 0.125};
    double back[3];
    std::string path = dir + "/rec.txt";
    qvfmt_handle *h = nullptr;
    ASSERT_EQ(qvfmt_open(&h, path.c_str(), QVFMT_ASCII, QVFMT_MODE_WRITE), 0);
    ASSERT_EQ(qvfmt_write_header(h, &in), 0);
    ASSERT_EQ(qvfmt_write_data(h, frames, 3, 1), 3);
    in.nsamples = 3, in.peak[0] = 0.5, in.vsum = 0.5; // the repaired values
    ASSERT_EQ(qvfmt_write_header(h, &in), 0);
    ASSERT_EQ(qvfmt_close(h), 0);

    ASSERT_EQ(qvfmt_open(&h, path.c_str(), 0, QVFMT_MODE_READ), 0);
    ASSERT_EQ(qvfmt_read_header(h, &out), 0);
    EXPECT_EQ(out.nsamples, 3u);
    EXPECT_EQ(out.peak[0], 0.5);
    EXPECT_EQ(qvfmt_read_data(h, back, 4, 1), 3);
    EXPECT_EQ(std::vector<double>(back, back + 3), std::vector<double>(frames, frames + 3));
    EXPECT_EQ(qvfmt_close(h), 0);
}

} // namespace
