// The record file: header at the start, sample lines after it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ascii_util.h"

namespace {

struct kv {
    const char *group, *key, *value;
};

// An event record at 1024 samples per second, "Scale" 10, value columns 2
// to 4 in sensor units, plus `extra` (replacing entries of the same key).
void make_header(qvascii_header *h, const std::vector<kv> &extra = {}) {
    std::vector<kv> all = {{"Sensor", "Scale", "10"}, {"Acquisition", "Rate", "1024"},
                           {"File", "Type", "Event"}, {"Columns", "2", "Raw X"},
                           {"Columns", "3", "Raw Y"}, {"Columns", "4", "Raw Z"}};
    all.insert(all.end(), extra.begin(), extra.end());
    for (const kv &e : all)
        put(h, e.group, e.key, e.value);
}

// Opens `path` for writing, writes the header and the frames; the handle
// stays open.
qvascii_file *write_file(const char *path, const std::vector<kv> &extra,
                         const std::vector<double> &frames, std::size_t nchans) {
    qvascii_file *f = qvascii_open(path, QVASCII_MODE_WRITE);
    scoped_header h;
    make_header(h, extra);
    EXPECT_EQ(qvascii_write_header(f, h), 0) << qvascii_strerr(f);
    long n = static_cast<long>(frames.size() / nchans);
    EXPECT_EQ(qvascii_write_data(f, frames.data(), frames.size() / nchans, nchans), n);
    return f;
}

// The lines of a file that are not header lines, without their CR LF.
std::vector<std::string> sample_lines(const std::string &path) {
    std::string text = slurp(path);
    std::vector<std::string> lines;
    for (std::size_t pos = 0, e; pos < text.size(); pos = e + 2) {
        e = std::min(text.find("\r\n", pos), text.size());
        if (text[pos] != '#') lines.push_back(text.substr(pos, e - pos));
    }
    return lines;
}

qvascii_file *open_read(const char *path) {
    qvascii_file *f = qvascii_open(path, QVASCII_MODE_READ);
    scoped_header h;
    EXPECT_EQ(qvascii_read_header(f, h), 0) << qvascii_strerr(f);
    return f;
}

const std::string HEADER = "# [Sensor]\r\n# Scale=10\r\n# \r\n";

} // namespace

TEST(SampleLines, TimeColumnFollowsTheInterval) {
    temp_path tp("time");
    ASSERT_EQ(qvascii_close(write_file(tp.c_str(), {}, std::vector<double>(1026), 1)), 0);
    std::vector<std::string> lines = sample_lines(tp.path);
    ASSERT_EQ(lines.size(), 1026u);
    EXPECT_EQ(lines[1], "0.000976 0");
    EXPECT_EQ(lines[2], "0.001952 0");
    EXPECT_EQ(lines[1025], "1.000400 0"); // 1025 * 976 microseconds

    std::vector<kv> background = {{"File", "Type", "Background"}, {"Background", "Period", "60"}};
    ASSERT_EQ(qvascii_close(write_file(tp.c_str(), background, {0, 0.01, 0.1, 0.11, 0.2, 0.21}, 2)),
              0);
    EXPECT_EQ(sample_lines(tp.path),
              (std::vector<std::string>{"0 0 0.1", "60 1 1.1", "120 2 2.1"}));
}

TEST(SampleLines, ColumnFactorsCoverTwelveChannels) {
    temp_path tp("factors");
    // Frequencies, ratios (not a name that only begins like one) and
    // unnamed columns keep a factor of 1; column 13 is scaled like column 2.
    std::vector<kv> columns = {{"Columns", "3", "VM Freq X"},
                               {"Columns", "5", "STA/LTA X"},
                               {"Columns", "6", "SBR A Freq Y"},
                               {"Columns", "7", "SBR A Fre"},
                               {"Columns", "13", "Raw Z"}};
    ASSERT_EQ(qvascii_close(write_file(tp.c_str(), columns, std::vector<double>(12, 0.5), 12)), 0);
    EXPECT_EQ(sample_lines(tp.path).at(0), "0.000000 5 0.5 5 0.5 0.5 5 0.5 0.5 0.5 0.5 0.5 5");

    qvascii_file *f = open_read(tp.c_str());
    double frame[13];
    ASSERT_EQ(qvascii_read_data(f, frame, 1, 12), 1);
    EXPECT_EQ(std::vector<double>(frame, frame + 12), std::vector<double>(12, 0.5));
    EXPECT_EQ(qvascii_read_data(f, frame, 1, 13), -1); // beyond the factor table
    EXPECT_STREQ(qvascii_strerr(f), "Invalid data");
    EXPECT_EQ(qvascii_close(f), 0);
}

TEST(SampleLines, ExtremeValuesOnTwelveChannelsNeverOverrunTheBlock) {
    temp_path tp("extreme");
    std::vector<kv> columns;
    const char *names[] = {"5", "6", "7", "8", "9", "10", "11", "12", "13"};
    for (const char *n : names)
        columns.push_back({"Columns", n, "Raw"});
    std::vector<double> frames(5000 * 12, -1.2345678e307); // 13 characters once scaled
    ASSERT_EQ(qvascii_close(write_file(tp.c_str(), columns, frames, 12)), 0);
    std::vector<std::string> lines = sample_lines(tp.path);
    ASSERT_EQ(lines.size(), 5000u);
    std::string values;
    for (int c = 0; c < 12; c++)
        values += " -1.23457e+308";
    EXPECT_EQ(lines[4999], "4.879024" + values);
    for (const std::string &l : lines)
        ASSERT_EQ(l.substr(l.find(' ')), values);
}

TEST(SampleLines, ReadBackBlockByBlockAsAtofReads) {
    temp_path tp("blocks");
    std::vector<double> frames(1500 * 3);
    for (std::size_t i = 0; i < frames.size(); i++)
        frames[i] = static_cast<double>(i) / 3000.0 - 0.7;
    ASSERT_EQ(qvascii_close(write_file(tp.c_str(), {}, frames, 3)), 0);
    qvascii_file *f = open_read(tp.c_str());
    std::vector<double> back(1024 * 3);
    std::size_t total = 0;
    for (long want : {1024L, 476L, 0L}) {
        ASSERT_EQ(qvascii_read_data(f, back.data(), 1024, 3), want);
        for (std::size_t i = 0; i < static_cast<std::size_t>(want) * 3; i++, total++) {
            char text[32];
            std::snprintf(text, sizeof text, "%g", frames[total] * 10);
            ASSERT_EQ(back[i], std::atof(text) / 10);
        }
    }
    EXPECT_EQ(qvascii_close(f), 0);
}

TEST(SampleLines, MalformedOrForeignLines) {
    struct row {
        std::string data;
        long result; // of reading up to 8 frames of 3 channels
        const char *error;
    };
    for (const row &r : std::vector<row>{
             {"0 1 2\r\n0 4 5 6\r\n", -1, "Invalid data"}, // nothing borrowed from the next line
             {"0 1 2 3 \r\n", 1, nullptr},
             {"0 1 2 3", 1, nullptr}, // last line without a line end
             {"0 1 2 3\r\n0 4 5 6", 2, nullptr},
             {"0\t1\t2\t3\n0\t4\t5\t6\n", 2, nullptr},
             {"0 1 2 3\r0 4 5 6\r", 2, nullptr},
             {"0 1 2 3\r\n\r\n", -1, "Invalid data"},
             {"0 1 2 3\r\n0 " + std::string(40000, '1') + " 2 3\r\n", -1, "Invalid data"},
             {std::string(40000, '1') + "\r\n", -1, "Failed to determine end-of-line character"},
             {"abc\r\n", -1, "Failed to determine field separator"},
             {"", 0, nullptr},
         }) {
        temp_path tp("malformed");
        spit(tp.path, HEADER + r.data);
        qvascii_file *f = open_read(tp.c_str());
        double frames[8 * 3];
        std::string what = r.data.substr(0, 20);
        EXPECT_EQ(qvascii_read_data(f, frames, 8, 3), r.result) << what;
        EXPECT_STREQ(qvascii_strerr(f), r.error ? r.error : "None") << what;
        if (r.result > 0) {
            EXPECT_EQ(frames[3 * r.result - 1], 3.0 * r.result) << what;
        }
        EXPECT_EQ(qvascii_close(f), 0);
    }
}

TEST(SampleLines, LineEndsAndSeparatorsBelongToEachFile) {
    temp_path tabs("tabs"), spaces("spaces");
    spit(tabs.path, HEADER + "0\t10\t20\t30\n");
    spit(spaces.path, HEADER + "0 40 50 60\r\n");
    for (const temp_path *tp : {&tabs, &spaces}) {
        qvascii_file *f = open_read(tp->c_str());
        double frame[3];
        EXPECT_EQ(qvascii_read_data(f, frame, 1, 3), 1) << qvascii_strerr(f);
        EXPECT_EQ(frame[2], tp == &tabs ? 30.0 : 60.0);
        EXPECT_EQ(qvascii_close(f), 0);
    }
}

TEST(HeaderRewrite, MovesSampleLinesWhenItsLengthChanges) {
    temp_path tp("rewrite");
    std::vector<double> frames(100000 * 3);
    for (std::size_t i = 0; i < frames.size(); i++)
        frames[i] = static_cast<double>(i % 977);
    // Every write reaches the file at once: it can be read while open.
    qvascii_file *f = write_file(tp.c_str(), {{"Recorder", "Comment", ""}}, frames, 3);
    const std::string original = slurp(tp.path);
    const std::string data = original.substr(original.find("\r\n0.000000 ") + 2);
    for (const char *comment : {"0123456789", "", "", "0123456789"}) { // +10, -10, 0, +10
        scoped_header h;
        make_header(h, {{"Recorder", "Comment", comment}});
        ASSERT_EQ(qvascii_write_header(f, h), 0) << qvascii_strerr(f);
        std::string now = slurp(tp.path);
        ASSERT_EQ(now.size(), original.size() + std::strlen(comment));
        EXPECT_TRUE(now.compare(now.size() - data.size(), data.size(), data) == 0) << comment;
        EXPECT_EQ(
            now.rfind("# Comment=" + std::string(comment) + "\r\n# \r\n", now.size() - data.size()),
            now.size() - data.size() - 16 - std::strlen(comment));
    }
    // Samples written after a rewrite follow the moved lines.
    double frame[3] = {1, 2, 3};
    ASSERT_EQ(qvascii_write_data(f, frame, 1, 3), 1);
    ASSERT_EQ(qvascii_close(f), 0);
    std::vector<std::string> lines = sample_lines(tp.path);
    ASSERT_EQ(lines.size(), 100001u);
    EXPECT_EQ(lines[99999].substr(0, 10), "97.599024 ");
    EXPECT_EQ(lines.back(), "97.600000 10 20 30");
}

TEST(HeaderRewrite, RefusedHeadersLeaveTheHandleUnchanged) {
    // Six groups of 24 entries of 63 characters: beyond 8191 bytes.
    std::vector<std::string> keys;
    for (int k = 0; k < 24; k++)
        keys.push_back(std::to_string(k));
    std::string value(63, 'x');
    std::vector<kv> too_long;
    for (const char *g : {"A", "B", "C", "D", "E", "F"})
        for (const std::string &k : keys)
            too_long.push_back({g, k.c_str(), value.c_str()});
    for (auto [change, error] : std::vector<std::pair<std::vector<kv>, const char *>>{
             {{{"Sensor", "Scale", "0"}}, "Invalid header scale"},
             {{{"Sensor", "Scale", "nan"}}, "Invalid header scale"},
             {{{"Sensor", "Scale", "20"}}, "Invalid header scale"},
             {{{"Columns", "2", "VM Freq X"}}, "Invalid header scale"},
             {{{"Acquisition", "Rate", "0"}}, "Invalid header timestep"},
             {{{"Acquisition", "Rate", "512"}}, "Invalid header timestep"},
             {{{"File", "Type", "Other"}}, "Invalid header timestep"},
             {{{"File", "Type", "Background"}}, "Invalid header timestep"}, // no "Period"
             {too_long, "Invalid header"},
         }) {
        temp_path tp("refused");
        qvascii_file *f = write_file(tp.c_str(), {}, {1.0, 1.0}, 1);
        scoped_header h;
        make_header(h, change);
        EXPECT_EQ(qvascii_write_header(f, h), -1);
        EXPECT_STREQ(qvascii_strerr(f), error);
        EXPECT_STREQ(qvascii_strerr(f), "None");
        double one = 1.0;
        ASSERT_EQ(qvascii_write_data(f, &one, 1, 1), 1); // old factor and interval
        ASSERT_EQ(qvascii_close(f), 0);
        EXPECT_EQ(sample_lines(tp.path).back(), "0.001952 10") << error;
    }
    // A first header: "Scale" is required, a background period of 0 is not
    // refused.
    temp_path tp("first");
    spit(tp.path, "# [Sensor]\r\n# Name=x\r\n# \r\n0 1\r\n");
    qvascii_file *f = qvascii_open(tp.c_str(), QVASCII_MODE_READ);
    scoped_header h;
    EXPECT_EQ(qvascii_read_header(f, h), -1);
    EXPECT_STREQ(qvascii_strerr(f), "Invalid header scale");
    qvascii_close(f);
    std::vector<kv> zero = {{"File", "Type", "Background"}, {"Background", "Period", "0"}};
    ASSERT_EQ(qvascii_close(write_file(tp.c_str(), zero, {1.0, 1.0}, 1)), 0);
    EXPECT_EQ(sample_lines(tp.path), (std::vector<std::string>{"0 10", "0 10"}));
}

TEST(FileErrors, TextsAndOrder) {
    EXPECT_EQ(qvascii_open("/nonexistent/dir/x.txt", QVASCII_MODE_READ), nullptr);
    EXPECT_STREQ(qvascii_strerr(nullptr), "On open(): No such file or directory");
    EXPECT_STREQ(qvascii_strerr(nullptr), "None");
    EXPECT_EQ(qvascii_open("/tmp/x.txt", 3), nullptr);
    EXPECT_STREQ(qvascii_strerr(nullptr), "Invalid file mode");

    temp_path tp("errors");
    spit(tp.path, HEADER + "0 1\r\n");
    qvascii_file *f = qvascii_open(tp.c_str(), QVASCII_MODE_READ);
    double v;
    EXPECT_EQ(qvascii_read_data(f, &v, 1, 1), -1);
    EXPECT_STREQ(qvascii_strerr(f), "Header is unknwon");
    EXPECT_EQ(qvascii_write_data(f, &v, 1, 1), -1);
    EXPECT_STREQ(qvascii_strerr(f), "Header is unknwon");
    scoped_header h;
    ASSERT_EQ(qvascii_read_header(f, h), 0);
    EXPECT_EQ(qvascii_read_data(f, &v, 1, 1), 1);
    EXPECT_EQ(v, 1.0);
    EXPECT_EQ(qvascii_write_data(f, &v, 1, 1), -1); // a file opened for reading
    EXPECT_EQ(std::string(qvascii_strerr(f)).rfind("On write(): ", 0), 0u);
    EXPECT_EQ(qvascii_close(f), 0);
}

// A record beyond 2 GiB (a day of samples at a high rate) is written, its
// header rewritten and its end read back correctly: positions are 64-bit
// here. Slow and large: run with QV_ASCII_BIG=1.
TEST(LargeRecord, BeyondTwoGibibytes) {
    if (!std::getenv("QV_ASCII_BIG")) GTEST_SKIP() << "set QV_ASCII_BIG=1 to run";
    temp_path tp("big");
    qvascii_file *f = write_file(tp.c_str(), {}, {}, 12);
    std::vector<double> block(4096 * 12, -1.2345678e307);
    for (int i = 0; i < 2930; i++) // 12001280 lines, about 2.2 GiB
        ASSERT_EQ(qvascii_write_data(f, block.data(), 4096, 12), 4096);
    scoped_header h;
    make_header(h, {{"Recorder", "Comment", "a longer header"}});
    ASSERT_EQ(qvascii_write_header(f, h), 0) << qvascii_strerr(f);
    ASSERT_EQ(qvascii_close(f), 0);
    std::FILE *fp = std::fopen(tp.c_str(), "rb");
    char tail[201] = {};
    ASSERT_EQ(std::fseek(fp, -200, SEEK_END), 0);
    ASSERT_EQ(std::fread(tail, 1, 200, fp), 200u);
    std::fclose(fp);
    std::string t(tail);
    EXPECT_NE(t.find("\r\n11713.248304 -1.23457e+308 "), std::string::npos) << t;
    EXPECT_EQ(t.substr(t.size() - 2), "\r\n");
}
