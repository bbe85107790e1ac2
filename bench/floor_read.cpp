// The text-reading floor of bench/run: the sample lines of an ASCII record
// read the plain way, a buffered line read and one atof per value, each
// value divided by the sensor scale and written as a double through a
// buffered stream. The output is the frames alone, as in the data part of
// a raw record. Header lines (those starting with '#') are skipped; the
// sensor scale is taken from the header's "Scale=" line.
//
//   bench_floor_read <in.txt> <out> <channels>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_floor_read <in.txt> <out> <channels>\n");
        return 2;
    }
    const std::size_t nchans = std::strtoul(argv[3], nullptr, 10);
    std::FILE *in = std::fopen(argv[1], "rb");
    std::FILE *out = std::fopen(argv[2], "wb");
    if (!in || !out || nchans == 0 || nchans > 12) {
        std::perror("bench_floor_read");
        return 1;
    }
    double scale = 1.0;
    double frame[12];
    char line[1024];
    while (std::fgets(line, sizeof line, in)) {
        if (line[0] == '#') {
            if (std::strncmp(line, "# Scale=", 8) == 0) scale = std::atof(line + 8);
            continue;
        }
        // Skip the time column, then one value after each separator.
        char *p = std::strchr(line, ' ');
        for (std::size_t c = 0; c < nchans; c++) {
            if (!p) {
                std::fprintf(stderr, "bench_floor_read: short line\n");
                return 1;
            }
            frame[c] = std::atof(p + 1) / scale;
            p = std::strchr(p + 1, ' ');
        }
        std::fwrite(frame, sizeof(double), nchans, out);
    }
    if (std::ferror(in) || std::fclose(out) != 0) {
        std::perror("bench_floor_read");
        return 1;
    }
    std::fclose(in);
    return 0;
}
