// The header model (groups, entries, typed values) and its text form.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "ascii_util.h"

TEST(HeaderModel, FreshHeaderPrintsTheVersionOnly) {
    scoped_header h;
    EXPECT_EQ(qvascii_header_get(h, "ASCII"), &h->groups[0]);
    EXPECT_EQ(qvascii_header_get(h, "ascii"), nullptr); // names are case-sensitive
    char buf[64];
    EXPECT_EQ(qvascii_header_print(h, buf, 28), -1); // no room for the terminator
    ASSERT_EQ(qvascii_header_print(h, buf, 29), 28);
    EXPECT_STREQ(buf, "# [ASCII]\r\n# Version=3\r\n# \r\n");
}

TEST(HeaderModel, FindOrAppendKeepsFirstPositionAndStopsAtCapacity) {
    scoped_header h;
    put(h, "G", "a", "1");
    put(h, "G", "b", "2");
    put(h, "G", "a", "3");
    EXPECT_EQ(dump(h.h), "ASCII{Version=3} G{a=3,b=2}");
    qvascii_group *g = qvascii_header_get(h, "G");
    for (int i = 2; i < 24; i++)
        ASSERT_NE(qvascii_group_set(g, std::to_string(i).c_str()), nullptr);
    EXPECT_EQ(qvascii_group_set(g, "24"), nullptr);
    EXPECT_EQ(qvascii_group_set(g, "a"), &g->entries[0]); // existing keys still found
    for (int i = 2; i < 24; i++)
        ASSERT_NE(qvascii_header_set(h, std::to_string(i).c_str()), nullptr);
    EXPECT_EQ(qvascii_header_set(h, "24"), nullptr);
    qvascii_entry_set_str(qvascii_group_set(qvascii_header_set(h, "24"), "x"), "y"); // no-op
}

TEST(HeaderModel, NullContainersAndUnsetValuesGiveTheDefault) {
    EXPECT_EQ(qvascii_entry_get_int(qvascii_group_get(qvascii_header_get(nullptr, "A"), "R"), 7),
              7);
    EXPECT_STREQ(qvascii_entry_get_str(nullptr, "d"), "d");
    qvascii_entry_set_uint(nullptr, 1);
    qvascii_header_cleanup(nullptr);
    scoped_header h;
    qvascii_entry *e = qvascii_group_set(qvascii_header_set(h, "G"), "k");
    EXPECT_EQ(qvascii_entry_get_str(e, "d"), nullptr);
    EXPECT_EQ(qvascii_entry_get_int(e, 5), 5);
    EXPECT_EQ(qvascii_entry_get_double(e, 2.5), 2.5);
    qvascii_header_cleanup(h);
    qvascii_header_cleanup(h); // every slot already free
    EXPECT_EQ(dump(h.h), "");
}

TEST(HeaderModel, GettersReadLeadingDigitsAndExactWords) {
    struct row {
        const char *text;
        std::int32_t i;
        std::uint32_t u;
        double d;
    };
    for (const row &r : std::vector<row>{{"12x", 12, 12, 12},
                                         {"abc", 0, 0, 0},
                                         {" \t-7", -7, 4294967289u, -7},
                                         {"-1", -1, 4294967295u, -1},
                                         {"3000000000", INT32_MAX, 3000000000u, 3e9},
                                         {"99999999999999999999", INT32_MAX, UINT32_MAX, 1e20},
                                         {"-99999999999999999999", INT32_MIN, 2147483648u, -1e20},
                                         {"True", 0, 0, 0}}) {
        scoped_header h;
        put(h, "G", "k", r.text);
        const qvascii_entry *e = qvascii_group_get(qvascii_header_get(h, "G"), "k");
        EXPECT_EQ(qvascii_entry_get_int(e, 99), r.i) << r.text;
        EXPECT_EQ(qvascii_entry_get_uint(e, 99), r.u) << r.text;
        EXPECT_EQ(qvascii_entry_get_double(e, 99), r.d) << r.text;
        EXPECT_EQ(qvascii_entry_get_bool(e, false), std::string(r.text) == "True") << r.text;
        EXPECT_TRUE(qvascii_entry_get_bool(e, true)) << r.text; // never "False"
    }
}

TEST(HeaderModel, SettersStoreTextOfAtMost63Characters) {
    scoped_header h;
    qvascii_entry *e = qvascii_group_set(qvascii_header_set(h, "G"), "k");
    auto text = [&] { return std::string(e->value); };
    for (auto [v, want] : std::vector<std::pair<double, const char *>>{{0.1, "0.1"},
                                                                       {0.00001, "1e-05"},
                                                                       {1024, "1024"},
                                                                       {0.000125, "0.000125"},
                                                                       {1e6, "1e+06"}}) {
        qvascii_entry_set_double(e, v);
        EXPECT_EQ(text(), want);
    }
    qvascii_entry_set_int(e, -5);
    EXPECT_EQ(text(), "-5");
    qvascii_entry_set_uint(e, 4294967295u);
    EXPECT_EQ(text(), "4294967295");
    qvascii_entry_set_bool(e, false);
    EXPECT_EQ(text(), "False");
    EXPECT_FALSE(qvascii_entry_get_bool(e, true));
    qvascii_entry_set_str(e, std::string(100, 'x').c_str());
    EXPECT_EQ(text(), std::string(63, 'x'));
    qvascii_entry_set_str(e, "abc");
    qvascii_entry_set_printf(e, "%s!", e->value); // its own value as an argument
    EXPECT_EQ(text(), "abc!");
}

TEST(HeaderText, ParseAcceptsAndRefuses) {
    struct row {
        const char *text;
        long result;
        const char *groups; // the header afterwards
    };
    const char *fresh = "ASCII{Version=3}";
    for (const row &r : std::vector<row>{
             {"# [ASCII]\r\n# Version=3\r\n# \r\n0 1\r\n", 28, fresh},
             {"# [ASCII]\n# Version=3\n# \n0 1\n", 25, fresh},
             {"0 1\r\n# [A]\r\n", 0, fresh},
             {"#[A]\n#   [B]\n", 13, "A{} B{}"},
             {"# [A]\n# Rate = 5\n# a=b=c\n# a=\n", 30, "A{Rate = 5,a=b=c,a=}"},
             {"# [A]\n#\n# \n# k=v\n#\n", 19, "A{k=v}"},
             {"# [A]\r# k=v\r\n1 2", 13, "A{k=v}"}, // CR alone and CR LF alike
             {"# [A]\n# k=1\n# [A]\n# k=2\n", 24, "A{k=1} A{k=2}"},
             {"# [A]\r\n# k=v\n", -1, nullptr}, // no CR after the value
             {"#\t[A]\n", -1, nullptr},         // tabs are not skipped
             {"# [A]\n# -x=1\n", -1, nullptr},  // not a letter or digit
             {"# [A]\n# ;x=1\n", -1, nullptr},
             {"# [A]\n# k=v", -1, nullptr},        // last line without a line end
             {"# [A]", -1, nullptr},               // no line end at all
             {"# [A]\n# k\n# j=v\n", -1, nullptr}, // '=' only on a later line
             {"# [A] \n", -1, nullptr},            // line end must follow ']'
             {"# [A\n]\n", -1, nullptr},
             {"# k=v\n# [A]\n", -1, nullptr}, // entry before any group
         }) {
        scoped_header h;
        std::string text = r.text;
        EXPECT_EQ(qvascii_header_parse(h, text.data()), r.result) << r.text;
        if (r.groups) {
            EXPECT_EQ(dump(h.h), r.groups) << r.text;
        }
    }
}

TEST(HeaderText, CapacityRoundTripsAndOverflowFails) {
    scoped_header h;
    for (int i = 0; i < 24; i++)
        put(h, "G", std::to_string(i).c_str(), "v");
    static char buf[8192];
    int n = qvascii_header_print(h, buf, sizeof buf);
    ASSERT_GT(n, 0);
    std::string text(buf, static_cast<std::size_t>(n));
    auto parse = [](std::string t) {
        scoped_header back;
        long r = qvascii_header_parse(back, t.data());
        return std::make_pair(r, dump(back.h));
    };
    EXPECT_EQ(parse(text + "0 1\r\n"), std::make_pair(static_cast<long>(n), dump(h.h)));
    // A 25th entry line in the group.
    EXPECT_EQ(parse(text.substr(0, text.size() - 4) + "# 24=v\r\n# \r\n").first, -1);
    // After 24 groups the next line ends the header, whatever it is.
    std::string groups;
    for (int i = 0; i < 24; i++)
        groups += "# [" + std::to_string(i) + "]\n";
    EXPECT_EQ(parse(groups + "# [24]\n").first, static_cast<long>(groups.size()));
}
