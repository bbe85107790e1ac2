// The command-line conventions the sibling programs share with qvconv: the
// usage text under a line with the program's name and version, and the
// line that sends a wrong command line to it.
#pragma once

// Prints "<name> - version ..., <contact>", a blank line and `text` (in
// which every %s is the program's name) on standard output, and ends the
// process with status 0.
[[noreturn]] void usage_exit(const char *argv0, const char *text);
// Prints "error: Wrong usage, please invoke with --help for help" and ends
// the process with status 1.
[[noreturn]] void wrong_usage_exit();
