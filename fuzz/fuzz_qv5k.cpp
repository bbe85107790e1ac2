// Opens arbitrary bytes as a recorder-binary file and drives the library
// over it: header read and binding, reads, seeks from every origin, writes
// into existing frames and blocks, header rewrites, and a read to the end.
//
// Input: 8 control bytes, then the file's bytes. Control byte 0 picks the
// open mode; bytes 1 to 7 are a script of operations.
#include "qv5k.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr std::size_t kControl = 8;
constexpr std::size_t kMaxFrames = 64;

int make_file(const std::uint8_t *data, std::size_t size) {
    int fd = memfd_create("qv5k-fuzz", 0);
    if (fd < 0) return -1;
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            close(fd);
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    return fd;
}

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// Every message is a terminated text of at most 63 characters.
void drain(qv5k_handle *h) {
    const char *m = qv5k_strerror(h);
    check(std::strlen(m) <= 63);
    check(std::strcmp(qv5k_strerror(h), "None") == 0);
}

void fill_frames(double *frames, std::size_t n, std::uint8_t seed) {
    const double special[] = {0.0,
                              0.5,
                              -0.5,
                              1.0,
                              -1.0,
                              QV5K_FS_LIMIT,
                              1e300,
                              -1e300,
                              std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(),
                              7000.0,
                              -3e9,
                              1e-9};
    for (std::size_t i = 0; i < n; ++i)
        frames[i] = special[(seed + i) % (sizeof special / sizeof special[0])];
}

void run_script(qv5k_handle *h, const qv5k_header &hdr, const std::uint8_t *script,
                std::size_t nscript) {
    const std::size_t nchans = qv5k_header_nchannels(&hdr);
    check(nchans >= 3 && nchans <= QV5K_MAX_CHANNELS);
    double frames[kMaxFrames * QV5K_MAX_CHANNELS];
    for (std::size_t i = 0; i < nscript; ++i) {
        std::uint8_t b = script[i];
        std::size_t n = (b >> 2) % kMaxFrames + 1;
        switch (b & 3) {
        case 0: {
            long r = qv5k_read_data(h, frames, n);
            check(r >= -1 && r <= static_cast<long>(n));
            break;
        }
        case 1: {
            static const long offsets[] = {0,
                                           1,
                                           -1,
                                           40,
                                           -41,
                                           41,
                                           100,
                                           -100,
                                           20,
                                           -20,
                                           1000,
                                           std::numeric_limits<long>::max(),
                                           std::numeric_limits<long>::min(),
                                           9,
                                           -9,
                                           256};
            long r = qv5k_seek_data(h, offsets[(b >> 2) & 15], (b >> 6) % 3);
            check(r >= -1);
            break;
        }
        case 2: {
            fill_frames(frames, n * nchans, b);
            long r = qv5k_write_data(h, frames, n);
            check(r == -1 || r == static_cast<long>(n));
            break;
        }
        case 3: {
            qv5k_header again = hdr;
            qv5k_set_uint32(again.nsamples, b);
            if (b & 0x80) again.resolution = static_cast<std::uint8_t>(b >> 2);
            (void)qv5k_write_header(h, &again);
            break;
        }
        }
        drain(h);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < kControl) return 0;
    const std::uint8_t *ctrl = data;
    int fd = make_file(data + kControl, size - kControl);
    if (fd < 0) return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const int mode = (ctrl[0] & 1) ? QV5K_MODE_UPDATE : QV5K_MODE_READ;

    qv5k_handle h;
    if (qv5k_open(&h, path.c_str(), mode) == 0) {
        qv5k_header hdr;
        if (qv5k_read_header(&h, &hdr) == 0) {
            run_script(&h, hdr, ctrl + 1, kControl - 1);
            // Read whatever remains from the start; the file is at most a few
            // KiB, so this ends quickly.
            double frames[kMaxFrames * QV5K_MAX_CHANNELS];
            if (qv5k_seek_data(&h, 0, 0) == 0) {
                for (int i = 0; i < 100000; ++i) {
                    long r = qv5k_read_data(&h, frames, kMaxFrames);
                    check(r >= -1 && r <= static_cast<long>(kMaxFrames));
                    if (r <= 0) break;
                }
            }
        }
        drain(&h);
        (void)qv5k_close(&h);
        drain(&h);
    } else {
        drain(&h);
    }

    // The same header written to a new file, with frames of every kind of
    // value, then read back.
    if (ctrl[0] & 2) {
        int out = memfd_create("qv5k-fuzz-out", 0);
        if (out >= 0) {
            const std::string opath = "/proc/self/fd/" + std::to_string(out);
            qv5k_header hdr{};
            std::size_t n = size - kControl < sizeof hdr ? size - kControl : sizeof hdr;
            std::memcpy(&hdr, data + kControl, n);
            if (qv5k_open(&h, opath.c_str(), QV5K_MODE_CREATE) == 0) {
                if (qv5k_write_header(&h, &hdr) == 0) run_script(&h, hdr, ctrl + 1, kControl - 1);
                drain(&h);
                (void)qv5k_close(&h);
                drain(&h);
            }
            close(out);
        }
    }
    close(fd);
    return 0;
}
