// The conversion driver: what a front end calls to convert one file or a
// directory, with the run-wide switches and counters the conversions share.
// Its modules: convert.cpp (one file), repair.cpp (-r), testmode.cpp (-t),
// dirconv.cpp (directory mode on the walk of walk.h), tmpfile.cpp
// (temporary outputs and their cleanup on interrupt).
#pragma once

#include <cstdint>

#include "testmode.h"
#include "tmpfile.h"

// Run-wide switches, set by main before any conversion and then only read.
// They and the counters are per thread: another front end sets them on the
// thread that converts, and threads converting at once never share them.
extern thread_local int convert_header_only;    // -H
extern thread_local int repair_header;          // -r
extern thread_local int unlink_input_file;      // -u
extern thread_local int testing_mode;           // -t
extern thread_local int process_subdirectories; // -R

// Run counters.
extern thread_local std::uint32_t files_converted;
extern thread_local std::uint32_t files_successfully_converted;
extern thread_local std::uint32_t files_tested;
extern thread_local std::uint32_t files_successfully_tested;

// Converts `in` to `out`, formats taken from the extensions; `rule` says
// whether the result may replace a file at `out`. 0 or -1.
int process_file(const char *in, const char *out, output_rule rule = output_rule::replace);

// Converts every file of `dir` of another kind than `fmt` (with -t: of the
// same identifier), then with -R its subdirectories. -1 when the directory
// cannot be opened.
int process_dir(const char *dir, unsigned fmt);

// What the walk does with each file it selects, given the file and its
// output name; process_dir converts it with process_file. A file whose
// output name already exists is skipped by the walk before any visitor
// sees it. The result is not looked at.
using dir_visitor = int (*)(void *ctx, const char *in, const char *out);
// The walk of process_dir, selecting and naming by the same rules and in the
// same order, with `visit` called in place of process_file.
int process_dir_visit(const char *dir, unsigned fmt, dir_visitor visit, void *ctx);
