// The header: up to 24 groups, and its text form.
//
// Text form, one line per group name, per entry and per group end:
//
//     # [Group]
//     # Key=Value
//     #
//
// Lines are written with CR LF. A reader takes the line end from the first
// CR or LF of the text: after a CR an LF belongs to the line end too, so
// CR LF and CR-only text read alike; after an LF a CR stays in the text.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qvascii_int.h"

void qvascii_header_init(qvascii_header *h) {
    for (qvascii_group &g : h->groups)
        qvascii_group_init(&g);
    qvascii_entry_set_str(qvascii_group_set(qvascii_header_set(h, "ASCII"), "Version"), "3");
}

void qvascii_header_cleanup(qvascii_header *h) {
    if (!h) return;
    for (qvascii_group &g : h->groups) {
        if (!g.name) break;
        qvascii_group_cleanup(&g);
        std::free(g.name);
        g.name = nullptr;
    }
}

qvascii_group *qvascii_header_get(const qvascii_header *h, const char *name) {
    if (!h || !name) return nullptr;
    for (const qvascii_group &g : h->groups) {
        if (!g.name) break;
        if (std::strcmp(g.name, name) == 0) return const_cast<qvascii_group *>(&g);
    }
    return nullptr;
}

qvascii_group *qvascii_header_set(qvascii_header *h, const char *name) {
    if (!h || !name) return nullptr;
    for (qvascii_group &g : h->groups) {
        if (!g.name) {
            g.name = qvascii_dup(name, std::strlen(name));
            return g.name ? &g : nullptr;
        }
        if (std::strcmp(g.name, name) == 0) return &g;
    }
    return nullptr;
}

namespace {

// Appends one formatted piece at *used; false when it and its terminator do
// not fit in the space left.
__attribute__((format(printf, 4, 5))) bool append(char *buf, std::int32_t size, std::int32_t *used,
                                                  const char *fmt, ...) {
    std::va_list ap;
    va_start(ap, fmt);
    std::int32_t left = size - *used;
    int n = std::vsnprintf(buf + *used, static_cast<std::size_t>(left), fmt, ap);
    va_end(ap);
    if (n < 0 || n >= left) return false;
    *used += n;
    return true;
}

} // namespace

int qvascii_header_print(const qvascii_header *h, char *buf, std::int32_t size) {
    if (!buf || size <= 0) return -1;
    buf[0] = '\0';
    if (!h) return 0;
    std::int32_t used = 0;
    for (const qvascii_group &g : h->groups) {
        if (!g.name) break;
        if (!append(buf, size, &used, "# [%s]\r\n", g.name)) return -1;
        for (const qvascii_entry &e : g.entries) {
            if (!e.key) break;
            if (!append(buf, size, &used, "# %s=%s\r\n", e.key, e.value ? e.value : "")) return -1;
        }
        if (!append(buf, size, &used, "# \r\n")) return -1;
    }
    return used;
}

namespace {

bool is_alnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The text being parsed and its decided line end.
struct text_cursor {
    char *base;
    char nl; // '\r' or '\n'

    // The first line-end character at or after p on the same line, or null
    // at the end of the text.
    char *line_end(char *p) const { return std::strchr(p, nl); }

    // The start of the next line, p being at a line-end character.
    char *past_line_end(char *p) const {
        p++;
        if (nl == '\r' && *p == '\n') p++;
        return p;
    }
};

// Stores a heap copy of [s, s + n) in *slot, releasing what it held.
bool store(char **slot, const char *s, std::size_t n) {
    char *copy = qvascii_dup(s, n);
    if (!copy) return false;
    std::free(*slot);
    *slot = copy;
    return true;
}

char *skip_hash(char *p) {
    p++; // the '#'
    while (*p == ' ')
        p++;
    return p;
}

} // namespace

long qvascii_header_parse(qvascii_header *h, char *text) {
    if (!h || !text) return -1;
    char *first_nl = std::strpbrk(text, "\r\n");
    if (!first_nl) return -1;
    text_cursor t{text, *first_nl};

    char *line = text;
    for (qvascii_group &g : h->groups) {
        if (*line != '#') return line - text;
        char *p = skip_hash(line);
        if (*p != '[') return -1;
        char *name = p + 1;
        // The name runs to the ']' of the same line; the line end follows it.
        char *eol = t.line_end(name);
        char *close = static_cast<char *>(
            std::memchr(name, ']', eol ? static_cast<std::size_t>(eol - name) : std::strlen(name)));
        if (!close || close + 1 != eol) return -1;
        // The slot takes the text's group: whatever it held goes.
        qvascii_group_cleanup(&g);
        if (!store(&g.name, name, static_cast<std::size_t>(close - name))) return -1;
        line = t.past_line_end(eol);

        std::size_t slot = 0;
        for (;;) {
            if (*line != '#') break;
            p = skip_hash(line);
            if (*p == '[') break; // the next group's line
            if (*p == t.nl) {     // an empty line: skipped, takes no slot
                line = t.past_line_end(p);
                continue;
            }
            if (slot == QVASCII_MAX_ENTRIES) break; // the group loop refuses it
            if (!is_alnum(*p)) return -1;
            eol = t.line_end(p);
            if (!eol) return -1; // the last line has no line end
            char *eq = static_cast<char *>(std::memchr(p, '=', static_cast<std::size_t>(eol - p)));
            if (!eq) return -1;
            qvascii_entry &e = g.entries[slot++];
            if (!store(&e.key, p, static_cast<std::size_t>(eq - p))) return -1;
            if (!store(&e.value, eq + 1, static_cast<std::size_t>(eol - eq - 1))) return -1;
            line = t.past_line_end(eol);
        }
    }
    return line - text;
}
