// Header entries: one key and its value, both kept as text.
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "qvascii_int.h"

namespace {

// The shared formatting buffer of the setters: every stored value is cut to
// the 63 characters that fit in it.
thread_local char buf[QVASCII_VALUE_MAX + 1];

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// atoi's reading of a value (leading white space, a sign, decimal digits up
// to the first other character; 0 without digits), into 64 bits with the
// magnitude saturated, so that callers choose how to narrow it.
std::int64_t leading_integer(const char *s) {
    while (is_space(*s))
        s++;
    bool neg = false;
    if (*s == '+' || *s == '-') neg = *s++ == '-';
    std::int64_t v = 0;
    constexpr std::int64_t cap = std::int64_t{1} << 40; // far beyond 32 bits
    for (; *s >= '0' && *s <= '9'; s++)
        if (v < cap) v = v * 10 + (*s - '0');
    return neg ? -v : v;
}

} // namespace

char *qvascii_dup(const char *s, std::size_t n) {
    char *p = static_cast<char *>(std::malloc(n + 1));
    if (!p) return nullptr;
    std::memcpy(p, s, n);
    p[n] = '\0';
    return p;
}

void qvascii_entry_init(qvascii_entry *e) {
    e->key = nullptr;
    e->value = nullptr;
}

void qvascii_entry_cleanup(qvascii_entry *e) {
    if (!e) return;
    std::free(e->value);
    e->value = nullptr;
}

const char *qvascii_entry_get_str(const qvascii_entry *e, const char *def) {
    return e ? e->value : def;
}

std::int32_t qvascii_entry_get_int(const qvascii_entry *e, std::int32_t def) {
    if (!e || !e->value) return def;
    std::int64_t v = leading_integer(e->value);
    if (v < INT32_MIN) return INT32_MIN;
    if (v > INT32_MAX) return INT32_MAX;
    return static_cast<std::int32_t>(v);
}

std::uint32_t qvascii_entry_get_uint(const qvascii_entry *e, std::uint32_t def) {
    if (!e || !e->value) return def;
    std::int64_t v = leading_integer(e->value);
    // Negative texts wrap as atoi's result taken as unsigned would (-1 is
    // 4294967295); the whole unsigned range reads as itself.
    if (v < INT32_MIN) v = INT32_MIN;
    if (v > UINT32_MAX) v = UINT32_MAX;
    return static_cast<std::uint32_t>(v);
}

double qvascii_entry_get_double(const qvascii_entry *e, double def) {
    if (!e || !e->value) return def;
    return std::strtod(e->value, nullptr);
}

bool qvascii_entry_get_bool(const qvascii_entry *e, bool def) {
    if (!e || !e->value) return def;
    if (std::strcmp(e->value, "True") == 0) return true;
    if (std::strcmp(e->value, "False") == 0) return false;
    return def;
}

void qvascii_entry_set_printf(qvascii_entry *e, const char *fmt, ...) {
    if (!e) return;
    // Format before freeing the old value: an argument may point into it.
    std::va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) buf[0] = '\0';
    std::free(e->value);
    e->value = qvascii_dup(buf, std::strlen(buf));
}

void qvascii_entry_set_str(qvascii_entry *e, const char *s) {
    qvascii_entry_set_printf(e, "%s", s ? s : "");
}

void qvascii_entry_set_int(qvascii_entry *e, std::int32_t v) {
    qvascii_entry_set_printf(e, "%d", static_cast<int>(v));
}

void qvascii_entry_set_uint(qvascii_entry *e, std::uint32_t v) {
    qvascii_entry_set_printf(e, "%u", static_cast<unsigned>(v));
}

void qvascii_entry_set_double(qvascii_entry *e, double v) {
    qvascii_entry_set_printf(e, "%lg", v);
}

void qvascii_entry_set_bool(qvascii_entry *e, bool v) {
    qvascii_entry_set_printf(e, "%s", v ? "True" : "False");
}
