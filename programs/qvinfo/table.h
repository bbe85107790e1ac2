// qvinfo's table: one line per record, columns aligned over the whole run,
// so the rows are kept until the end (a few hundred bytes per record; the
// records themselves are never held).
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "describe.h"

struct info_table {
    static constexpr std::size_t NCOLS = 12;
    std::vector<std::array<std::string, NCOLS>> rows;
};

// Adds the line of the record at `path`.
void table_add(info_table &t, const char *path, const char *format, const qvraw_header &h,
               const qvdesc_record &d);
// Prints a heading and the lines, columns separated by two spaces, numbers
// aligned to the right; nothing when there are no lines.
void table_print(const info_table &t, std::FILE *out);
