// Dates, times and durations of the header, and lists of names.
//
// Times are shown in one of three modes: UTC, the machine's local zone, or
// UTC plus a fixed offset in seconds (a zone given by name in the header).
// UTC conversions are exact both ways (gmtime_r and timegm), never local
// time plus a correction, which is off by an hour near a daylight-saving
// change.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "qvascii_int.h"

namespace {

// The item last taken from a list.
thread_local char output[32];

// The broken-down time of `sec` in the given mode; false when the runtime
// cannot represent it.
bool broken_down(std::tm *tm, long sec, int time_mode, std::int32_t utc_offset) {
    if (time_mode == QVASCII_TIME_OFFSET && __builtin_add_overflow(sec, utc_offset, &sec))
        return false;
    std::time_t t = static_cast<std::time_t>(sec);
    if (time_mode == QVASCII_TIME_LOCAL) return localtime_r(&t, tm) != nullptr;
    return gmtime_r(&t, tm) != nullptr;
}

// strftime into dst; an empty text when nothing fits or the time is not
// representable.
void format_tm(char *dst, std::size_t size, const char *fmt, const std::tm *tm) {
    if (!tm || std::strftime(dst, size, fmt, tm) == 0) dst[0] = '\0';
}

// Appends ".%06ld" of usec behind the text in dst when usec is not 0.
void append_usec(char *dst, std::size_t size, long usec) {
    if (usec == 0) return;
    std::size_t len = std::strlen(dst);
    if (len + 1 < size) std::snprintf(dst + len, size - len, ".%06ld", usec);
}

} // namespace

void qvascii_print_date(char *dst, std::size_t size, const qvraw_timestamp *t, int time_mode,
                        std::int32_t utc_offset) {
    if (!dst || size == 0) return;
    std::tm tm{};
    format_tm(dst, size, "%Y-%m-%d",
              t && broken_down(&tm, t->sec, time_mode, utc_offset) ? &tm : nullptr);
}

void qvascii_print_time(char *dst, std::size_t size, const qvraw_timestamp *t, int time_mode,
                        std::int32_t utc_offset) {
    if (!dst || size == 0) return;
    std::tm tm{};
    if (!t || !broken_down(&tm, t->sec, time_mode, utc_offset)) {
        dst[0] = '\0';
        return;
    }
    format_tm(dst, size, "%H:%M:%S", &tm);
    if (dst[0] != '\0') append_usec(dst, size, t->nsec / 1000);
}

void qvascii_print_length(char *dst, std::size_t size, float seconds) {
    if (!dst || size == 0) return;
    // Whole seconds and the fraction, the fraction always in [0, 1) so that
    // a negative duration shows as its remainder within the day as well.
    double whole = std::floor(static_cast<double>(seconds));
    long usec = qvascii_trunc_to<long>(std::round((seconds - whole) * 1e6));
    if (usec >= 1000000) { // a fraction that rounds up to the next second
        usec -= 1000000;
        whole += 1;
    }
    // Only the time of day is shown, so the day count can be dropped first;
    // that keeps any finite duration representable.
    double in_day = std::fmod(whole, 86400.0); // exact
    if (in_day < 0) in_day += 86400.0;
    std::time_t t = qvascii_trunc_to<std::time_t>(in_day);
    std::tm tm{};
    format_tm(dst, size, "%H:%M:%S", gmtime_r(&t, &tm));
    if (dst[0] != '\0') append_usec(dst, size, usec);
}

int qvascii_parse_datetime(qvraw_timestamp *t, const char *date, const char *time, int time_mode,
                           std::int32_t utc_offset) {
    if (!t) return -1;
    t->sec = 0;
    t->nsec = 0;
    char text[64];
    std::snprintf(text, sizeof text, "%sT%s", date ? date : "", time ? time : "");

    long num[6];
    const char *p = text;
    for (int i = 0; i < 6; i++) {
        char *end;
        errno = 0;
        num[i] = std::strtol(p, &end, 10);
        if (end == p) return -1;
        p = end;
        if (i < 5) {
            if (*p == '\0') return -1; // the text ends before six numbers
            p++;                       // one separator of any kind
        }
    }

    auto to_int = [](long v) {
        return static_cast<int>(v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : v);
    };
    std::tm tm{};
    tm.tm_year = to_int(num[0] < LONG_MIN + 1900 ? LONG_MIN : num[0] - 1900);
    tm.tm_mon = to_int(num[1] < LONG_MIN + 1 ? LONG_MIN : num[1] - 1);
    tm.tm_mday = to_int(num[2]);
    tm.tm_hour = to_int(num[3]);
    tm.tm_min = to_int(num[4]);
    tm.tm_sec = to_int(num[5]);
    tm.tm_isdst = -1;

    errno = 0;
    std::time_t sec = time_mode == QVASCII_TIME_LOCAL ? std::mktime(&tm) : timegm(&tm);
    // -1 is also 1969-12-31 23:59:59 UTC; only an overflow is a failure.
    if (sec == static_cast<std::time_t>(-1) && errno == EOVERFLOW) return -1;
    long s = static_cast<long>(sec);
    if (time_mode == QVASCII_TIME_OFFSET && __builtin_sub_overflow(s, utc_offset, &s)) return -1;

    std::int32_t nsec = 0;
    if (*p == '.') {
        // The fraction is a count of microseconds (six digits written).
        long long usec = 0;
        const char *q = p + 1;
        while (*q == ' ' || (*q >= '\t' && *q <= '\r'))
            q++;
        bool neg = false;
        if (*q == '+' || *q == '-') neg = *q++ == '-';
        for (; *q >= '0' && *q <= '9'; q++)
            if (usec < 10000000) usec = usec * 10 + (*q - '0');
        usec = neg ? -usec : usec;
        long long ns = usec * 1000;
        nsec = static_cast<std::int32_t>(ns < INT32_MIN   ? INT32_MIN
                                         : ns > INT32_MAX ? INT32_MAX
                                                          : ns);
    }
    t->sec = s;
    t->nsec = nsec;
    return 0;
}

void qvascii_push_str(char *list, std::size_t size, const char *item, const char *sep) {
    if (!list || size == 0 || !item) return;
    std::size_t len = strnlen(list, size);
    if (len >= size) { // not terminated: start over
        list[0] = '\0';
        len = 0;
    }
    if (len == 0)
        std::snprintf(list, size, "%s", item);
    else
        std::snprintf(list + len, size - len, "%s%s", sep ? sep : "", item);
}

const char *qvascii_pop_str(char *list, const char *sep) {
    if (!list || list[0] == '\0') return nullptr;
    // An empty separator cannot split anything: the whole list is one item.
    const char *found = sep && sep[0] ? std::strstr(list, sep) : nullptr;
    std::size_t n = found ? static_cast<std::size_t>(found - list) : std::strlen(list);
    std::size_t keep = n < sizeof output - 1 ? n : sizeof output - 1;
    std::memcpy(output, list, keep);
    output[keep] = '\0';
    if (found) {
        const char *rest = found + std::strlen(sep);
        std::memmove(list, rest, std::strlen(rest) + 1);
    } else {
        list[0] = '\0';
    }
    return output;
}
