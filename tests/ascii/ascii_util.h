// Helpers shared by the ASCII library tests.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "qvascii.h"

// A path in the temporary directory, unique to this process and tag,
// removed at the end of the scope.
struct temp_path {
    std::string path;
    explicit temp_path(const char *tag)
        : path("/tmp/qvascii-test-" + std::to_string(getpid()) + "-" + tag + ".txt") {}
    ~temp_path() { std::remove(path.c_str()); }
    const char *c_str() const { return path.c_str(); }
};

inline std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void spit(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline void set_tz(const char *zone) {
    setenv("TZ", zone, 1);
    tzset();
}

// Sets a value in a header through the model's find-or-append chain.
inline void put(qvascii_header *h, const char *group, const char *key, const char *value) {
    qvascii_entry_set_str(qvascii_group_set(qvascii_header_set(h, group), key), value);
}

// "Group{key=value,...} ..." of every occupied slot, for comparisons.
inline std::string dump(const qvascii_header &h) {
    std::string s;
    for (const qvascii_group &g : h.groups) {
        if (!g.name) break;
        s += (s.empty() ? "" : " ") + std::string(g.name) + "{";
        for (const qvascii_entry &e : g.entries) {
            if (!e.key) break;
            s += std::string(&e == g.entries ? "" : ",") + e.key + "=" +
                 (e.value ? e.value : "(null)");
        }
        s += "}";
    }
    return s;
}

// A header fresh from init that is released at the end of the scope.
struct scoped_header {
    qvascii_header h;
    scoped_header() { qvascii_header_init(&h); }
    ~scoped_header() { qvascii_header_cleanup(&h); }
    qvascii_header *operator->() { return &h; }
    operator qvascii_header *() { return &h; }
};
