// Recorder-binary records through the whole program: every ordered pair of
// formats with xqv or bqv, directory mode, the options, and the inputs and
// headers the older format refuses.
#include <cstdlib>
#include <ctime>
#include <regex>

#include "cli.h"

namespace {

using cli::raw_record;
using cli::result;

class Qv5kConversion : public cli::test {
protected:
    void SetUp() override {
        cli::test::SetUp();
        setenv("TZ", "Europe/Paris", 1); // inherited by the program
        tzset();
    }
};

// A background record of peaks and frequencies: 6 channels, 45 frames (two
// full blocks of 20 and one of 5).
raw_record background_record(std::size_t n = 45) {
    raw_record r;
    r.u32("file_type", 2).signals({5, 7}).u32("sensor_type", 1).u32("sensor_unit", 1);
    r.u32("sensor_range", 254).u32("sensor_scale", 127).u32("rate", 1).u32("time_mode", 2);
    r.u32("back_enabled", 1).u32("back_mode", 2).u32("back_period", 60).u32("rec_cause", 1);
    r.time("start_time", 1700000000, 0);
    std::vector<double> v;
    for (std::size_t i = 0; i < n; i++)
        for (int c = 0; c < 6; c++)
            v.push_back(c < 3 ? static_cast<double>((i * 5 + c) % 64) / 64 : 12.5 + c);
    return r.frames(v);
}

std::uint8_t byte_at(const std::string &bytes, std::size_t off) {
    return static_cast<std::uint8_t>(bytes.at(off));
}

TEST_F(Qv5kConversion, EveryPairOfFormatsWithTheRecorderFormatsConverts) {
    put("ev.raw", cli::event_record(2500).bytes());
    put("bg.raw", background_record().bytes());
    struct {
        const char *in, *out;
        int rec_mode;     // byte 4 of a recorder-binary output
        std::size_t size; // expected size, 0 when not checked
    } steps[] = {
        {"ev.raw", "ev.xqv", 0, 256 + 9 * 2500},
        {"ev.xqv", "ev2.raw", -1, 0},
        {"ev2.raw", "ev2.xqv", 0, 256 + 9 * 2500},
        {"ev.xqv", "ev.txt", -1, 0},
        {"ev.txt", "ev3.xqv", 0, 256 + 9 * 2500},
        {"ev.xqv", "ev.bqv", 0, 256 + 9 * 2500}, // the record type decides
        {"bg.raw", "bg.bqv", 7, 256 + 3 * 256},
        {"bg.bqv", "bg2.raw", -1, 0},
        {"bg2.raw", "bg2.bqv", 7, 256 + 3 * 256},
        {"bg.bqv", "bg.txt", -1, 0},
        {"bg.txt", "bg3.bqv", 7, 256 + 3 * 256},
        {"bg.bqv", "bg.xqv", 7, 256 + 3 * 256},
        {"ev.bqv", "ev4.xqv", 0, 256 + 9 * 2500},
        {"bg.xqv", "bg4.bqv", 7, 256 + 3 * 256},
    };
    for (auto &s : steps) {
        result r = run({s.in, s.out});
        ASSERT_EQ(r.status, 0) << s.in << " -> " << s.out << ": " << r.err;
        EXPECT_EQ(r.err, "");
        std::string out = get(s.out);
        if (s.rec_mode >= 0) {
            EXPECT_EQ(byte_at(out, 4), s.rec_mode) << s.out;
        }
        if (s.size) {
            EXPECT_EQ(out.size(), s.size) << s.out;
        }
    }
    // Counts travel unchanged through raw and between the variants' files.
    EXPECT_TRUE(get("ev2.xqv") == get("ev.xqv"));
    EXPECT_TRUE(get("ev4.xqv") == get("ev.xqv"));
    EXPECT_TRUE(get("bg2.bqv") == get("bg.bqv"));
    EXPECT_TRUE(get("bg4.bqv") == get("bg.bqv"));
}

TEST_F(Qv5kConversion, TestModeReproducesRecorderRecords) {
    put("ev.raw", cli::event_record(300).bytes());
    put("bg.raw", background_record().bytes());
    ASSERT_EQ(run({"ev.raw", "ev.xqv"}).status, 0);
    ASSERT_EQ(run({"bg.raw", "bg.bqv"}).status, 0);
    for (const char *in : {"ev.xqv", "bg.bqv"}) {
        std::string copy = std::string("copy.") + (in[0] == 'e' ? "xqv" : "bqv");
        result r = run({"-t", in, copy});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, std::string("> Converting file ") + in + "\n  Comparing with " + copy +
                             "\n  Deleting " + copy + "\n");
    }
    // Directory mode: only records of the target's own identifier are tested.
    mkdir("d");
    std::rename(path("ev.xqv").c_str(), path("d/ev.xqv").c_str());
    std::rename(path("bg.bqv").c_str(), path("d/bg.bqv").c_str());
    auto before = files();
    result r = run({"-t", "d", "xqv"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("> Converting file d/ev.xqv\n  Comparing with d/ev.xqv.XQV\n"),
              std::string::npos);
    EXPECT_EQ(r.out.find("d/bg.bqv"), std::string::npos);
    EXPECT_NE(r.out.find("1 files were tested, 0 failures\n"), std::string::npos);
    EXPECT_EQ(files(), before);
}

TEST_F(Qv5kConversion, DirectoryModeConvertsOtherKindsBesideTheirInputs) {
    mkdir("d");
    put("d/a.raw", cli::event_record(10).bytes());
    put("d/b.raw", background_record(3).bytes());
    ASSERT_EQ(run({"d/a.raw", "d/c.txt"}).status, 0);
    result r = run({"d", "xqv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("3 files were converted, 0 failures\n"), std::string::npos) << r.out;
    EXPECT_EQ(byte_at(get("d/a.XQV"), 4), 0);
    EXPECT_EQ(byte_at(get("d/b.XQV"), 4), 7);
    EXPECT_EQ(byte_at(get("d/c.XQV"), 4), 0);

    // Recorder-binary files are one kind: none is converted to bqv.
    for (const char *f : {"d/a.raw", "d/b.raw", "d/c.txt"})
        std::remove(path(f).c_str());
    r = run({"d", "bqv"});
    EXPECT_NE(r.out.find("0 files were converted, 0 failures\n"), std::string::npos) << r.out;
    r = run({"d", "raw"});
    EXPECT_NE(r.out.find("3 files were converted, 0 failures\n"), std::string::npos) << r.out;
    EXPECT_EQ(files(), (std::vector<std::string>{"d", "d/a.XQV", "d/a.raw", "d/b.XQV", "d/b.raw",
                                                 "d/c.XQV", "d/c.raw"}));
}

TEST_F(Qv5kConversion, HeaderOnlyRepairAndUnlink) {
    raw_record ev = cli::event_record(40);
    ev.f64("peak", 0.9, 0).u32("nsamples", 7);
    put("ev.raw", ev.bytes());
    result h = run({"-H", "-u", "ev.raw", "h.xqv"});
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.out, "> Converting file ev.raw\n  Deleting ev.raw\n");
    EXPECT_EQ(get("h.xqv").size(), 256u);
    EXPECT_EQ(files(), std::vector<std::string>{"h.xqv"});

    // The repaired header replaces the first one; the samples stay.
    put("ev.raw", ev.bytes());
    ASSERT_EQ(run({"ev.raw", "plain.xqv"}).status, 0);
    ASSERT_EQ(run({"-r", "ev.raw", "fixed.xqv"}).status, 0);
    std::string plain = get("plain.xqv"), fixed = get("fixed.xqv");
    EXPECT_EQ(byte_at(plain, 8), 7);
    EXPECT_EQ(byte_at(fixed, 8), 40);
    EXPECT_NE(plain.substr(12, 3), fixed.substr(12, 3));
    EXPECT_TRUE(plain.substr(256) == fixed.substr(256));

    put("bg.raw", background_record(45).u32("nsamples", 2).bytes());
    ASSERT_EQ(run({"-r", "-u", "bg.raw", "bg.bqv"}).status, 0);
    EXPECT_EQ(byte_at(get("bg.bqv"), 8), 45);
    EXPECT_EQ(get("bg.bqv").size(), 256u + 3 * 256);
    EXPECT_FALSE(has("bg.raw"));
}

TEST_F(Qv5kConversion, RefusedRecorderInputsLeaveNothingBehind) {
    put("ev.raw", cli::event_record(5).bytes());
    put("bg.raw", background_record(5).bytes());
    ASSERT_EQ(run({"ev.raw", "ev.xqv"}).status, 0);
    ASSERT_EQ(run({"bg.raw", "bg.bqv"}).status, 0);
    const std::string ev = get("ev.xqv"), bg = get("bg.bqv");
    auto patch = [](std::string s, std::size_t off, const std::string &bytes) {
        return s.replace(off, bytes.size(), bytes);
    };
    const std::string conv = "[QVFMT][QV5K] conv: ", lib = "[QVFMT][QV5K] libqv5k: ";
    struct {
        std::string bytes, text;
    } cases[] = {
        {patch(ev, 92, " km/h"), conv + "Invalid sensor unit"},
        {patch(ev, 175, "X"), conv + "Invalid sensor type"},
        {patch(ev, 141, "\x02"), conv + "Invalid trigger signal"},
        {patch(ev, 215, "\x03"), conv + "Invalid background mode"},
        {patch(ev, 63, "\x40"), lib + "Invalid header"},
        {patch(ev, 4, "\x05"), lib + "Invalid file"},
        {patch(bg, 215, "\x04"), lib + "Invalid header"}, // 3 channels in blocks, 6 by mode
        {patch(bg, 215, std::string(1, '\0')), lib + "Invalid header"},
        {patch(bg, 63, std::string(1, '\0')), conv + "Invalid resolution"},
        {ev.substr(0, 255), lib + "I/O: End of file reached"},
    };
    for (auto &c : cases) {
        put("in.xqv", c.bytes);
        result r = run({"-u", "in.xqv", "out.raw"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "error: Failed to read header from in.xqv: " + c.text + "\n");
        EXPECT_EQ(files(),
                  (std::vector<std::string>{"bg.bqv", "bg.raw", "ev.raw", "ev.xqv", "in.xqv"}));
    }
}

TEST_F(Qv5kConversion, HeadersTheRecorderCannotExpressAreRefused) {
    struct {
        raw_record rec;
        const char *out, *text;
    } cases[] = {
        {cli::event_record(3).u32("rate", 0), "o.xqv", "Invalid sampling rate"},
        {cli::event_record(3).u32("rate", 65536), "o.bqv", "Invalid sampling rate"},
        {cli::event_record(3).u32("model", 0), "o.xqv", "Invalid QV model"},
        {cli::event_record(3).signals({5}), "o.xqv", "Invalid signal"},
        {cli::event_record(3).u32("sensor_unit", 0), "o.xqv", "Invalid sensor unit"},
        {cli::event_record(3).u32("trig_enabled", 1).u32("trig_chans", 5).u32("trig_mode", 13),
         "o.xqv", "Invalid trigger combination"},
        {cli::event_record(3).u32("trig_enabled", 1).u32("trig_chans", 1).u32("trig_mode", 6),
         "o.xqv", "Invalid trigger signal"},
        {background_record(3).signals({5, 6, 7}), "o.bqv", "Too many signals"},
        {background_record(3).u32("back_mode", 0), "o.xqv", "Invalid background mode"},
    };
    for (auto &c : cases) {
        put("in.raw", c.rec.bytes());
        result r = run({"in.raw", c.out});
        EXPECT_EQ(r.status, 1);
        std::regex want(std::string("error: Failed to write header to ") + c.out +
                        "\\.[A-Za-z0-9]{6}: \\[QVFMT\\]\\[QV5K\\] conv: " + c.text + "\n");
        EXPECT_TRUE(std::regex_match(r.err, want)) << r.err;
        EXPECT_EQ(files(), std::vector<std::string>{"in.raw"});
    }
}

} // namespace
