#include "text.h"

std::size_t utf8_length(std::string_view s) {
    auto at = [&](std::size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; };
    unsigned c = at(0);
    std::size_t n;
    unsigned cp, min;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2, cp = c & 0x1F, min = 0x80;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3, cp = c & 0x0F, min = 0x800;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4, cp = c & 0x07, min = 0x10000;
    else
        return 0;
    for (std::size_t i = 1; i < n; i++) {
        unsigned b = at(i);
        if ((b & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (b & 0x3F);
    }
    bool valid =
        cp >= min && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF) && cp != 0xFFFE && cp != 0xFFFF;
    return valid ? n : 0;
}
