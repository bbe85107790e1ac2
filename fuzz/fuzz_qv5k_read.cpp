// Sends arbitrary bytes through the converter's whole read path for a
// recorder-binary input: the file is opened through the format layer as an
// xqv input, its header converted to the canonical header, and all its
// samples read in blocks of 1024 frames. A header that converts is then
// converted back to both variants, as a conversion to xqv or bqv would.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "conv-qv5k.h"
#include "qvfmt.h"

namespace {

const std::string &scratch_path() {
    static const std::string p = [] {
        const char *dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/fuzz_qv5k_read-" +
               std::to_string(static_cast<long>(getpid())) + ".xqv";
    }();
    return p;
}

bool spill(const std::string &path, const std::uint8_t *data, std::size_t size) {
    std::FILE *fp = std::fopen(path.c_str(), "wb");
    if (fp == nullptr) return false;
    bool ok = std::fwrite(data, 1, size, fp) == size;
    return std::fclose(fp) == 0 && ok;
}

void check(bool ok) {
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string &path = scratch_path();
    if (!spill(path, data, size)) return 0;

    qvfmt_handle *h = nullptr;
    if (qvfmt_open(&h, path.c_str(), QVFMT_XQV, QVFMT_MODE_READ) != 0) {
        qvfmt_strerr(nullptr);
        return 0;
    }
    qvraw_header canon{};
    if (qvfmt_read_header(h, &canon) == 0) {
        const std::size_t nchans = qvraw_header_get_nchans(&canon);
        check(nchans == 3 || nchans == 4 || nchans == 6);
        std::vector<double> block(QVFMT_BLOCK_FRAMES * nchans);
        for (;;) {
            long n = qvfmt_read_data(h, block.data(), QVFMT_BLOCK_FRAMES, nchans);
            check(n <= static_cast<long>(QVFMT_BLOCK_FRAMES));
            if (n <= 0) break;
        }
        qvfmt_strerr(h);

        std::uint32_t err = 0;
        qv5k_header rec;
        conv_qv5k_to_xqv_header(&err, &rec, &canon);
        conv_qv5k_strerror(&err);
        conv_qv5k_to_bqv_header(&err, &rec, &canon);
        conv_qv5k_strerror(&err);
    } else {
        qvfmt_strerr(h);
    }
    check(qvfmt_close(h) == 0);
    return 0;
}
