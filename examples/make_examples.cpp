// Writes the raw example records of this folder: an event record of three
// velocity channels and a background record of per-minute peaks and vector
// sums. The text, xqv and bqv examples are converted from them by qvconv.
//
//   make_examples <folder>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "qvraw.h"

namespace {

void text(char *field, std::size_t size, const char *s) {
    std::snprintf(field, size, "%s", s);
}

qvraw_header common_header() {
    qvraw_header h{};
    h.model = QVRAW_MODEL_QV7300;
    text(h.uid, sizeof h.uid, "A1B2C3D4");
    text(h.name, sizeof h.name, "Bridge pier 4");
    text(h.comment, sizeof h.comment, "Example record");
    text(h.firmware, sizeof h.firmware, "3.0.12");
    text(h.sensor_name, sizeof h.sensor_name, "Geophone 3D");
    h.sensor_type = QVRAW_SENSOR_VELOCITY;
    h.sensor_unit = QVRAW_UNIT_MM_S;
    h.sensor_range = 254;
    h.sensor_scale = 127;
    h.time_mode = QVRAW_TIME_UTC;
    h.rate = 1024;
    h.filter = QVRAW_FILTER_FIR_1_100;
    h.voltage = 12.6;
    h.start_time.sec = 1764583200; // 2025-12-01 10:00:00 UTC
    return h;
}

// Writes `h` and the frames, with the header's statistics taken from them.
int write_record(const std::string &path, qvraw_header h, const std::vector<double> &v) {
    std::size_t nchans = qvraw_header_get_nchans(&h);
    std::size_t frames = v.size() / nchans;
    h.nsamples = static_cast<std::uint32_t>(frames);
    double maxsq = 0;
    for (std::size_t f = 0; f < frames; f++) {
        double sq = 0;
        for (std::size_t c = 0; c < nchans; c++) {
            double x = v[f * nchans + c];
            h.peak[c] = std::fmax(h.peak[c], std::fabs(x));
            h.offset[c] += x / static_cast<double>(frames);
            sq += x * x;
        }
        maxsq = std::fmax(maxsq, sq);
    }
    h.vsum = static_cast<double>(std::sqrt(static_cast<float>(maxsq)));
    qvraw_file *f = qvraw_open(path.c_str(), QVRAW_MODE_WRITE);
    if (!f || qvraw_write_header(f, &h) != 0 ||
        qvraw_write_data(f, v.data(), frames) != static_cast<long>(frames) || qvraw_close(f) != 0) {
        std::fprintf(stderr, "make_examples: %s: %s\n", path.c_str(), qvraw_strerr(f));
        return -1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    std::string dir = argc > 1 ? argv[1] : ".";
    unsigned seed = 12345;
    auto noise = [&] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<double>((seed >> 16) & 0x7fff) / 32768.0 - 0.5;
    };

    // A quarter of a second of a triggered event: a decaying 12 Hz swing.
    qvraw_header ev = common_header();
    ev.file_type = QVRAW_FILETYPE_EVENT;
    ev.rec_cause = QVRAW_CAUSE_TRIGGER;
    ev.nsignals = 1;
    ev.signals[0] = QVRAW_SIGNAL_RAW;
    ev.trig_enabled = 1;
    ev.trig_mode = QVRAW_SIGNAL_LEVEL;
    ev.trig_chans = QVRAW_CHAN_XYZ;
    ev.trig_logic = QVRAW_LOGIC_OR;
    ev.triggered_chans = QVRAW_CHAN_Z;
    for (int i = 0; i < 3; i++)
        ev.trig_threshold[i] = 0.5;
    ev.pre_event = 1;
    ev.post_event = 2;
    ev.trigger_time = ev.start_time;
    ev.trigger_time.sec += 1;
    std::vector<double> v;
    for (int i = 0; i < 256; i++) {
        double t = i / 1024.0;
        double env = std::exp(-6 * t);
        for (int c = 0; c < 3; c++)
            v.push_back(std::round((0.3 * (c + 1) * env * std::sin(2 * M_PI * 12 * t + c) +
                                    0.01 * noise()) *
                                   1e4) /
                        1e4);
    }
    if (write_record(dir + "/event.raw", ev, v) != 0) return 1;

    // An hour of background: per-minute peaks of X, Y, Z and the vector sum.
    qvraw_header bg = common_header();
    bg.file_type = QVRAW_FILETYPE_BACKGROUND;
    bg.rec_cause = QVRAW_CAUSE_CONTINUOUS;
    bg.nsignals = 2;
    bg.signals[0] = QVRAW_SIGNAL_VM_PEAK;
    bg.signals[1] = QVRAW_SIGNAL_VM_VSUM;
    bg.back_enabled = 1;
    bg.back_mode = QVRAW_BACK_PEAK_VSUM;
    bg.back_period = 60;
    v.clear();
    for (int m = 0; m < 60; m++) {
        double p[3], sq = 0;
        for (int c = 0; c < 3; c++) {
            p[c] = std::round((0.02 + 0.01 * c + 0.005 * noise()) * 1e4) / 1e4;
            sq += p[c] * p[c];
            v.push_back(p[c]);
        }
        v.push_back(std::round(std::sqrt(sq) * 1e4) / 1e4);
    }
    return write_record(dir + "/background.raw", bg, v) == 0 ? 0 : 1;
}
