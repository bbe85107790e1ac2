// What the end-to-end benchmark programs share: the names of the small
// records of the archive directory.
#pragma once

#include <cstdio>
#include <string>

// "<dir>/rec00042.raw" for record 42 (any extension).
inline std::string bench_record_name(const std::string &dir, unsigned i, const char *ext) {
    char name[32];
    std::snprintf(name, sizeof name, "/rec%05u.%s", i, ext);
    return dir + name;
}
