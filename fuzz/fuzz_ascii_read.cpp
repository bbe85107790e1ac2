// Arbitrary bytes through the whole read path of a text record, as the
// converter drives it: open through the format layer, the header text to the
// canonical header, then every sample line in blocks of 1024 frames.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "qvfmt.h"

namespace {

// One input file per process, removed after each run.
const std::string &input_path() {
    static const std::string path = "/tmp/fuzz_ascii_read-" + std::to_string(getpid()) + ".txt";
    return path;
}

double block[QVFMT_BLOCK_FRAMES * QVFMT_MAX_CHANNELS];

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::FILE *fp = std::fopen(input_path().c_str(), "wb");
    if (!fp) return 0;
    bool written = std::fwrite(data, 1, size, fp) == size;
    if (std::fclose(fp) != 0 || !written) return 0;

    qvfmt_handle *h = nullptr;
    if (qvfmt_open(&h, input_path().c_str(), QVFMT_ASCII, QVFMT_MODE_READ) != 0) {
        qvfmt_strerr(nullptr);
        unlink(input_path().c_str());
        return 0;
    }
    qvraw_header header;
    if (qvfmt_read_header(h, &header) == 0) {
        std::size_t nchans = qvraw_header_get_nchans(&header);
        // A header can name at most four signals, so at most 12 channels.
        if (nchans > QVFMT_MAX_CHANNELS) std::abort();
        while (qvfmt_read_data(h, block, QVFMT_BLOCK_FRAMES, nchans) > 0) {
        }
    }
    qvfmt_strerr(h);
    if (qvfmt_close(h) != 0) std::abort(); // a read-only stream closes
    unlink(input_path().c_str());
    return 0;
}
