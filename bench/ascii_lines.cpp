// Sample lines per second of processor time: the ASCII library's writer and reader against a
// plain writer (snprintf "%g" per value) and reader (atof per value) over
// the same data, 32 KiB blocks on both sides.
//
// usage: bench_ascii_lines [lines]   (default 2000000; 20000 runs in well
// under a second)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "qvascii.h"

namespace {

constexpr std::size_t NCHANS = 3;
constexpr std::size_t BLOCK_FRAMES = 1024;

[[noreturn]] void fail(const char *what, qvascii_file *f) {
    std::fprintf(stderr, "bench_ascii_lines: %s: %s\n", what, qvascii_strerr(f));
    std::exit(1);
}

// Processor time of this process (user and system): less disturbed than
// wall time when other work shares the machine.
double cpu_now() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double seconds_since(double t0) {
    return cpu_now() - t0;
}

void make_header(qvascii_header *h) {
    qvascii_header_init(h);
    auto put = [&](const char *g, const char *k, const char *v) {
        qvascii_entry_set_str(qvascii_group_set(qvascii_header_set(h, g), k), v);
    };
    put("Sensor", "Scale", "10");
    put("Acquisition", "Rate", "1024");
    put("File", "Type", "Event");
    put("Columns", "2", "Raw X");
    put("Columns", "3", "Raw Y");
    put("Columns", "4", "Raw Z");
}

double library_write(const char *path, const std::vector<double> &frames, std::size_t n) {
    qvascii_file *f = qvascii_open(path, QVASCII_MODE_WRITE);
    qvascii_header h;
    make_header(&h);
    double t0 = cpu_now();
    if (!f) fail("open", nullptr);
    if (qvascii_write_header(f, &h) != 0) fail("write header", f);
    for (std::size_t i = 0; i < n; i += BLOCK_FRAMES) {
        std::size_t k = n - i < BLOCK_FRAMES ? n - i : BLOCK_FRAMES;
        if (qvascii_write_data(f, frames.data() + i * NCHANS, k, NCHANS) != static_cast<long>(k))
            fail("write data", f);
    }
    qvascii_close(f);
    qvascii_header_cleanup(&h);
    return seconds_since(t0);
}

double library_read(const char *path, std::vector<double> &out, std::size_t n) {
    double t0 = cpu_now();
    qvascii_file *f = qvascii_open(path, QVASCII_MODE_READ);
    qvascii_header h;
    qvascii_header_init(&h);
    if (!f) fail("open", nullptr);
    if (qvascii_read_header(f, &h) != 0) fail("read header", f);
    std::size_t total = 0;
    long got;
    while ((got = qvascii_read_data(f, out.data() + total * NCHANS, BLOCK_FRAMES, NCHANS)) > 0)
        total += static_cast<std::size_t>(got);
    if (got < 0) fail("read data", f);
    qvascii_close(f);
    qvascii_header_cleanup(&h);
    if (total != n) fail("short read", nullptr);
    return seconds_since(t0);
}

// The plain writer: one snprintf per column.
double plain_write(const char *path, const std::vector<double> &frames, std::size_t n) {
    double t0 = cpu_now();
    std::FILE *fp = std::fopen(path, "wb");
    static char block[32768];
    std::size_t used = 0;
    unsigned long usec = 0;
    for (std::size_t i = 0; i < n; i++) {
        if (used > sizeof block - 256) {
            std::fwrite(block, 1, used, fp);
            used = 0;
        }
        used += static_cast<std::size_t>(std::snprintf(
            block + used, sizeof block - used, "%lu.%06lu ", usec / 1000000, usec % 1000000));
        for (std::size_t c = 0; c < NCHANS; c++)
            used += static_cast<std::size_t>(std::snprintf(block + used, sizeof block - used, "%g ",
                                                           frames[i * NCHANS + c] * 10));
        block[used - 1] = '\r';
        block[used++] = '\n';
        usec += 976;
    }
    std::fwrite(block, 1, used, fp);
    std::fclose(fp);
    return seconds_since(t0);
}

// The plain reader: lines of a block, one atof per column.
double plain_read(const char *path, std::vector<double> &out, std::size_t n) {
    double t0 = cpu_now();
    std::FILE *fp = std::fopen(path, "rb");
    static char block[32769];
    std::size_t total = 0, keep = 0;
    for (;;) {
        std::size_t got = std::fread(block + keep, 1, sizeof block - 1 - keep, fp);
        std::size_t len = keep + got;
        if (len == 0) break;
        block[len] = '\0';
        char *p = block;
        char *nl;
        while ((nl = static_cast<char *>(std::memchr(p, '\n', len - (p - block)))) != nullptr) {
            if (*p == '#') { // a header line
                p = nl + 1;
                continue;
            }
            char *sep = std::strchr(p, ' ');
            for (std::size_t c = 0; c < NCHANS && sep && sep < nl; c++) {
                out[total * NCHANS + c] = std::atof(sep + 1) / 10;
                sep = std::strchr(sep + 1, ' ');
            }
            total++;
            p = nl + 1;
        }
        keep = len - static_cast<std::size_t>(p - block);
        std::memmove(block, p, keep);
        if (got == 0) break;
    }
    std::fclose(fp);
    if (total != n) fail("plain reader: short read", nullptr);
    return seconds_since(t0);
}

} // namespace

int main(int argc, char **argv) {
    std::size_t n = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2000000;
    if (n == 0) n = 1;
    std::vector<double> frames(n * NCHANS), back(n * NCHANS);
    std::mt19937_64 rng(42);
    std::normal_distribution<double> noise(0.0, 0.01);
    for (std::size_t i = 0; i < n; i++)
        for (std::size_t c = 0; c < NCHANS; c++)
            frames[i * NCHANS + c] =
                0.3 * std::sin(static_cast<double>(i) / (50.0 + c)) + noise(rng);

    std::string lib_path = "/tmp/bench_ascii_lib_" + std::to_string(getpid()) + ".txt";
    std::string plain_path = "/tmp/bench_ascii_plain_" + std::to_string(getpid()) + ".txt";

    // Best of three runs each: the machine may be shared.
    double lw = 1e300, pw = 1e300, lr = 1e300, pr = 1e300;
    std::vector<double> plain_back(n * NCHANS);
    for (int run = 0; run < 3; run++) {
        lw = std::min(lw, library_write(lib_path.c_str(), frames, n));
        pw = std::min(pw, plain_write(plain_path.c_str(), frames, n));
        lr = std::min(lr, library_read(lib_path.c_str(), back, n));
        pr = std::min(pr, plain_read(lib_path.c_str(), plain_back, n));
    }
    bool same = std::memcmp(back.data(), plain_back.data(), back.size() * sizeof(double)) == 0;

    std::printf("ascii lines: %zu lines of %zu channels\n", n, NCHANS);
    std::printf("write  library %12.0f lines/s   snprintf %12.0f lines/s   x%.2f\n", n / lw, n / pw,
                pw / lw);
    std::printf("read   library %12.0f lines/s   atof     %12.0f lines/s   x%.2f\n", n / lr, n / pr,
                pr / lr);
    std::printf("values read back identical to atof: %s\n", same ? "yes" : "NO");
    std::remove(lib_path.c_str());
    std::remove(plain_path.c_str());
    return same ? 0 : 1;
}
