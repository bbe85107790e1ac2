// Number text of the sample lines, byte-identical to the C library's "%g"
// and atof, without a library call per value in the common case.
//
// Writing: "%g" keeps six significant digits. The value is scaled by a
// power of ten into [100000, 1000000) in extended precision, whose error
// (well below 1e-10 there) cannot move the rounding to an integer unless the
// fraction is within 1e-6 of one half; those rare values, and infinities
// and NaN, go to snprintf. The six digits are then laid out as "%g" does.
//
// Reading: a decimal of at most 19 significant digits whose mantissa fits
// in 53 bits, with a decimal exponent within +-22, is the exact quotient or
// product of two exactly representable doubles, so one correctly rounded
// operation gives strtod's result. Everything else goes to strtod. The fast
// path needs double arithmetic without excess precision (not x87).
#include <array>
#include <bit>
#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qvascii_int.h"

namespace {

// Powers of ten as long double, 10^LO .. 10^HI, covering every scale that a
// finite non-zero double needs (subnormals included).
constexpr int POW_LO = -310;
constexpr int POW_HI = 330;

constexpr std::array<long double, POW_HI - POW_LO + 1> make_pow10() {
    std::array<long double, POW_HI - POW_LO + 1> t{};
    long double p = 1.0L;
    for (int k = 0; k <= POW_HI; k++, p *= 10.0L)
        t[static_cast<std::size_t>(k - POW_LO)] = p;
    p = 1.0L;
    for (int k = 0; k >= POW_LO; k--, p /= 10.0L)
        t[static_cast<std::size_t>(k - POW_LO)] = p;
    return t;
}

constexpr auto pow10l_table = make_pow10();

long double pow10l(int k) {
    return pow10l_table[static_cast<std::size_t>(k - POW_LO)];
}

// The powers of ten that a double holds exactly.
constexpr double pow10d[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

std::size_t format_g_slow(char *dst, double v) {
    char tmp[32];
    int n = std::snprintf(tmp, sizeof tmp, "%g", v);
    if (n < 0) n = 0;
    std::size_t len =
        static_cast<std::size_t>(n) < QVASCII_G_MAX ? static_cast<std::size_t>(n) : QVASCII_G_MAX;
    std::memcpy(dst, tmp, len);
    return len;
}

// |v| * 10^k rounded to an integer as "%g" rounds it, in double where 10^k
// is exact (one correctly rounded operation, error below 6e-11 in this
// range), else in extended precision. False when the product reaches
// 1000000 (the first digit's exponent was guessed one too low). *tie when
// the fraction lies within 1e-6 of one half, where this error could move
// the rounding.
bool scaled_digits(double a, int k, std::uint64_t *r, bool *tie) {
    if (k >= -22 && k <= 22) {
        double s = k >= 0 ? a * pow10d[k] : a / pow10d[-k];
        if (s >= 1000000.0) return false;
        *r = qvascii_trunc_to<std::uint64_t>(s);
        double frac = s - static_cast<double>(*r);
        *tie = frac > 0.5 - 1e-6 && frac < 0.5 + 1e-6;
        *r += frac > 0.5;
    } else {
        long double s = static_cast<long double>(a) * pow10l(k);
        if (s >= 1000000.0L) return false;
        *r = qvascii_trunc_to<std::uint64_t>(s);
        long double frac = s - static_cast<long double>(*r);
        *tie = frac > 0.5L - 1e-6L && frac < 0.5L + 1e-6L;
        *r += frac > 0.5L;
    }
    return true;
}

// Writes the six digits of r (100000 to 999999), the first of decimal
// exponent x, as "%g" lays them out: trailing zeros dropped, the exponent
// form below 10^-4 and from 10^6 on. The end of the text.
char *lay_out(char *p, std::uint64_t r, int x) {
    char d[6];
    for (int i = 5; i >= 0; i--, r /= 10)
        d[i] = static_cast<char>('0' + r % 10);
    int nd = 6; // digits left once trailing zeros go
    while (nd > 1 && d[nd - 1] == '0')
        nd--;

    if (x < -4 || x >= 6) {
        *p++ = d[0];
        if (nd > 1) {
            *p++ = '.';
            for (int i = 1; i < nd; i++)
                *p++ = d[i];
        }
        *p++ = 'e';
        *p++ = x < 0 ? '-' : '+';
        unsigned ax = static_cast<unsigned>(x < 0 ? -x : x);
        if (ax >= 100) *p++ = static_cast<char>('0' + ax / 100);
        *p++ = static_cast<char>('0' + ax / 10 % 10);
        *p++ = static_cast<char>('0' + ax % 10);
    } else if (x >= 0) {
        for (int i = 0; i <= x; i++)
            *p++ = d[i];
        if (nd > x + 1) {
            *p++ = '.';
            for (int i = x + 1; i < nd; i++)
                *p++ = d[i];
        }
    } else {
        *p++ = '0';
        *p++ = '.';
        for (int i = -1; i > x; i--)
            *p++ = '0';
        for (int i = 0; i < nd; i++)
            *p++ = d[i];
    }
    return p;
}

} // namespace

std::size_t qvascii_format_g(char *dst, double v) {
    if (!(v - v == 0)) return format_g_slow(dst, v); // infinity or NaN
    char *p = dst;
    std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    if (bits >> 63) *p++ = '-';
    bits &= ~(std::uint64_t{1} << 63);
    if (bits == 0) {
        *p++ = '0';
        return static_cast<std::size_t>(p - dst);
    }

    // Binary exponent e2 with 2^e2 <= |v| < 2^(e2+1), then x0 =
    // floor(e2 * log10(2)), which is floor(log10|v|) or one less.
    int biased = static_cast<int>(bits >> 52);
    int e2 = biased != 0 ? biased - 1023 : -1074 + 63 - std::countl_zero(bits);
    int x0 = (e2 * 78913) >> 18;

    // |v| * 10^pw in [100000, 1000000), pw one less when x0 was one too low.
    const double a = v < 0 ? -v : v;
    int pw = 5 - x0;
    std::uint64_t r = 0;
    bool tie = true; // unless the scaling below settles it
    if (!scaled_digits(a, pw, &r, &tie)) scaled_digits(a, --pw, &r, &tie);
    if (tie) return format_g_slow(dst, v);
    int x = 5 - pw; // decimal exponent of the first digit
    if (r >= 1000000) {
        r /= 10;
        x++;
    }
    if (r < 100000) return format_g_slow(dst, v); // not reached; kept exact anyway
    return static_cast<std::size_t>(lay_out(p, r, x) - dst);
}

namespace {

// strtod with the end of its number text in *end.
double parse_slow(const char *text, const char **end) {
    char *e = nullptr;
    double d = std::strtod(text, &e);
    *end = e;
    return d;
}

#if FLT_EVAL_METHOD == 0
bool is_digit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

// m * 10^e10, negated when neg, as strtod rounds it: exact when m fits in
// 53 bits and 10^|e10| is a double (one correctly rounded operation);
// otherwise strtod on the text. s is the end of the number text.
double scaled(std::uint64_t m, int e10, bool neg, const char *text, const char *s,
              const char **end) {
    if (m == 0) {
        *end = s;
        return neg ? -0.0 : 0.0;
    }
    if (m > (std::uint64_t{1} << 53) || e10 < -22 || e10 > 22) return parse_slow(text, end);
    double d = static_cast<double>(m);
    d = e10 >= 0 ? d * pow10d[e10] : d / pow10d[-e10];
    *end = s;
    return neg ? -d : d;
}

// The exponent part at s, if any: adds it to *e10 and gives the end of the
// number text ("1e" and "1e+" end before the 'e', as for strtod).
const char *exponent(const char *s, int *e10) {
    if (*s != 'e' && *s != 'E') return s;
    const char *q = s + 1;
    bool eneg = false;
    if (*q == '+' || *q == '-') eneg = *q++ == '-';
    if (!is_digit(*q)) return s;
    int e = 0;
    for (; is_digit(*q); q++)
        if (e < 100000) e = e * 10 + (*q - '0');
    *e10 += eneg ? -e : e;
    return q;
}

// Decimal text with more than 19 digit characters: leading zeros are
// skipped, and more than 19 significant digits go to strtod. s is just
// after the sign.
double parse_long(const char *text, const char *s, bool neg, const char **end) {
    std::uint64_t m = 0;
    int nd = 0;  // significant digits in m
    int e10 = 0; // m * 10^e10
    for (; is_digit(*s); s++) {
        if (m == 0 && *s == '0') continue;
        if (nd == 19) return parse_slow(text, end);
        m = m * 10 + static_cast<unsigned>(*s - '0');
        nd++;
    }
    if (*s == '.') {
        for (s++; is_digit(*s); s++) {
            if (m == 0 && *s == '0') {
                e10--;
                continue;
            }
            if (nd == 19) return parse_slow(text, end);
            m = m * 10 + static_cast<unsigned>(*s - '0');
            nd++;
            e10--;
        }
    }
    s = exponent(s, &e10);
    return scaled(m, e10, neg, text, s, end);
}
#endif

} // namespace

double qvascii_parse_number(const char *text, const char **end) {
#if FLT_EVAL_METHOD == 0
    const char *s = text;
    while (*s == ' ' || (*s >= '\t' && *s <= '\r'))
        s++;
    bool neg = false;
    if (*s == '+' || *s == '-') neg = *s++ == '-';
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) return parse_slow(text, end);

    // Up to 19 digit characters in all fit in m exactly, leading zeros
    // included; longer texts take the careful way.
    const char *digits = s;
    std::uint64_t m = 0;
    for (; is_digit(*s); s++)
        m = m * 10 + static_cast<unsigned>(*s - '0');
    std::ptrdiff_t nint = s - digits, nfrac = 0;
    if (*s == '.') {
        const char *frac = ++s;
        for (; is_digit(*s); s++)
            m = m * 10 + static_cast<unsigned>(*s - '0');
        nfrac = s - frac;
    }
    if (nint + nfrac == 0) return parse_slow(text, end); // inf, nan or no number
    if (nint + nfrac > 19) return parse_long(text, digits, neg, end);
    int e10 = -static_cast<int>(nfrac);
    s = exponent(s, &e10);
    return scaled(m, e10, neg, text, s, end);
#else
    return parse_slow(text, end);
#endif
}

double qvascii_parse_double(const char *text) {
    const char *end;
    return qvascii_parse_number(text, &end);
}
