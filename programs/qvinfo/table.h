// qvinfo's table: one line per record, columns aligned. Rows are held back
// in blocks of TABLE_BLOCK and printed a block at a time, so memory stays
// the same however large the archive: a listing of up to TABLE_BLOCK
// records is aligned as a whole; beyond that a column only ever widens, so
// a later block may stand wider than an earlier one but never narrower.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "describe.h"

inline constexpr std::size_t TABLE_BLOCK = 1024;

struct info_table {
    static constexpr std::size_t NCOLS = 12;
    std::FILE *out;
    std::vector<std::array<std::string, NCOLS>> rows; // not yet printed
    std::array<std::size_t, NCOLS> width{};           // 0 until the heading is printed
};

// Adds the line of the record at `path`; prints the rows held back when
// they fill a block.
void table_add(info_table &t, const char *path, const char *format, const qvraw_header &h,
               const qvdesc_record &d);
// Prints the rows held back, under a heading when none was printed yet:
// columns separated by two spaces, numbers aligned to the right. Nothing
// when there never was a row.
void table_print(info_table &t);
