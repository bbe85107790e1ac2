// Helpers of the raw library tests: a scratch directory per test, whole-file
// reads and writes, and headers and frames with recognisable contents.
#pragma once

#include "qvraw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace rawtest {

using bytes = std::vector<unsigned char>;
constexpr std::size_t H = QVRAW_HEADER_SIZE;

inline bytes slurp(const std::string &p) {
    std::ifstream f(p, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(f), {});
}

inline void spill(const std::string &p, const bytes &b) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
}

template <typename T>
bytes img(const T *p, std::size_t n = 1) {
    const auto *c = reinterpret_cast<const unsigned char *>(p);
    return bytes(c, c + n * sizeof(T));
}

inline bytes img(const std::vector<double> &v) {
    return img(v.data(), v.size());
}

inline bytes cat(bytes a, const bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline qvraw_header hdr(std::initializer_list<std::uint32_t> signals, std::uint32_t nsamples = 0,
                        std::size_t nfreqs = 0) {
    qvraw_header h{};
    std::memcpy(h.magic, QVRAW_MAGIC, sizeof h.magic);
    h.nsignals = signals.size();
    std::copy(signals.begin(), signals.end(), h.signals);
    h.nsamples = nsamples;
    h.nfreqs = nfreqs;
    return h;
}

// `n` frames of `nchans` values; a value's integer part is its frame index.
inline std::vector<double> frames(std::size_t n, std::size_t nchans, double base = 0) {
    std::vector<double> v(n * nchans);
    for (std::size_t i = 0; i < v.size(); i++)
        v[i] = base + static_cast<double>(i / nchans) + static_cast<double>(i % nchans) / 100.0;
    return v;
}

// The image of a raw file: header, frames, spectrum lines.
inline bytes file_img(const qvraw_header &h, const std::vector<double> &fr,
                      const std::vector<double> &lines = {}) {
    return cat(cat(img(&h), img(fr)), img(lines));
}

class RawTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string t = (std::filesystem::temp_directory_path() / "qvraw-XXXXXX").string();
        ASSERT_NE(mkdtemp(t.data()), nullptr);
        dir_ = t;
        p = dir_ + "/f.raw";
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string dir_, p; // p: the test's raw file
};

} // namespace rawtest
