// The 64-bit and the 32-bit build compute the same numbers. Both convert
// the same records (an event and a background record, each build reading
// the raw form in its own layout, and both the text and recorder-binary
// forms) to every format, with and without repair. Every text and
// recorder-binary result must be byte-identical; raw results, whose layouts
// differ, must hold the same value in every header field and the same
// samples.
#include <algorithm>
#include <cstdint>
#include <tuple>

#include "cli.h"

namespace {

const char *program32() {
    const char *p = std::getenv("QVCONV32_BIN");
    return p ? p : "qvconv32";
}

// Doubles of full 53-bit mantissas in [lo, hi): sums of such values part
// ways in their last bits when one build keeps extended precision, and some
// of them lie next to a count's rounding boundary.
std::vector<double> noise(std::size_t n, double lo, double hi, std::uint64_t &x) {
    std::vector<double> v(n);
    for (double &d : v) {
        x = x * 6364136223846793005u + 1442695040888963407u;
        d = lo + (hi - lo) * static_cast<double>(x >> 11) * 0x1p-53;
    }
    return v;
}

// An event record of three channels, or a background record of peaks and
// dominant frequencies (six channels), in the raw layout of `bits`; their
// peaks, offsets and vector sum left at 0 so that a repair rewrites them.
cli::raw_record record(const std::string &kind, int bits) {
    cli::raw_record r(bits);
    std::uint64_t seed = 2718281828;
    r.u32("sensor_type", QVRAW_SENSOR_VELOCITY)
        .u32("sensor_unit", QVRAW_UNIT_MM_S)
        .u32("sensor_range", 254);
    r.u32("sensor_scale", 127).time("start_time", 1700000000, 250000000);
    r.f64("voltage", 12.0995).f64("dom_freq", 12.34999999999).f64("dom_freq", 7.05, 1);
    if (kind == "event") {
        r.u32("file_type", QVRAW_FILETYPE_EVENT)
            .signals({QVRAW_SIGNAL_RAW})
            .u32("rate", 1024)
            .u32("time_mode", QVRAW_TIME_UTC)
            .u32("model", QVRAW_MODEL_QV7300);
        return r.frames(noise(3 * 3000, -1.0, 1.0, seed));
    }
    r.u32("file_type", QVRAW_FILETYPE_BACKGROUND)
        .signals({QVRAW_SIGNAL_VM_PEAK, QVRAW_SIGNAL_VM_FREQ})
        .u32("rate", 1)
        .u32("time_mode", QVRAW_TIME_LOCAL)
        .u32("rec_cause", QVRAW_CAUSE_CONTINUOUS);
    r.u32("back_enabled", 1).u32("back_mode", QVRAW_BACK_PEAK_FREQ).u32("back_period", 60);
    std::vector<double> peaks = noise(3 * 200, 0.0, 1.0, seed),
                        freqs = noise(3 * 200, 0.5, 99.0, seed);
    std::vector<double> frames;
    for (std::size_t i = 0; i < 200; i++) {
        frames.insert(frames.end(), peaks.begin() + 3 * i, peaks.begin() + 3 * i + 3);
        frames.insert(frames.end(), freqs.begin() + 3 * i, freqs.begin() + 3 * i + 3);
    }
    return r.frames(frames);
}

// Every header field of a raw record of each layout holds the same value,
// and the samples are the same. A field of twice the size in the 64-bit
// layout holds words of the platform's width (sizes, time seconds, padding):
// those are compared as numbers.
void expect_same_raw(const std::string &r64, const std::string &r32) {
    ASSERT_GE(r64.size(), 920u);
    ASSERT_GE(r32.size(), 888u);
    std::vector<std::tuple<std::size_t, std::size_t, std::string>> fields;
    for (const auto &[name, at] : cli::raw_fields())
        fields.emplace_back(at.first, at.second, name);
    std::sort(fields.begin(), fields.end());
    for (std::size_t i = 0; i < fields.size(); i++) {
        auto [at64, at32, name] = fields[i];
        std::size_t n64 = (i + 1 < fields.size() ? std::get<0>(fields[i + 1]) : 920) - at64;
        std::size_t n32 = (i + 1 < fields.size() ? std::get<1>(fields[i + 1]) : 888) - at32;
        if (n64 == n32) {
            EXPECT_EQ(r64.substr(at64, n64), r32.substr(at32, n32)) << name;
            continue;
        }
        ASSERT_EQ(n64, 2 * n32) << name;
        for (std::size_t w = 0; w < n32 / 4; w++)
            EXPECT_EQ(cli::value_at<std::int64_t>(r64, at64 + 8 * w),
                      cli::value_at<std::int32_t>(r32, at32 + 4 * w))
                << name << " word " << w;
    }
    EXPECT_TRUE(r64.substr(920) == r32.substr(888)) << "the samples differ";
}

struct outcome {
    cli::result run;
    std::string output;
};

class SameNumbers : public cli::test,
                    public ::testing::WithParamInterface<std::tuple<std::string, std::string>> {
protected:
    void SetUp() override {
        cli::test::SetUp();
        setenv("TZ", std::get<1>(GetParam()).c_str(), 1); // inherited by the programs
    }

    // Converts `input` (as in.SRC) to out.DST with `prog`, in an emptied
    // directory so that both builds print the same names.
    outcome convert(const char *prog, const std::string &input, const std::string &src,
                    const std::string &dst, const std::vector<std::string> &opts) {
        for (const auto &f : files())
            std::remove(path(f).c_str());
        put("in." + src, input);
        std::vector<std::string> args = opts;
        args.insert(args.end(), {"in." + src, "out." + dst});
        outcome o{run(args, {}, prog), ""};
        if (has("out." + dst)) o.output = get("out." + dst);
        return o;
    }
};

TEST_P(SameNumbers, BothBuildsGiveTheSameResults) {
    const std::string kind = std::get<0>(GetParam());
    const std::string raw64 = record(kind, 64).bytes(), raw32 = record(kind, 32).bytes();
    const std::string binary = kind == "event" ? "xqv" : "bqv";
    // The text and recorder-binary forms, made by the native build.
    std::map<std::string, std::string> common;
    for (const std::string &ext : {std::string("txt"), binary}) {
        outcome o = convert(cli::program(), raw64, "raw", ext, {});
        ASSERT_EQ(o.run.status, 0) << o.run.err;
        common[ext] = o.output;
    }

    for (const std::string src : {"raw", "txt", binary.c_str()})
        for (const std::string dst : {"raw", "txt", "xqv", "bqv"})
            for (const auto &opts : {std::vector<std::string>{}, std::vector<std::string>{"-r"}}) {
                SCOPED_TRACE(src + " -> " + dst + (opts.empty() ? "" : " -r"));
                bool raw_in = src == "raw";
                outcome a = convert(cli::program(), raw_in ? raw64 : common[src], src, dst, opts);
                outcome b = convert(program32(), raw_in ? raw32 : common[src], src, dst, opts);
                EXPECT_EQ(a.run.status, b.run.status);
                EXPECT_EQ(a.run.out, b.run.out);
                EXPECT_EQ(a.run.err, b.run.err);
                if (a.run.status != 0 || b.run.status != 0) continue;
                if (dst == "raw")
                    expect_same_raw(a.output, b.output);
                else
                    EXPECT_TRUE(a.output == b.output) << "the " << dst << " outputs differ";
            }
}

INSTANTIATE_TEST_SUITE_P(Records, SameNumbers,
                         ::testing::Combine(::testing::Values("event", "background"),
                                            ::testing::Values("UTC", "Europe/Paris")),
                         [](const auto &info) {
                             std::string tz = std::get<1>(info.param);
                             tz.erase(std::remove(tz.begin(), tz.end(), '/'), tz.end());
                             return std::get<0>(info.param) + "_" + tz;
                         });

} // namespace
