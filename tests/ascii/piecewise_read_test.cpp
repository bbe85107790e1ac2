// Sample lines read in pieces of any size: a read goes on exactly where the
// one before stopped, also across the text a read keeps for the next one
// and around header reads between them.
#include <string>
#include <vector>

#include "ascii_util.h"

namespace {

// No "Columns" group: every value keeps a factor of 1.
const std::string header = "# [Sensor]\r\n# Scale=10\r\n# \r\n";

class PiecewiseRead : public cli::test {
protected:
    // Reads f.txt in pieces of the given sizes (repeating the last one) until
    // a read gives 0; every `header_every`-th piece is followed by a header
    // read. All frames read, in order.
    std::vector<double> read_all(const std::vector<std::size_t> &pieces, int header_every) {
        scoped_header h;
        qvascii_file *f = qvascii_open(path("f.txt").c_str(), QVASCII_MODE_READ);
        EXPECT_EQ(qvascii_read_header(f, h), 0) << qvascii_strerr(f);
        std::vector<double> all;
        for (std::size_t k = 0;; k++) {
            std::size_t want = pieces[std::min(k, pieces.size() - 1)];
            std::vector<double> buf(want * 3);
            long n = qvascii_read_data(f, buf.data(), want, 3);
            EXPECT_GE(n, 0) << qvascii_strerr(f);
            if (n <= 0) break;
            EXPECT_LE(static_cast<std::size_t>(n), want);
            all.insert(all.end(), buf.begin(), buf.begin() + n * 3);
            if (header_every && k % header_every == 0) {
                scoped_header again;
                EXPECT_EQ(qvascii_read_header(f, again), 0) << qvascii_strerr(f);
            }
        }
        EXPECT_EQ(qvascii_close(f), 0);
        return all;
    }
};

TEST_F(PiecewiseRead, EachReadGoesOnWhereTheLastStoppedAcrossSplitLineEnds) {
    // 9-byte lines: the CR of line 3641 is the last byte of the first 32 KiB
    // read, its LF the first byte of the next.
    std::string text = header;
    std::vector<double> want;
    for (int i = 0; i < 8000; i++) {
        int a = i % 10, b = i / 10 % 10, c = i / 100 % 10;
        text +=
            "0 " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + "\r\n";
        want.insert(want.end(), {a * 1.0, b * 1.0, c * 1.0});
    }
    ASSERT_EQ(text[header.size() + 32767], '\r');
    put("f.txt", text);
    // Pieces of any size, with header reads between them or not.
    for (const std::vector<std::size_t> &p : std::vector<std::vector<std::size_t>>{
             {3641, 1024}, {3640, 1, 1}, {1, 1023, 7, 3000, 2}, {8000}, {100000}})
        for (int header_every : {0, 3})
            EXPECT_EQ(read_all(p, header_every), want) << p[0] << " " << header_every;
}

} // namespace
