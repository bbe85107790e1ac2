// Shared pieces of the reliability tests: the records every format is
// tried with, the program built with the fault hook, and small text helpers.
#pragma once

#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"

namespace fault {

using cli::result;

inline bool contains(const std::string &s, const std::string &part) {
    return s.find(part) != std::string::npos;
}

inline const std::vector<std::string> formats = {"raw", "txt", "xqv", "bqv"};

using cli::background_record;

// The program with the fault hook of the build under test (QVCONV_FAULT_BIN).
inline const char *fault_program() {
    const char *p = std::getenv("QVCONV_FAULT_BIN");
    return p ? p : "qvconv_fault";
}

inline std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        v.push_back(line);
    return v;
}

// A leak report whose every lost block was allocated as a format handle,
// after a failed close.
inline bool only_handles_leaked(const std::string &err) {
    if (!contains(err, "error: Failed to close ") || !contains(err, "ERROR: LeakSanitizer") ||
        contains(err, "ERROR: AddressSanitizer"))
        return false;
    const std::string mark = "Direct leak of ";
    for (std::size_t at = err.find(mark); at != std::string::npos; at = err.find(mark, at + 1)) {
        std::size_t end = err.find("\n\n", at);
        if (!contains(err.substr(at, end - at), " in qvfmt_open(")) return false;
    }
    return true;
}

// A test directory with the time zone fixed (the text header carries local
// dates), and the same record in each of the four formats, made by the
// program itself from raw records: an event record (its peaks and vector
// sum left at 0 so that a repair rewrites the header) and a background
// record.
class test : public cli::test {
protected:
    void SetUp() override {
        cli::test::SetUp();
        setenv("TZ", "Europe/Paris", 1); // inherited by the program
        tzset();
    }

    // kind "event" or "background"; ext one of formats. By default an
    // event spans two sample blocks of the copy (1024 frames each) and a
    // background three data blocks of its recorder file.
    std::string source(const std::string &kind, const std::string &ext, std::size_t frames = 0) {
        bool event = kind == "event";
        if (frames == 0) frames = event ? 1030 : 45;
        std::string raw =
            event ? cli::event_record(frames).bytes() : background_record(frames).bytes();
        if (ext == "raw") return raw;
        put("src.raw", raw);
        cli::result r = run({"src.raw", "src." + ext});
        EXPECT_EQ(r.status, 0) << r.err;
        raw = get("src." + ext);
        clear();
        return raw;
    }

    // Runs qvconv_fault with `args` without a fault, which must succeed
    // silently; returns the names of the file calls it made, in order.
    std::vector<std::string> clean_run(const std::vector<std::string> &args) const {
        std::string trace = dir + ".trace";
        result r = run(args, {"QV_FAULT_TRACE=" + trace}, fault_program());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        std::vector<std::string> calls = lines(cli::slurp(trace));
        ::unlink(trace.c_str());
        return calls;
    }

    // Runs qvconv_fault with `args` and call `n` failing with `errnum`. In the
    // sanitizer build a sanitizer report ends the program with status 86. A
    // failed close leaves its format handle allocated (the handle still
    // describes the failure and nothing may use it again), so a leak report
    // of handles alone after such a failure is no finding: the run is then
    // repeated without leak detection for its real status. `reset` puts the
    // files in place before each run.
    result run_fault(const std::vector<std::string> &args, std::size_t n, int errnum,
                     const std::function<void()> &reset) const {
        std::vector<std::string> env = {"QV_FAULT_AT=" + std::to_string(n),
                                        "QV_FAULT_ERRNO=" + std::to_string(errnum),
                                        "ASAN_OPTIONS=detect_leaks=1:exitcode=86"};
        reset();
        result r = run(args, env, fault_program());
        if (r.status == 86 && only_handles_leaked(r.err)) {
            env.back() = "ASAN_OPTIONS=detect_leaks=0:exitcode=86";
            reset();
            r = run(args, env, fault_program());
        }
        return r;
    }

    // Empties the test directory.
    void clear() const {
        std::vector<std::string> all = files(); // sorted: a folder before its files
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            ::remove(path(*it).c_str());
    }
};

} // namespace fault
