// Texts of records and paths in the programs' outputs. A record's text
// fields and the names of files are bytes of no stated encoding, while JSON
// and SVG are UTF-8: valid UTF-8 passes as it is and any other byte is taken
// as a Latin-1 character, so every byte shows as something and the output
// stays valid.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Appends `s` to `out` as UTF-8 (see above). Each ASCII character goes
// through `ascii(out, c)`, which escapes what its format must.
template <typename Ascii>
void append_utf8(std::string &out, std::string_view s, Ascii ascii);

// Bytes of the valid UTF-8 sequence of a non-ASCII character at the start
// of `s` (2 to 4), or 0. Overlong forms, surrogates, code points beyond
// U+10FFFF and the non-characters U+FFFE and U+FFFF are not valid.
std::size_t utf8_length(std::string_view s);

template <typename Ascii>
void append_utf8(std::string &out, std::string_view s, Ascii ascii) {
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ascii(out, static_cast<char>(c));
            i++;
        } else if (std::size_t n = utf8_length(s.substr(i)); n != 0) {
            out.append(s.substr(i, n));
            i += n;
        } else { // Latin-1: U+0080 to U+00FF
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
            i++;
        }
    }
}
