// A failure at every file call in turn: each conversion is run once cleanly
// to learn its calls, then once per call with that call failing, and every
// run must keep the promise of a conversion:
//
// - it succeeds with exactly the bytes of the clean run, or it fails with
//   exit status 1 and an "error: " line saying which step failed and why;
// - a failure leaves no output and no temporary file, and the input as it
//   was (with -u the input goes only after a success);
// - an interrupted call that the I/O layers repeat changes nothing at all;
// - the failures the program tolerates end as documented: a failed close of
//   the input or deletion of the input is reported and the conversion
//   stands; a failed rename keeps the result under the temporary name.
#include <cerrno>
#include <cstring>
#include <regex>
#include <set>

#include "fault_util.h"

namespace {

using cli::result;
using fault::contains;

// Calls that the I/O layers repeat when interrupted, and the calls that
// store data: every call fails plainly and is interrupted, those that store
// also meet a full disk.
const std::set<std::string> retried = {"fopen", "fread", "fwrite", "fflush", "fclose", "ftruncate"},
                            storing = {"fwrite", "fflush", "fclose", "ftruncate"};

// Every message a failed conversion can open with.
const std::regex failure_line("error: (Failed to (open|create|read header from|write header to|"
                              "read data from|write data to|write header while repairing|close|"
                              "delete file|rename tmp file|allocate) .*|"
                              ".* is neither a file or a directory|"
                              "Files have a different size: .*|Read failure: .*|"
                              "char [0-9]+ differ .*)");

// The system's text (its start: messages are cut to 63 characters), or a
// message that stands for the failure whatever the system said: the
// temporary name could not be made, the raw library failed to open a file
// or to read its header, the text library failed to move the samples.
bool names_cause(const std::string &err, int errnum) {
    return contains(err, std::string(std::strerror(errnum)).substr(0, 8)) ||
           contains(err, "error: Failed to create tmp file from ") ||
           contains(err, "libqvraw: I/O: ?") || contains(err, "libqvraw: Failed to read header") ||
           contains(err, "libqvascii: Failed to shift data");
}

struct single_case {
    std::string in_ext, out_ext;
    std::vector<std::string> options;
};

// Shown in test listings instead of the object's bytes.
void PrintTo(const single_case &c, std::ostream *os) {
    *os << c.in_ext << " -> " << c.out_ext;
    for (const auto &o : c.options)
        *os << ' ' << o;
}

class FaultSweep : public fault::test, public ::testing::WithParamInterface<single_case> {
protected:
    // Runs the case with a failure at every call; stops at the first broken
    // promise so that one fault does not flood the log.
    void sweep(const single_case &c) {
        const std::string in = "in." + c.in_ext, out = "out." + c.out_ext;
        bool bqv = c.in_ext == "bqv" || c.out_ext == "bqv";
        src = source(bqv ? "background" : "event", c.in_ext);
        std::vector<std::string> args = c.options;
        args.push_back(in);
        args.push_back(out);
        auto given = [&](const char *o) {
            return std::count(c.options.begin(), c.options.end(), o) > 0;
        };
        bool testing = given("-t"), unlinking = given("-u");

        auto reset = [&] {
            clear();
            put(in, src);
        };
        reset();
        std::vector<std::string> calls = clean_run(args);
        ASSERT_FALSE(calls.empty());
        // With -t the result is compared with the input and deleted again.
        ref = testing ? src : get(out);
        auto rename_at = std::find(calls.begin(), calls.end(), "rename") - calls.begin() + 1;

        for (std::size_t n = 1; n <= calls.size(); n++) {
            for (int e : storing.count(calls[n - 1]) ? std::vector{EIO, EINTR, ENOSPC}
                                                     : std::vector{EIO, EINTR}) {
                SCOPED_TRACE("call " + std::to_string(n) + " (" + calls[n - 1] + ") fails with " +
                             std::strerror(e));
                result r = run_fault(args, n, e, reset);
                bool before_rename = static_cast<long>(n) < rename_at;
                if (e == EINTR && before_rename && retried.count(calls[n - 1])) {
                    EXPECT_EQ(r.status, 0) << r.err;
                    EXPECT_EQ(r.err, "");
                }
                check(r, in, out, testing, unlinking);
                if (!before_rename || calls[n - 1] == "stat" || r.status == 0) continue;
                EXPECT_TRUE(names_cause(r.err, e)) << r.err;
                if (HasFailure()) return;
            }
            if (HasFailure()) return;
        }
    }

    void check(const result &r, const std::string &in, const std::string &out, bool testing,
               bool unlinking) {
        ASSERT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status << "\n" << r.err;
        for (const std::string &line : fault::lines(r.err))
            EXPECT_TRUE(std::regex_match(line, failure_line)) << line;
        bool rename_failed = contains(r.err, "error: Failed to rename tmp file ");
        bool tmp_kept = contains(r.err, "error: Failed to delete file " + out + ".");
        bool in_kept = contains(r.err, "error: Failed to delete file " + in + ":");

        // Nothing but the input, the output and at most one temporary file.
        std::string tmp;
        for (const std::string &f : files()) {
            if (f == in || f == out) continue;
            ASSERT_TRUE(f.size() == out.size() + 7 && f.rfind(out + ".", 0) == 0 && tmp.empty())
                << f;
            tmp = f;
        }
        if (!tmp.empty()) {
            // Only where the message shows it, and a renamed-to-be result is whole.
            EXPECT_TRUE(rename_failed || tmp_kept) << r.err;
            if (rename_failed) {
                EXPECT_TRUE(get(tmp) == ref);
            }
        }

        if (r.status == 0) {
            EXPECT_EQ(has(out), !testing && !rename_failed);
            if (has(out)) {
                EXPECT_TRUE(get(out) == ref);
            }
            EXPECT_EQ(has(in), !unlinking || in_kept);
            if (has(in)) {
                EXPECT_TRUE(get(in) == src);
            }
            for (const std::string &line : fault::lines(r.err))
                EXPECT_TRUE(line.rfind("error: Failed to close " + in + ":", 0) == 0 ||
                            line.rfind("error: Failed to delete file " + in + ":", 0) == 0 ||
                            line.rfind("error: Failed to rename tmp file ", 0) == 0)
                    << "a success with a failure: " << line;
        } else {
            EXPECT_TRUE(has(in) && get(in) == src) << "the input was touched";
            // Test mode keeps an output whose comparison or deletion failed.
            if (has(out)) {
                EXPECT_TRUE(testing && get(out) == ref) << "an output was left";
            }
            // Only a comparison that cannot open its files fails silently.
            if (!testing) {
                EXPECT_NE(r.err, "");
            }
        }
    }

    std::string src, ref;
};

TEST_P(FaultSweep, AnyFailedCallEndsInTheExactResultOrACleanFailure) {
    sweep(GetParam());
}

std::vector<single_case> all_cases() {
    std::vector<single_case> v;
    for (const std::string &in : fault::formats)
        for (const std::string &out : fault::formats) {
            if (in == out) {
                // Test mode compares a copy with its input.
                for (auto opts : {std::vector<std::string>{}, {"-t"}, {"-t", "-u"}})
                    v.push_back({in, out, opts});
            } else {
                for (auto opts : {std::vector<std::string>{}, {"-r"}, {"-u"}, {"-H"}})
                    v.push_back({in, out, opts});
            }
        }
    return v;
}

std::string case_name(const ::testing::TestParamInfo<single_case> &info) {
    std::string n = info.param.in_ext + "_to_" + info.param.out_ext;
    for (const std::string &o : info.param.options)
        n += "_" + o.substr(1);
    return n;
}

INSTANTIATE_TEST_SUITE_P(Single, FaultSweep, ::testing::ValuesIn(all_cases()), case_name);

// Directory mode: three inputs of other formats converted to raw in one
// run; whatever fails, each input is converted exactly or not at all.
using DirectoryFaultSweep = fault::test;

TEST_F(DirectoryFaultSweep, EveryFailedCallLeavesEachFileConvertedOrUntouched) {
    const std::map<std::string, std::string> inputs = {
        {"d/a.txt", source("event", "txt", 20)},
        {"d/b.xqv", source("event", "xqv", 20)},
        {"d/c.bqv", source("background", "bqv", 25)},
    };
    auto output_of = [](const std::string &in) { return in.substr(0, in.size() - 3) + "raw"; };
    auto reset = [&] {
        clear();
        mkdir("d");
        for (auto &[name, bytes] : inputs)
            put(name, bytes);
    };
    reset();
    std::size_t ncalls = clean_run({"d", "raw"}).size();
    std::map<std::string, std::string> ref; // by output name
    for (auto &[name, bytes] : inputs)
        ref[output_of(name)] = get(output_of(name));

    const std::regex summary("-- Finished --\n([0-9]+) files were converted, ([0-9]+) failures\n");
    for (std::size_t n = 1; n <= ncalls; n++) {
        for (int e : {EIO, EINTR}) {
            SCOPED_TRACE("call " + std::to_string(n) + " fails with " + std::strerror(e));
            result r = run_fault({"d", "raw"}, n, e, reset);
            ASSERT_TRUE(r.status == 0 || r.status == 1) << r.err;
            std::size_t converted = 0;
            for (auto &[name, bytes] : inputs) {
                EXPECT_TRUE(has(name) && get(name) == bytes) << name;
                if (!has(output_of(name))) continue;
                EXPECT_TRUE(get(output_of(name)) == ref[output_of(name)]) << output_of(name);
                converted++;
            }
            // A temporary file stays only where a message shows it: its
            // deletion failed, or its rename (a result all the same).
            bool rename_failed = contains(r.err, "error: Failed to rename tmp file d/");
            std::size_t stray = 0;
            for (const std::string &f : files())
                if (f != "d" && !inputs.count(f) && !ref.count(f)) stray++;
            EXPECT_EQ(stray,
                      rename_failed || contains(r.err, "error: Failed to delete file d/") ? 1u : 0u)
                << r.err;
            if (rename_failed) converted++;
            std::smatch m;
            if (!std::regex_search(r.out, m, summary)) {
                EXPECT_TRUE(contains(r.err, " is neither a file or a directory")) << r.err;
                EXPECT_EQ(r.status, 1);
                continue;
            }
            std::size_t attempted = std::stoul(m[1]), failed = std::stoul(m[2]);
            EXPECT_EQ(attempted - failed, converted) << r.out << r.err;
            // No work at all because the directory could not be read is a failure.
            bool opened = !contains(r.err, "error: Failed to open dir d: ");
            EXPECT_EQ(r.status, !opened || (converted == 0 && attempted != 0) ? 1 : 0);
            if (HasFailure()) return;
        }
    }
}

} // namespace
