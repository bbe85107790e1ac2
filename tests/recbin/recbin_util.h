// Helpers of the recorder-binary tests: a scratch directory, whole-file
// reads and writes, a time-zone guard, header records and a handle.
#pragma once

#include "qv5k_internal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace recbin_test {

using Bytes = std::vector<std::uint8_t>;

struct TempDir {
    std::string dir;
    TempDir() {
        char t[] = "/tmp/qv5k-test-XXXXXX";
        if (!mkdtemp(t)) std::abort();
        dir = t;
    }
    ~TempDir() { std::filesystem::remove_all(dir); }
    std::string path() const { return dir + "/rec"; }
};

inline void write_file(const std::string &path, const Bytes &b) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline Bytes read_file(const std::string &path, std::size_t from = 0, std::size_t n = SIZE_MAX) {
    std::ifstream f(path, std::ios::binary);
    Bytes b{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    return from < b.size() ? Bytes(b.begin() + from, b.begin() + std::min(b.size(), from + n))
                           : Bytes{};
}

// TZ for the life of the guard; UTC again afterwards.
struct TzGuard {
    static void set(const char *tz) { setenv("TZ", tz, 1), tzset(); }
    explicit TzGuard(const char *tz) { set(tz); }
    ~TzGuard() { set("UTC"); }
};

// A bqv header whose recording mode matches the background mode's channel
// count; start 2010-01-01 00:00:00 local time, directory count 7.
inline qv5k_header bqv_header(std::uint8_t back_mode, std::uint8_t period = 60) {
    qv5k_header h{};
    h.date[0] = 0x01, h.date[1] = 0x01, h.date[2] = 0x10;
    h.resolution = 20;
    h.back_mode = back_mode;
    h.back_period = period;
    h.dir_count = 7;
    h.rec_mode = qv5k_back_mode_of(back_mode)->rec_mode;
    return h;
}

// A library handle closed at the end of the scope.
struct Rec {
    qv5k_handle h{};
    ~Rec() {
        if (qv5k_front_of(&h)->io.fp) qv5k_close(&h);
    }
    int open(const std::string &path, int mode) { return qv5k_open(&h, path.c_str(), mode); }
    std::string msg() { return qv5k_strerror(&h); }
    // Opens `path` for reading and reads its header.
    void read(const std::string &path) {
        qv5k_header hdr;
        ASSERT_EQ(open(path, QV5K_MODE_READ), 0);
        ASSERT_EQ(qv5k_read_header(&h, &hdr), 0);
    }
    // Frame number of a frame written by numbered(), read next.
    long next() {
        double f[3];
        return qv5k_read_data(&h, f, 1) == 1 ? static_cast<long>(f[0] * 65536.0) : -1;
    }
};

// n frames of `nchans` channels whose first value is the peak code
// first + i, the others 0.25.
inline std::vector<double> numbered(std::size_t n, std::size_t first = 0, std::size_t nchans = 3) {
    std::vector<double> v(n * nchans, 0.25);
    for (std::size_t i = 0; i < n; ++i)
        v[nchans * i] = static_cast<double>(first + i) / 65536.0;
    return v;
}

// A new file with the header and the frames, closed.
inline void make_rec(const std::string &path, const qv5k_header &hdr,
                     const std::vector<double> &f) {
    Rec r;
    ASSERT_EQ(r.open(path, QV5K_MODE_CREATE), 0);
    ASSERT_EQ(qv5k_write_header(&r.h, &hdr), 0);
    std::size_t n = f.size() / qv5k_header_nchannels(&hdr);
    ASSERT_EQ(qv5k_write_data(&r.h, f.data(), n), static_cast<long>(n));
    ASSERT_EQ(qv5k_close(&r.h), 0);
}

} // namespace recbin_test
