// The header's text form, and the dates, times and durations of its entries.
#include <climits>
#include <cmath>
#include <limits>

#include "ascii_util.h"

namespace {

// The header's own text form, for comparisons.
std::string printed(qvascii_header *h) {
    static char buf[8192];
    int n = qvascii_header_print(h, buf, sizeof buf);
    return std::string(buf, static_cast<std::size_t>(std::max(n, 0)));
}

long parse(scoped_header &h, std::string text) {
    return qvascii_header_parse(h, text.data());
}

TEST(HeaderText, ReadsBackAsPrintedWithEitherLineEndAndRefusesMalformedLines) {
    const std::tuple<const char *, long, const char *> rows[] = {
        // text, result, header after
        {"# [ASCII]\r\n# Version=3\r\n# \r\n0 1\r\n", 28, "# [ASCII]\r\n# Version=3\r\n# \r\n"},
        {"#[A]\n#   [B]\n", 13, "# [A]\r\n# \r\n# [B]\r\n# \r\n"},
        {"# [A]\n# Rate = 5\n# a=b=c\n# a=\n", 30,
         "# [A]\r\n# Rate = 5\r\n# a=b=c\r\n# a=\r\n# \r\n"},
        {"# [A]\r# k=v\r\n1 2", 13, "# [A]\r\n# k=v\r\n# \r\n"}, // CR alone and CR LF alike
        {"# [A]\r\n# k=v\n", -1, nullptr},                       // no CR after the value
        {"# [A]\n# -x=1\n", -1, nullptr},                        // not a letter or digit
        {"# [A]\n# k=v", -1, nullptr},                           // last line without a line end
        {"# k=v\n# [A]\n", -1, nullptr},                         // entry before any group
    };
    for (auto [text, result, groups] : rows) {
        scoped_header h;
        EXPECT_EQ(parse(h, text), result) << text;
        EXPECT_EQ(printed(h), groups ? groups : printed(h)) << text;
    }
}

TEST(DateTime, ExactInEveryZoneAndEmptyWhenNotRepresentable) {
    setenv("TZ", "Europe/Paris", 1);
    tzset();
    char date[64], time[64];
    qvraw_timestamp t{};
    t.sec = std::numeric_limits<long>::max(), t.nsec = 5000;
    qvascii_print_date(date, sizeof date, &t, QVASCII_TIME_OFFSET, 1);
    qvascii_print_time(time, sizeof time, &t, QVASCII_TIME_OFFSET, 1);
    EXPECT_EQ(std::string(date) + time, "");
    // UTC times that do not exist, or exist twice, in Paris; microseconds.
    const std::tuple<const char *, const char *, int, std::int32_t, long, std::int32_t> rows[] = {
        {"2015-03-29", "02:30:00.123456", QVASCII_TIME_UTC, 0, 1427596200, 123456000},
        {"2015-10-25", "02:30:00.000005", QVASCII_TIME_UTC, 0, 1445740200, 5000},
        {"2015-07-01", "14:00:00", QVASCII_TIME_LOCAL, 0, 1435752000, 0}};
    for (auto [d, tm, mode, off, sec, nsec] : rows) {
        ASSERT_EQ(qvascii_parse_datetime(&t, d, tm, mode, off), 0) << d << " " << tm;
        EXPECT_EQ(t.sec, sec) << d << " " << tm;
        EXPECT_EQ(t.nsec, nsec) << d << " " << tm;
        qvascii_print_time(time, sizeof time, &t, mode, off);
        EXPECT_STREQ(time, tm);
    }
    EXPECT_EQ(qvascii_parse_datetime(&t, "2015-03-04", "12:00:", 0, 0), -1);
    EXPECT_EQ(qvascii_parse_datetime(&t, nullptr, "12:00:00", 0, 0), -1);
    setenv("TZ", "UTC", 1);
    tzset();
}

TEST(DateTime, DurationsOfAnyLengthShowTimeOfDay) {
    // Rounding into the next second, the exact remainder of a day, and no
    // number at all.
    const std::pair<float, const char *> rows[] = {{0.99999964f, "00:00:01"},
                                                   {-1.5f, "23:59:58.500000"},
                                                   {NAN, "00:00:00"},
                                                   {INFINITY, "00:00:00"}};
    for (auto [seconds, text] : rows) {
        char buf[128];
        qvascii_print_length(buf, sizeof buf, seconds);
        EXPECT_STREQ(buf, text) << seconds;
    }
}

} // namespace
