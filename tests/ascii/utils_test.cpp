// Dates, times, durations, lists, and the file layer under the handle.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "ascii_util.h"

namespace {

// Date and time text of a time value, joined by a space.
std::string shown(long sec, std::int32_t nsec, int mode, std::int32_t off) {
    char date[128], time[128];
    qvraw_timestamp t{};
    t.sec = sec;
    t.nsec = nsec;
    qvascii_print_date(date, sizeof date, &t, mode, off);
    qvascii_print_time(time, sizeof time, &t, mode, off);
    return std::string(date) + " " + time;
}

} // namespace

TEST(DateTime, PrintsInEachMode) {
    set_tz("Europe/Paris");
    const long t = 1425470400; // 2015-03-04 12:00:00 UTC
    EXPECT_EQ(shown(t, 0, QVASCII_TIME_UTC, 0), "2015-03-04 12:00:00");
    EXPECT_EQ(shown(t, 123456000, QVASCII_TIME_UTC, 0), "2015-03-04 12:00:00.123456");
    EXPECT_EQ(shown(t, 999, QVASCII_TIME_UTC, 0), "2015-03-04 12:00:00");
    EXPECT_EQ(shown(t, 0, QVASCII_TIME_OFFSET, 3600), "2015-03-04 13:00:00");
    EXPECT_EQ(shown(t + 43200, 0, QVASCII_TIME_OFFSET, -1), "2015-03-04 23:59:59");
    EXPECT_EQ(shown(t, 0, 7, 3600), "2015-03-04 12:00:00");               // other modes: UTC
    EXPECT_EQ(shown(t, 0, QVASCII_TIME_LOCAL, 0), "2015-03-04 13:00:00"); // CET
    EXPECT_EQ(shown(1435924800, 0, QVASCII_TIME_LOCAL, 0), "2015-07-03 14:00:00"); // CEST
    // Not representable: empty texts rather than garbage.
    EXPECT_EQ(shown(std::numeric_limits<long>::max(), 5000, QVASCII_TIME_OFFSET, 1), " ");
    set_tz("UTC");
}

TEST(DateTime, ParsesSixNumbersExactly) {
    struct row {
        const char *date, *time;
        int mode;
        std::int32_t off;
        int result;
        long sec;
        std::int32_t nsec;
    };
    set_tz("Europe/Paris");
    for (const row &r : std::vector<row>{
             {"2015-03-04", "12:00:00.123456", QVASCII_TIME_UTC, 0, 0, 1425470400, 123456000},
             {"2015-03-04", "12:00:00", QVASCII_TIME_OFFSET, 3600, 0, 1425466800, 0},
             {"2015-03-04", "12:00:00.5", QVASCII_TIME_UTC, 0, 0, 1425470400, 5000},
             {"2015-03-04", "13:00:00", QVASCII_TIME_LOCAL, 0, 0, 1425470400, 0},
             // A local time that does not exist in Paris is still an exact UTC
             // time; a conversion through local time would be an hour off.
             {"2015-03-29", "02:30:00", QVASCII_TIME_UTC, 0, 0, 1427596200, 0},
             {"2015-10-25", "02:30:00", QVASCII_TIME_UTC, 0, 0, 1445740200, 0},
             {"2015/03/04", "12h00m00", QVASCII_TIME_UTC, 0, 0, 1425470400, 0},
             {"2015-03-04", "12:00", QVASCII_TIME_UTC, 0, -1, 0, 0},
             {"2015-03-04", "12:00:", QVASCII_TIME_UTC, 0, -1, 0, 0},
             {"", "", QVASCII_TIME_UTC, 0, -1, 0, 0},
             {nullptr, "12:00:00", QVASCII_TIME_UTC, 0, -1, 0, 0},
         }) {
        qvraw_timestamp t{};
        t.sec = 1;
        t.nsec = 1;
        EXPECT_EQ(qvascii_parse_datetime(&t, r.date, r.time, r.mode, r.off), r.result) << r.time;
        EXPECT_EQ(t.sec, r.sec) << (r.date ? r.date : "") << " " << r.time;
        EXPECT_EQ(t.nsec, r.nsec) << r.time;
    }
    set_tz("UTC");
}

TEST(DateTime, DurationsShowTimeOfDay) {
    struct row {
        float seconds;
        const char *text;
    };
    for (const row &r : std::vector<row>{{90.5f, "00:01:30.500000"},
                                         {3600.0f, "01:00:00"},
                                         {90000.0f, "01:00:00"},
                                         {2048.0f / 1024.0f, "00:00:02"},
                                         {1800.0f, "00:30:00"},
                                         {0.99999964f, "00:00:01"}, // rounds into the next second
                                         {-1.5f, "23:59:58.500000"},
                                         {1e30f, "03:44:00"}, // exact remainder of the day
                                         {NAN, "00:00:00"},
                                         {INFINITY, "00:00:00"}}) {
        char buf[128];
        qvascii_print_length(buf, sizeof buf, r.seconds);
        EXPECT_STREQ(buf, r.text) << r.seconds;
    }
    char small[5];
    qvascii_print_length(small, sizeof small, 90.5f);
    EXPECT_STREQ(small, ""); // cut to the destination: strftime gives nothing
}

TEST(Lists, PushThenPopInOrder) {
    char list[128] = "";
    for (const char *item : {"X", "Y", "Z"})
        qvascii_push_str(list, sizeof list, item, " + ");
    EXPECT_STREQ(list, "X + Y + Z");
    EXPECT_STREQ(qvascii_pop_str(list, " + "), "X");
    EXPECT_STREQ(list, "Y + Z");
    EXPECT_STREQ(qvascii_pop_str(list, " + "), "Y");
    EXPECT_STREQ(qvascii_pop_str(list, " + "), "Z");
    EXPECT_EQ(qvascii_pop_str(list, " + "), nullptr);

    char plain[64] = "no separator here, but a very long item indeed";
    EXPECT_STREQ(qvascii_pop_str(plain, " + "), "no separator here, but a very l"); // 31
    EXPECT_STREQ(plain, "");

    char empty_items[16] = " + a";
    EXPECT_STREQ(qvascii_pop_str(empty_items, " + "), "");
    EXPECT_STREQ(qvascii_pop_str(empty_items, ""), "a"); // no separator: whole list

    char tight[8] = "";
    qvascii_push_str(tight, sizeof tight, "VM Peak", " + ");
    qvascii_push_str(tight, sizeof tight, "Raw", " + ");
    EXPECT_STREQ(tight, "VM Peak");
}
