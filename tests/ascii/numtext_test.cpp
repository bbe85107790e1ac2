// Sample values must be written byte for byte as "%g" and read back as atof
// reads them, whatever path the library takes internally.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "qvascii_int.h"

namespace {

// Counts the values whose text or read-back differs, reporting the first few.
struct checker {
    int failures = 0;

    void value(double v) {
        char want[32], got[QVASCII_G_MAX + 1];
        int n = std::snprintf(want, sizeof want, "%g", v);
        std::size_t m = qvascii_format_g(got, v);
        ASSERT_LE(m, QVASCII_G_MAX);
        got[m] = '\0';
        if (static_cast<std::size_t>(n) != m || std::string(want) != got) fail("%g", v, want, got);
        text(want);
        char exact[40];
        std::snprintf(exact, sizeof exact, "%.17g", v);
        text(exact);
    }

    // The value, and where the number text ends (the sample-line reader
    // finds the next separator there), as strtod gives them.
    void text(const char *s) {
        char *want_end = nullptr;
        const char *got_end = nullptr;
        double want = std::strtod(s, &want_end), got = qvascii_parse_number(s, &got_end);
        if (std::bit_cast<std::uint64_t>(want) != std::bit_cast<std::uint64_t>(got) &&
            !(std::isnan(want) && std::isnan(got)))
            fail("atof", want, s, "");
        if (got_end != want_end) fail("end of", want, s, got_end);
        if (std::bit_cast<std::uint64_t>(qvascii_parse_double(s)) !=
            std::bit_cast<std::uint64_t>(got))
            fail("parse_double", got, s, "");
    }

    void fail(const char *what, double v, const char *want, const char *got) {
        if (failures++ < 10)
            ADD_FAILURE() << what << " of " << std::hexfloat << v << ": '" << want << "' vs '"
                          << got << "'";
    }
};

} // namespace

TEST(SampleNumbers, AreWrittenAsPrintfAndReadAsStrtod) {
    checker c;
    // Any bit pattern.
    std::mt19937_64 rng(20240601);
    for (int i = 0; i < 300000; i++)
        c.value(std::bit_cast<double>(rng()));
    for (int e = -325; e <= 309; e++) {
        // Powers of ten and the six-digit rounding boundaries around them.
        for (double m : {1.0, 9.999995, 9.99999499999999, 9.99999500000001, 1.000005, 1.0000045,
                         1.0000055, 2.5, 5.0, 1.234565}) {
            double v = m * std::pow(10.0, e);
            for (double w : {v, std::nextafter(v, 0.0), std::nextafter(v, INFINITY)}) {
                c.value(w);
                c.value(-w);
            }
        }
    }
    // Exact decimal ties, where "%g" rounds half to even.
    for (long k = 0; k < 200000; k += 7) {
        c.value((static_cast<double>(k) + 0.5) / 1e6);
        c.value(static_cast<double>(k) + 0.5);
        c.value(static_cast<double>(k) * 1e6 + 500000.0);
    }
    for (double v :
         {0.0, -0.0, 4.9406564584124654e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
          static_cast<double>(INFINITY), -static_cast<double>(INFINITY), static_cast<double>(NAN),
          -static_cast<double>(NAN), 0.0001, 0.00009999995, 999999.5, 999999.49999999994, 100000.0,
          1e-5})
        c.value(v);
    // Texts that are not "%g" output still read as atof reads them ('|'
    // separates them).
    std::string texts = "| |-|+.5|.|1e|1e+|2E3|0x1p3|-0x10|inf|-Infinity|nan(123)|  \t 7.5x|"
                        "00000000000000000000001.5|12345678901234567890|1.5e-400|1e400|"
                        "9007199254740993|0.0000000000000000000001e22|1e-22|1e22|1e23|-0|-0e-5";
    for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
        end = texts.find('|', at);
        c.text(texts.substr(at, end - at).c_str());
    }
    EXPECT_EQ(c.failures, 0);
}
