// The text-writing floor of bench/run: the sample lines of a raw record
// written the plain way, one snprintf("%g") per value and one buffered
// stream write per line, in the layout of the ASCII format (time column,
// one value per channel times the sensor scale, CR LF). Only the sample
// lines are written, no header; the header of the raw record gives the
// channel count, scale and sample interval.
//
//   bench_floor_write <in.raw> <out>
#include <cstdio>
#include <cstring>

#include "qvraw.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_floor_write <in.raw> <out>\n");
        return 2;
    }
    qvraw_header h{};
    qvraw_file *rf = qvraw_open(argv[1], QVRAW_MODE_READ);
    if (!rf || qvraw_read_header(rf, &h) != 0 || qvraw_close(rf) != 0) {
        std::fprintf(stderr, "bench_floor_write: %s: %s\n", argv[1], qvraw_strerr(rf));
        return 1;
    }
    const std::size_t nchans = qvraw_header_get_nchans(&h);
    const double scale = h.sensor_scale;
    unsigned long step_sec = 0, step_usec = 0;
    if (h.file_type == QVRAW_FILETYPE_BACKGROUND)
        step_sec = h.back_period;
    else
        step_usec = h.rate ? 1000000ul / h.rate : 0;

    std::FILE *in = std::fopen(argv[1], "rb");
    std::FILE *out = std::fopen(argv[2], "wb");
    if (!in || !out || std::fseek(in, static_cast<long>(QVRAW_HEADER_SIZE), SEEK_SET) != 0) {
        std::perror("bench_floor_write");
        return 1;
    }
    static double frames[1024 * QVRAW_MAX_CHANNELS];
    char line[512];
    unsigned long sec = 0, usec = 0;
    std::size_t n;
    while ((n = std::fread(frames, nchans * sizeof(double), 1024, in)) > 0) {
        for (std::size_t i = 0; i < n; i++) {
            int len = step_usec ? std::snprintf(line, sizeof line, "%lu.%06lu ", sec, usec)
                                : std::snprintf(line, sizeof line, "%lu ", sec);
            for (std::size_t c = 0; c < nchans; c++)
                len += std::snprintf(line + len, sizeof line - static_cast<std::size_t>(len), "%g ",
                                     frames[i * nchans + c] * scale);
            line[len - 1] = '\r';
            line[len++] = '\n';
            std::fwrite(line, 1, static_cast<std::size_t>(len), out);
            usec += step_usec;
            sec += step_sec + usec / 1000000;
            usec %= 1000000;
        }
    }
    if (std::ferror(in) || std::fclose(out) != 0) {
        std::perror("bench_floor_write");
        return 1;
    }
    std::fclose(in);
    return 0;
}
