// Every prefix of a small valid record, converted to every other format:
// each conversion fails cleanly (an "error: " line, no output) or gives a
// result; never a crash, a hang, a partial or stray file. Results of a
// binary record cut inside a frame or block equal the result of the same
// record cut at the end of the last whole one: a torn piece is not data.
//
// The prefixes of one record sit in one directory, so that one directory
// run converts them all to a format of another kind; between the two
// recorder-binary formats each prefix is converted on its own.
#include <cstdio>
#include <regex>

#include "fault_util.h"

namespace {

using cli::result;
using fault::contains;

std::string prefix_name(std::size_t len, const std::string &ext) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "p/%05zu.%s", len, ext.c_str());
    return buf;
}

// The extension a directory run gives its outputs.
std::string target_ext(const std::string &fmt) {
    return fmt == "xqv" || fmt == "bqv" ? std::string(fmt == "xqv" ? "XQV" : "BQV") : fmt;
}

bool recorder(const std::string &fmt) {
    return fmt == "xqv" || fmt == "bqv";
}

class TruncatedRecords : public fault::test, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        fault::test::SetUp();
        in_ext = GetParam();
        whole = in_ext == "bqv" ? source("background", "bqv", 21) : source("event", in_ext, 3);
        mkdir("p");
        for (std::size_t len = 0; len <= whole.size(); len++)
            put(prefix_name(len, in_ext), whole.substr(0, len));
    }

    // Where whole frames (data blocks) begin and how long they are; 0 for
    // the text format, whose lines have no fixed length.
    std::pair<std::size_t, std::size_t> units() const {
        if (in_ext == "raw") return {cli::raw_record().header_size(), 3 * 8};
        if (in_ext == "xqv") return {256, 9};
        if (in_ext == "bqv") return {256, 256};
        return {0, 0};
    }

    // Checks the outputs of all prefixes for the target extension `ext`
    // (as written) and removes them; returns how many there were.
    std::size_t check_outputs(const std::string &ext) {
        std::size_t present = 0;
        auto [start, unit] = units();
        for (std::size_t len = 0; len <= whole.size(); len++) {
            SCOPED_TRACE("prefix of " + std::to_string(len) + " bytes");
            EXPECT_TRUE(get(prefix_name(len, in_ext)) == whole.substr(0, len));
            std::string out = prefix_name(len, ext);
            if (!has(out)) {
                EXPECT_TRUE(len < whole.size()) << "the whole record failed";
                continue;
            }
            present++;
            EXPECT_NE(len, 0u) << "an empty file has nothing to convert";
            if (unit != 0 && len > start) {
                std::string cut = prefix_name(start + (len - start) / unit * unit, ext);
                EXPECT_TRUE(has(cut) && get(cut) == get(out));
            }
        }
        for (std::size_t len = 0; len <= whole.size(); len++)
            ::remove(path(prefix_name(len, ext)).c_str());
        // Nothing else may be left: no temporary file, no other output.
        EXPECT_EQ(files().size(), whole.size() + 2);
        return present;
    }

    std::string in_ext, whole;
};

TEST_P(TruncatedRecords, EveryPrefixConvertsOrFailsCleanly) {
    const std::regex summary("([0-9]+) files were converted, ([0-9]+) failures\n");
    for (const std::string &fmt : fault::formats) {
        if (fmt == in_ext) continue;
        SCOPED_TRACE(in_ext + " to " + fmt);
        std::size_t failed_runs = 0, error_lines = 0;
        if (recorder(fmt) && recorder(in_ext)) {
            for (std::size_t len = 1; len <= whole.size(); len++) { // 0: an empty file
                result r = run({prefix_name(len, in_ext), prefix_name(len, fmt)});
                ASSERT_TRUE(r.status == 0 || r.status == 1) << len << ": " << r.err;
                ASSERT_EQ(r.status == 0, has(prefix_name(len, fmt))) << len << ": " << r.err;
                if (r.status != 0) failed_runs++;
                for (const std::string &line : fault::lines(r.err)) {
                    ASSERT_EQ(line.rfind("error: ", 0), 0u) << len << ": " << r.err;
                    error_lines++;
                }
            }
            std::size_t converted = check_outputs(fmt);
            EXPECT_EQ(converted + failed_runs, whole.size());
        } else {
            result r = run({"p", fmt});
            ASSERT_EQ(r.status, 0) << r.err;
            std::smatch m;
            ASSERT_TRUE(std::regex_search(r.out, m, summary)) << r.out;
            for (const std::string &line : fault::lines(r.err)) {
                ASSERT_EQ(line.rfind("error: ", 0), 0u) << r.err;
                error_lines++;
            }
            std::size_t converted = check_outputs(target_ext(fmt));
            // Every prefix but the empty one is tried; each failure is reported.
            EXPECT_EQ(std::stoul(m[1]), whole.size());
            failed_runs = std::stoul(m[2]);
            EXPECT_EQ(converted + failed_runs, whole.size());
        }
        EXPECT_GE(error_lines, failed_runs);
    }
    // A text record cut after a whole sample line is a shorter record.
    if (in_ext == "txt") {
        std::size_t data = whole.find('\n', whole.rfind("\n#") + 1) + 1;
        for (std::size_t end = whole.find('\n', data); end != std::string::npos;
             end = whole.find('\n', end + 1)) {
            result r = run({prefix_name(end + 1, "txt"), "cut.raw"});
            EXPECT_EQ(r.status, 0) << end + 1 << ": " << r.err;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, TruncatedRecords, ::testing::ValuesIn(fault::formats),
                         [](const auto &info) { return info.param; });

} // namespace
