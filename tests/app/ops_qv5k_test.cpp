// The recorder-binary adapter: the frame width is checked on every data
// call, a file's variant is fixed by its first header, and each failure
// names the layer that refused. (Whole conversions are in the command-line
// tests.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "qvfmt.h"

namespace {

class OpsQv5k : public ::testing::Test {
protected:
    std::string dir;
    void *st = nullptr;

    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        char tmpl[] = "/tmp/ops-qv5k-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        st = ops_qv5k.new_state();
        ASSERT_NE(st, nullptr);
    }
    void TearDown() override {
        ops_qv5k.free(st);
        std::system(("rm -rf '" + dir + "'").c_str());
    }
    int open(const char *name, int mode) {
        return ops_qv5k.open(st, (dir + "/" + name).c_str(), mode);
    }
    std::string err() { return ops_qv5k.strerr(st); }

    // An acceleration record; a background one holds peaks and frequencies.
    static qvraw_header canon(std::uint32_t file_type) {
        qvraw_header c{};
        c.file_type = file_type, c.model = 1, c.nsignals = file_type == 2 ? 2 : 1;
        c.signals[0] = file_type == 2 ? 5 : 1, c.signals[1] = 7;
        c.sensor_type = 2, c.sensor_unit = 2, c.sensor_range = 4000, c.rate = 100;
        c.back_enabled = 1, c.back_mode = 2, c.back_period = 1, c.start_time.sec = 1262304000;
        return c;
    }
};

TEST_F(OpsQv5k, FrameWidthIsCheckedOnEveryDataCall) {
    double block[64] = {};
    ASSERT_EQ(open("w.xqv", QVFMT_MODE_WRITE), 0);
    // Before any header every width is refused, 0 included.
    for (std::size_t n : {0, 3}) {
        EXPECT_EQ(ops_qv5k.write_data(st, block, 1, n), -1);
        EXPECT_EQ(err(), "Unsupported number of channels");
    }
    qvraw_header c = canon(1);
    ASSERT_EQ(ops_qv5k.write_header(st, &c), 0);
    EXPECT_EQ(ops_qv5k.write_data(st, block, 1, 4), -1);
    EXPECT_EQ(ops_qv5k.read_data(st, block, 1, 6), -1);
    EXPECT_EQ(ops_qv5k.seek_data(st, 0, 1, 0), -1);
    EXPECT_EQ(err(), "Unsupported number of channels");
    EXPECT_EQ(err(), "None");
    EXPECT_EQ(ops_qv5k.write_data(st, block, 2, 3), 2);
    EXPECT_EQ(ops_qv5k.seek_data(st, 0, 3, 2), 2);

    // A file's variant and width are fixed by its first header.
    c = canon(2);
    EXPECT_EQ(ops_qv5k.write_header(st, &c), -1);
    EXPECT_EQ(err(), "Unsupported filetype");
    EXPECT_EQ(ops_qv5k.close(st), 0);
    ASSERT_EQ(open("w.bqv", QVFMT_MODE_WRITE), 0);
    ASSERT_EQ(ops_qv5k.write_header(st, &c), 0);
    c.signals[1] = 6, c.back_mode = 1;
    EXPECT_EQ(ops_qv5k.write_header(st, &c), -1);
    EXPECT_EQ(err(), "Unsupported recording mode");
    EXPECT_EQ(ops_qv5k.write_data(st, block, 1, 6), 1);
    EXPECT_EQ(ops_qv5k.close(st), 0);

    // Reading gives the width of the file's header.
    ASSERT_EQ(open("w.bqv", QVFMT_MODE_READ), 0);
    ASSERT_EQ(ops_qv5k.read_header(st, &c), 0);
    EXPECT_EQ(qvraw_header_get_nchans(&c), 6u);
    EXPECT_EQ(ops_qv5k.read_data(st, block, 10, 3), -1);
    EXPECT_EQ(ops_qv5k.read_data(st, block, 10, 6), 1);
    EXPECT_EQ(ops_qv5k.close(st), 0);
}

TEST_F(OpsQv5k, FailuresNameTheLayer) {
    EXPECT_EQ(open("m.xqv", 0), -1);
    EXPECT_EQ(err(), "Unsupported file mode");
    EXPECT_EQ(open("missing.xqv", QVFMT_MODE_READ), -1);
    EXPECT_EQ(err(), "libqv5k: I/O: On open(): No such file or directory");

    ASSERT_EQ(open("z.xqv", QVFMT_MODE_WRITE), 0);
    qvraw_header c = canon(1);
    c.rate = 0;
    EXPECT_EQ(ops_qv5k.write_header(st, &c), -1);
    EXPECT_EQ(err(), "conv: Invalid sampling rate");
    EXPECT_EQ(err(), "None");
    c = canon(2);
    c.back_enabled = 0; // a background record needs its mode to lay out blocks
    EXPECT_EQ(ops_qv5k.write_header(st, &c), -1);
    EXPECT_EQ(err(), "libqv5k: Invalid header");
    EXPECT_EQ(ops_qv5k.read_data(st, nullptr, 0, 6), -1);
    EXPECT_EQ(err(), "libqv5k: Header is not available");
    EXPECT_EQ(ops_qv5k.close(st), 0);
}

} // namespace
