// The record file: header at the start, sample lines after it; the texts
// of its codes.
#include <cstring>

#include "ascii_util.h"
#include "code_texts.h"
#include "qvascii_int.h"

namespace {

struct kv {
    const char *group, *key, *value;
};

// The header of an event record at 1024 samples per second, "Scale" 10,
// value columns 2 to 4 in sensor units, plus `extra`.
qvascii_header *fill(qvascii_header *h, const std::vector<kv> &extra) {
    std::vector<kv> all = {{"Sensor", "Scale", "10"}, {"Acquisition", "Rate", "1024"},
                           {"File", "Type", "Event"}, {"Columns", "2", "Raw X"},
                           {"Columns", "3", "Raw Y"}, {"Columns", "4", "Raw Z"}};
    all.insert(all.end(), extra.begin(), extra.end());
    for (const kv &e : all)
        set(h, e.group, e.key, e.value);
    return h;
}

class AsciiFile : public cli::test {
protected:
    // Opens f.txt for writing, writes the header and the frames; the handle
    // stays open.
    qvascii_file *write(const std::vector<kv> &extra, const std::vector<double> &frames,
                        std::size_t nchans) {
        qvascii_file *f = qvascii_open(path("f.txt").c_str(), QVASCII_MODE_WRITE);
        EXPECT_EQ(qvascii_write_header(f, fill(h, extra)), 0) << qvascii_strerr(f);
        long n = static_cast<long>(frames.size() / nchans);
        EXPECT_EQ(qvascii_write_data(f, frames.data(), frames.size() / nchans, nchans), n);
        return f;
    }
    qvascii_file *open_read() {
        qvascii_file *f = qvascii_open(path("f.txt").c_str(), QVASCII_MODE_READ);
        EXPECT_EQ(qvascii_read_header(f, h), 0) << qvascii_strerr(f);
        return f;
    }
    // The lines of f.txt that are not header lines, without their CR LF.
    std::vector<std::string> sample_lines() {
        std::string text = get("f.txt");
        std::vector<std::string> lines;
        for (std::size_t pos = 0, e; pos < text.size(); pos = e + 2) {
            e = std::min(text.find("\r\n", pos), text.size());
            if (text[pos] != '#') lines.push_back(text.substr(pos, e - pos));
        }
        return lines;
    }
    scoped_header h;
};

TEST_F(AsciiFile, BackgroundTimeColumnCountsPeriods) {
    std::vector<kv> background = {{"File", "Type", "Background"}, {"Background", "Period", "60"}};
    ASSERT_EQ(qvascii_close(write(background, {0, 0.01, 0.1, 0.11, 0.2, 0.21}, 2)), 0);
    EXPECT_EQ(sample_lines(), (std::vector<std::string>{"0 0 0.1", "60 1 1.1", "120 2 2.1"}));
}

TEST_F(AsciiFile, TwelveChannelsOfExtremeValuesNeverOverrunTheBlock) {
    // Frequencies, ratios (not a name that only begins like one) and
    // unnamed columns keep a factor of 1; column 13 is scaled like column 2.
    std::vector<kv> columns = {{"Columns", "3", "VM Freq X"},
                               {"Columns", "5", "STA/LTA X"},
                               {"Columns", "6", "SBR A Freq Y"},
                               {"Columns", "7", "SBR A Fre"},
                               {"Columns", "13", "Raw Z"}};
    std::vector<double> frames(5000 * 12, -1.2345678e307); // 13 characters, scaled or not
    ASSERT_EQ(qvascii_close(write(columns, frames, 12)), 0);
    std::vector<std::string> lines = sample_lines();
    ASSERT_EQ(lines.size(), 5000u);
    std::string values;
    for (char factor : std::string("TFTFFTFFFFFT"))
        values += factor == 'T' ? " -1.23457e+308" : " -1.23457e+307";
    EXPECT_EQ(lines[4999], "4.879024" + values);
    for (const std::string &l : lines)
        ASSERT_EQ(l.substr(l.find(' ')), values);
    qvascii_file *f = open_read();
    double frame[13];
    EXPECT_EQ(qvascii_read_data(f, frame, 1, 13), -1); // beyond the factor table
    EXPECT_STREQ(qvascii_strerr(f), "Invalid data");
    EXPECT_EQ(qvascii_close(f), 0);
}

// The rows alternate line ends and separators: each file has its own.
TEST_F(AsciiFile, ForeignLineEndsAndSeparatorsAreReadAndMalformedLinesRefused) {
    const std::tuple<std::string, long, const char *> rows[] = {
        // lines, frames read, error
        {"0 1 2\r\n0 4 5 6\r\n", -1, "Invalid data"}, // nothing borrowed from the next line
        {"0\t1\t2\t3\n0\t4\t5\t6\n", 2, "None"},
        {"0 1 2 3 \r\n", 1, "None"},
        {"0 1 2 3\r0 4 5 6\r", 2, "None"},
        {"0 1 2 3\r\n0 4 5 6", 2, "None"}, // last line without a line end
        {"0 1 2 3\r\n\r\n", -1, "Invalid data"},
        {"0 1 2 3\r\n0 " + std::string(40000, '1') + " 2 3\r\n", -1, "Invalid data"},
        {std::string(40000, '1') + "\r\n", -1, "Failed to determine end-of-line character"},
        {"abc\r\n", -1, "Failed to determine field separator"},
        {"", 0, "None"}};
    for (auto &[data, result, error] : rows) {
        put("f.txt", "# [Sensor]\r\n# Scale=10\r\n# \r\n" + data);
        qvascii_file *f = open_read();
        double frames[8 * 3];
        EXPECT_EQ(qvascii_read_data(f, frames, 8, 3), result) << data.substr(0, 20);
        EXPECT_STREQ(qvascii_strerr(f), error) << data.substr(0, 20);
        if (result > 0) {
            EXPECT_EQ(frames[3 * result - 1], 3.0 * result) << data.substr(0, 20);
        }
        EXPECT_EQ(qvascii_close(f), 0);
    }
}

TEST_F(AsciiFile, HeaderRewriteMovesSampleLinesWhenItsLengthChanges) {
    std::vector<double> frames(100000 * 3);
    for (std::size_t i = 0; i < frames.size(); i++)
        frames[i] = static_cast<double>(i % 977);
    // Every write reaches the file at once: it can be read while open.
    qvascii_file *f = write({{"Recorder", "Comment", ""}}, frames, 3);
    const std::string original = get("f.txt");
    const std::string data = original.substr(original.find("\r\n0.000000 ") + 2);
    for (std::string comment : {"0123456789", "", "", "0123456789"}) { // +10, -10, 0, +10
        scoped_header next;
        ASSERT_EQ(qvascii_write_header(f, fill(next, {{"Recorder", "Comment", comment.c_str()}})),
                  0);
        std::string now = get("f.txt");
        ASSERT_EQ(now.size(), original.size() + comment.size());
        EXPECT_EQ(now.substr(now.size() - data.size() - 16 - comment.size()),
                  "# Comment=" + comment + "\r\n# \r\n" + data);
    }
    double frame[3] = {1, 2, 3}; // written after the moved lines
    ASSERT_EQ(qvascii_write_data(f, frame, 1, 3), 1);
    ASSERT_EQ(qvascii_close(f), 0);
    std::vector<std::string> lines = sample_lines();
    ASSERT_EQ(lines.size(), 100001u);
    EXPECT_EQ(lines.back(), "97.600000 10 20 30");
}

TEST_F(AsciiFile, RefusedHeadersLeaveTheHandleUnchanged) {
    // Groups "ABCDEF", "BCDEF" ... "F" of 24 entries of 63 characters: beyond
    // 8191 bytes.
    static std::string key[24], value(63, 'x');
    static const char *const groups[] = {"ABCDEF", "BCDEF", "CDEF", "DEF", "EF", "F"};
    std::vector<kv> too_long;
    for (int i = 0; i < 24; i++)
        key[i] = std::to_string(i);
    for (int i = 0; i < 6 * 24; i++)
        too_long.push_back({groups[i / 24], key[i % 24].c_str(), value.c_str()});
    const std::pair<std::vector<kv>, const char *> rows[] = {
        {{{"Sensor", "Scale", "0"}}, "Invalid header scale"},
        {{{"Sensor", "Scale", "20"}}, "Invalid header scale"}, // the lines' factor
        {{{"Acquisition", "Rate", "0"}}, "Invalid header timestep"},
        {{{"File", "Type", "Background"}}, "Invalid header timestep"}, // no "Period"
        {too_long, "Invalid header"}};
    for (auto &[change, error] : rows) {
        qvascii_file *f = write({}, {1.0, 1.0}, 1);
        scoped_header next;
        EXPECT_EQ(qvascii_write_header(f, fill(next, change)), -1);
        EXPECT_STREQ(qvascii_strerr(f), error);
        double one = 1.0;
        ASSERT_EQ(qvascii_write_data(f, &one, 1, 1), 1); // old factor and interval
        ASSERT_EQ(qvascii_close(f), 0);
        EXPECT_EQ(sample_lines().back(), "0.001952 10") << error;
    }
    // A background period of 0 is not refused.
    std::vector<kv> zero = {{"File", "Type", "Background"}, {"Background", "Period", "0"}};
    ASSERT_EQ(qvascii_close(write(zero, {1.0, 1.0}, 1)), 0);
    EXPECT_EQ(sample_lines(), (std::vector<std::string>{"0 10", "0 10"}));
}

// A record beyond 2 GiB (a day of samples at a high rate) is written, its
// header rewritten and its end read back correctly: positions are 64-bit
// here. Slow and large: run with QV_ASCII_BIG=1.
TEST_F(AsciiFile, PositionsBeyondTwoGibibytesAreExact) {
    if (!std::getenv("QV_ASCII_BIG")) GTEST_SKIP() << "set QV_ASCII_BIG=1 to run";
    qvascii_file *f = write({}, {}, 12);
    std::vector<double> block(4096 * 12, -1.2345678e307);
    for (int i = 0; i < 2930; i++) // 12001280 lines, about 2.2 GiB
        ASSERT_EQ(qvascii_write_data(f, block.data(), 4096, 12), 4096);
    scoped_header next;
    ASSERT_EQ(qvascii_write_header(f, fill(next, {{"Recorder", "Comment", "longer"}})), 0);
    ASSERT_EQ(qvascii_close(f), 0);
    std::ifstream in(path("f.txt"), std::ios::binary);
    std::string tail(200, '\0');
    in.seekg(-200, std::ios::end).read(tail.data(), 200);
    EXPECT_NE(tail.find("\r\n11713.248304 -1.23457e+308 "), std::string::npos) << tail;
    EXPECT_EQ(tail.substr(198), "\r\n");
}

TEST(AsciiTexts, EveryCodeHasATextOfItsOwn) {
    expect_own_text_per_code("qvascii", QVASCII_ERR_TEXTS);
}

} // namespace
