#include "table.h"

#include <cstdarg>

namespace {

constexpr const char *heading[info_table::NCOLS] = {
    "PATH", "FORMAT", "TYPE", "START", "SECONDS", "FRAMES",
    "RATE", "CH",     "UNIT", "PEAKS", "VSUM",    "RECORDER",
};
// Columns of numbers, aligned to the right.
constexpr bool numeric[info_table::NCOLS] = {false, false, false, false, true, true,
                                             true,  true,  false, false, true, false};

std::string printf_text(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string printf_text(const char *fmt, ...) {
    char buf[64];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

// Control characters of a name or path would break the line: shown as '?'.
std::string printable(const char *s) {
    std::string t(s);
    for (char &c : t)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return t;
}

// Peaks and the vector sum to four significant digits.
std::string amplitude(double v) {
    return printf_text("%.4g", v);
}

} // namespace

void table_add(info_table &t, const char *path, const char *format, const qvraw_header &h,
               const qvdesc_record &d) {
    std::string peaks;
    for (std::size_t c = 0; c < d.nchans; c++) {
        if (c > 0) peaks += ',';
        peaks += amplitude(d.chan[c].peak);
    }
    std::string start = d.start.iso[0] != '\0' ? d.start.iso : "-";
    t.rows.push_back({printable(path), format, d.type, start, printf_text("%.3f", d.duration),
                      printf_text("%u", d.frames), printf_text("%u", h.rate),
                      printf_text("%zu", d.nchans), printable(d.unit), peaks.empty() ? "-" : peaks,
                      amplitude(d.vsum), printable(d.recorder)});
    if (t.rows.size() >= TABLE_BLOCK) table_print(t);
}

void table_print(info_table &t) {
    if (t.rows.empty()) return;
    bool headed = t.width[0] != 0;
    for (std::size_t c = 0; c < info_table::NCOLS; c++) {
        t.width[c] = std::max(t.width[c], std::string_view(heading[c]).size());
        for (const auto &row : t.rows)
            t.width[c] = std::max(t.width[c], row[c].size());
    }
    std::string line;
    auto put = [&](std::size_t c, std::string_view cell) {
        if (c > 0) line += "  ";
        std::size_t pad = t.width[c] - cell.size();
        if (numeric[c]) line.append(pad, ' ');
        line += cell;
        if (!numeric[c] && c + 1 < info_table::NCOLS) line.append(pad, ' ');
    };
    if (!headed) {
        for (std::size_t c = 0; c < info_table::NCOLS; c++)
            put(c, heading[c]);
        line += '\n';
    }
    for (const auto &row : t.rows) {
        for (std::size_t c = 0; c < info_table::NCOLS; c++)
            put(c, row[c]);
        // No blanks at the end of a line whose last cells are empty.
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        line += '\n';
        if (line.size() > 65536) {
            std::fwrite(line.data(), 1, line.size(), t.out);
            line.clear();
        }
    }
    std::fwrite(line.data(), 1, line.size(), t.out);
    t.rows.clear();
}
