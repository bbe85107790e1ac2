// Inputs a conversion refuses, in every format, and headers the recorder
// format cannot express: one error line each, exit status 1, no output left
// behind and the input kept (-u).
#include <cstdio>
#include <regex>

#include "cli.h"

namespace {

using cli::background_record;
using cli::event_record;

using BadInput = cli::test;

std::string patch(std::string s, std::size_t off, const std::string &bytes) {
    return s.replace(off, bytes.size(), bytes);
}

TEST_F(BadInput, FailsWithOneErrorLineAndLeavesNothingBehind) {
    put("ev.raw", event_record(5).bytes());
    put("bg.raw", background_record(5).bytes());
    ASSERT_EQ(run({"ev.raw", "ev.xqv"}).status, 0);
    ASSERT_EQ(run({"bg.raw", "bg.bqv"}).status, 0);
    const std::string ev = get("ev.xqv"), bg = get("bg.bqv");
    for (const char *f : {"ev.raw", "bg.raw", "ev.xqv", "bg.bqv"})
        std::remove(path(f).c_str());

    const std::string raw_hdr = "open in.raw: [][QVRAW] libqvraw: Failed to read header";
    const std::string text_hdr = "read header from in.txt: [QVFMT][QVASCII] ";
    const std::string xqv = "read header from in.xqv: [QVFMT][QV5K] ";
    auto put_hdr = [](std::string out) {
        return "write header to " + out + ".XXXXXX: [QVFMT][QV5K] conv: ";
    };
    const std::string head = "# [Recorder]\n# [Sensor]\n# Scale=10\n# [Acquisition]\n";
    const std::string file = "# [File]\n# Type=Event\n# Signals=Raw\n";
    struct {
        const char *in;
        std::string bytes;
        std::string out;
        std::string err; // after "error: Failed to "; XXXXXX: a temporary name
    } rows[] = {
        {"in.raw", event_record(3).byte(3, 'K').bytes(), "out.raw", raw_hdr},
        {"in.raw", event_record(3).byte(7, 'x').bytes(), "out.raw", raw_hdr},
        {"in.raw",
         event_record(3)
             .signals({QVRAW_SIGNAL_RAW, QVRAW_SIGNAL_TRIGGER, QVRAW_SIGNAL_FILTER,
                       QVRAW_SIGNAL_STA_LTA})
             .bytes(),
         "out.raw", raw_hdr},
        {"in.raw", event_record(3).bytes().substr(0, 100), "out.raw", raw_hdr},
        {"in.raw", event_record(3).bytes(), "out.doc", "create out.doc.XXXXXX: [] Invalid format"},
        {"in.raw", event_record(3).bytes(), "no/dir/o.raw",
         "create tmp file from no/dir/o.raw: No such file or directory"},
        {"in.raw", event_record(3).bytes(), std::string(501, 'n') + ".raw",
         "create tmp file from " + std::string(501, 'n') + ".raw"},
        {"in.txt", head + "0 1 2 3\n", "out.raw",
         text_hdr + "conv: File group doesn't exist in header"},
        {"in.txt", "# [Recorder]\n# -x\n0 1 2 3\n", "out.raw",
         text_hdr + "libqvascii: Invalid header"},
        {"in.txt", "# [Sensor]\n# Scale=0\n" + file + "0 1 2 3\n", "out.raw",
         text_hdr + "libqvascii: Invalid header scale"},
        {"in.txt", head + file + "0 1 2 3\n1 2\n", "out.raw",
         "read data from in.txt: [QVFMT][QVASCII] libqvascii: Invalid data"},
        {"in.xqv", patch(ev, 92, " km/h"), "out.raw", xqv + "conv: Invalid sensor unit"},
        {"in.xqv", patch(ev, 175, "X"), "out.raw", xqv + "conv: Invalid sensor type"},
        {"in.xqv", patch(ev, 141, "\x02"), "out.raw", xqv + "conv: Invalid trigger signal"},
        {"in.xqv", patch(ev, 215, "\x03"), "out.raw", xqv + "conv: Invalid background mode"},
        {"in.xqv", patch(ev, 63, "\x40"), "out.raw", xqv + "libqv5k: Invalid header"},
        {"in.xqv", patch(ev, 4, "\x05"), "out.raw", xqv + "libqv5k: Invalid file"},
        // 3 channels in blocks, 6 by the background mode; then no mode at all
        {"in.xqv", patch(bg, 215, "\x04"), "out.raw", xqv + "libqv5k: Invalid header"},
        {"in.xqv", patch(bg, 215, std::string(1, '\0')), "out.raw",
         xqv + "libqv5k: Invalid header"},
        {"in.xqv", patch(bg, 63, std::string(1, '\0')), "out.raw",
         xqv + "conv: Invalid resolution"},
        {"in.raw", event_record(3).u32("rate", 0).bytes(), "o.xqv",
         put_hdr("o.xqv") + "Invalid sampling rate"},
        {"in.raw", event_record(3).u32("rate", 65536).bytes(), "o.bqv",
         put_hdr("o.bqv") + "Invalid sampling rate"},
        {"in.raw", event_record(3).u32("model", QVRAW_MODEL_UNKNOWN).bytes(), "o.xqv",
         put_hdr("o.xqv") + "Invalid QV model"},
        {"in.raw", event_record(3).signals({QVRAW_SIGNAL_VM_PEAK}).bytes(), "o.xqv",
         put_hdr("o.xqv") + "Invalid signal"},
        {"in.raw", event_record(3).u32("sensor_unit", QVRAW_UNIT_UNKNOWN).bytes(), "o.xqv",
         put_hdr("o.xqv") + "Invalid sensor unit"},
        {"in.raw",
         event_record(3)
             .u32("trig_enabled", 1)
             .u32("trig_chans", QVRAW_CHAN_X | QVRAW_CHAN_Z)
             .u32("trig_mode", QVRAW_SIGNAL_LEVEL)
             .bytes(),
         "o.xqv", put_hdr("o.xqv") + "Invalid trigger combination"},
        {"in.raw",
         event_record(3)
             .u32("trig_enabled", 1)
             .u32("trig_chans", QVRAW_CHAN_X)
             .u32("trig_mode", QVRAW_SIGNAL_VM_VSUM)
             .bytes(),
         "o.xqv", put_hdr("o.xqv") + "Invalid trigger signal"},
        {"in.raw",
         background_record(3)
             .signals({QVRAW_SIGNAL_VM_PEAK, QVRAW_SIGNAL_VM_VSUM, QVRAW_SIGNAL_VM_FREQ})
             .bytes(),
         "o.bqv", put_hdr("o.bqv") + "Too many signals"},
        {"in.raw", background_record(3).u32("back_mode", QVRAW_BACK_UNKNOWN).bytes(), "o.xqv",
         put_hdr("o.xqv") + "Invalid background mode"},
        {"in.xqv", ev.substr(0, 255), "out.raw", xqv + "libqv5k: I/O: End of file reached"},
    };
    for (auto &r : rows) {
        put(r.in, r.bytes);
        cli::result res = run({"-u", r.in, r.out});
        EXPECT_EQ(res.status, 1) << r.err;
        EXPECT_EQ(std::regex_replace(res.err, std::regex("\\.[A-Za-z0-9]{6}: "), ".XXXXXX: "),
                  "error: Failed to " + r.err + "\n");
        EXPECT_EQ(files(), std::vector<std::string>{r.in}) << r.err;
        EXPECT_TRUE(get(r.in) == r.bytes) << r.err;
        std::remove(path(r.in).c_str());
    }
}

} // namespace
