// Temporary output files and their cleanup on interrupt.
//
// A result is written under a temporary name beside its final name (the
// final name, a dot and six characters) and given its final name only when
// it is complete, so that a failure leaves neither a partial output nor a
// temporary file.
//
// A program that writes files this way calls interrupts_install() in main,
// before it makes any: SIGINT, SIGTERM and SIGHUP then remove the file that
// is registered for them and end the process by the signal. A file is
// registered from its creation to its rename or removal, and one name at a
// time: the handler's name buffer is process-wide. Registration happens
// only on the thread that installed the handler, which the programs
// (qvconv, qvplot) do from their single thread; a front end that converts
// in threads of its own (the Python module) installs no handler, and its
// threads then never write that buffer.
#pragma once

#include <cstddef>

// How a finished result takes its final name: over any file there (a name
// the user gave), or never over an existing file (a name made up by the
// program).
enum class output_rule { replace, keep_existing };

// Makes SIGINT, SIGTERM and SIGHUP remove the registered file before the
// process ends by the signal; a signal ignored at start stays ignored. The
// calling thread becomes the one whose files are registered.
void interrupts_install();

// The pattern of a temporary name for `final_name` into `buf`: the name, a
// dot and "XXXXXX". 0, or -1 when it does not fit in `size` bytes.
int tmpfile_name(char *buf, std::size_t size, const char *final_name);
// Replaces the six X of the pattern in `tmp` and creates that file
// exclusively (mode 0666 less the umask), registered for the handler. 0, or
// -1 with errno.
int tmpfile_create(char *tmp);
// Removes `path`, a file this run made, and ends its registration. 0, or -1
// with errno (ENOENT when nothing was there).
int tmpfile_remove(const char *path);
// Gives the file `tmp` its final name by `rule` and ends the registration of
// `tmp`. With `still_temporary` (test mode's copy, compared before it is
// deleted) the file stays registered under its final name until
// tmpfile_remove or tmpfile_keep. 0, or -1 with errno: the file then stays
// under its temporary name, registered no more (a finished result is kept).
int tmpfile_commit(const char *tmp, const char *final_name, output_rule rule,
                   bool still_temporary = false);
// Ends the registration of a committed file that stays (a test copy that
// differs from its input, kept for inspection).
void tmpfile_keep();
