// The per-file floor of bench/run: the records rec00000.raw ... of a
// directory converted to text in one process through the format layer
// (open, header, blocks of frames, close), without the converter's
// temporary names, renames, directory walk or messages. What qvconv's
// directory mode spends beyond this is its per-file overhead.
//
//   bench_floor_dir <in dir> <out dir> <files>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "qvfmt.h"
#include "records.h"

namespace {

int convert(const std::string &in, const std::string &out, double *block) {
    qvfmt_handle *ih = nullptr, *oh = nullptr;
    if (qvfmt_open(&ih, in.c_str(), QVFMT_RAW, QVFMT_MODE_READ) != 0 ||
        qvfmt_open(&oh, out.c_str(), QVFMT_ASCII, QVFMT_MODE_WRITE) != 0) {
        std::fprintf(stderr, "bench_floor_dir: %s: %s\n", in.c_str(), qvfmt_strerr(nullptr));
        return -1;
    }
    qvraw_header h{};
    if (qvfmt_read_header(ih, &h) != 0 || qvfmt_write_header(oh, &h) != 0) return -1;
    std::size_t nchans = qvraw_header_get_nchans(&h);
    long n;
    while ((n = qvfmt_read_data(ih, block, QVFMT_BLOCK_FRAMES, nchans)) > 0)
        if (qvfmt_write_data(oh, block, static_cast<std::size_t>(n), nchans) != n) return -1;
    if (n < 0 || qvfmt_close(oh) != 0 || qvfmt_close(ih) != 0) return -1;
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_floor_dir <in dir> <out dir> <files>\n");
        return 2;
    }
    unsigned files = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    std::unique_ptr<double[]> block(new double[QVFMT_BLOCK_FRAMES * QVFMT_MAX_CHANNELS]);
    for (unsigned i = 0; i < files; i++) {
        std::string in = bench_record_name(argv[1], i, "raw");
        if (convert(in, bench_record_name(argv[2], i, "txt"), block.get()) != 0) {
            std::fprintf(stderr, "bench_floor_dir: failed on %s\n", in.c_str());
            return 1;
        }
    }
    return 0;
}
