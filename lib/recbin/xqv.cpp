// The xqv variant: an event record of frames of three 24-bit samples (X, Y,
// Z in counts of full scale), frame i at byte 256 + 9 i. Frames move through
// one chunk buffer of 1024 frames per call, one stream call per chunk.
#include "qv5k_internal.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

using Chunk = std::array<std::uint8_t, QV5K_XQV_CHUNK * QV5K_FRAME_SIZE>;

void set_err(qv5k_xqv_state *s, std::uint32_t code) {
    if (s->err) *s->err = code;
}

} // namespace

// The codecs work on the bytes directly: a call per value to the field
// helpers would cost more than the conversion itself. The decoder takes
// runs of values four at a time, 12 bytes as three 32-bit words, which the
// compiler turns into vector code.
static_assert(std::endian::native == std::endian::little, "the words are read as they lie");

namespace {

constexpr std::size_t kRun = 64; // values per run, a multiple of 4

// The 24-bit two's complement count in the low bits of u, sign-extended
// by the arithmetic shift.
std::int32_t signed24(std::uint32_t u) {
    return static_cast<std::int32_t>(u << 8) >> 8;
}

} // namespace

void qv5k_xqv_encode(std::uint8_t *dst, const double *src, std::size_t n, double scale) {
    for (std::size_t i = 0; i < n * QV5K_XQV_CHANNELS; ++i, dst += 3) {
        double v = src[i];
        if (v >= QV5K_FS_LIMIT)
            v = QV5K_FS_LIMIT;
        else if (v <= -QV5K_FS_LIMIT)
            v = -QV5K_FS_LIMIT;
        // The count's low 24 bits; NaN gives 0.
        const std::uint32_t c = qv5k_trunc_bits(v * scale);
        dst[0] = static_cast<std::uint8_t>(c);
        dst[1] = static_cast<std::uint8_t>(c >> 8);
        dst[2] = static_cast<std::uint8_t>(c >> 16);
    }
}

void qv5k_xqv_decode(double *dst, const std::uint8_t *src, std::size_t n, double scale) {
    // The scale is a power of two, so multiplying by its inverse is exact.
    const double inv = 1.0 / scale;
    const std::size_t total = n * QV5K_XQV_CHANNELS;
    std::size_t i = 0;
    for (; i + kRun <= total; i += kRun) {
        std::int32_t c[kRun];
        for (std::size_t k = 0; k < kRun; k += 4, src += 12) {
            std::uint32_t w[3];
            std::memcpy(w, src, sizeof w);
            c[k] = signed24(w[0]);
            c[k + 1] = signed24(w[0] >> 24 | w[1] << 8);
            c[k + 2] = signed24(w[1] >> 16 | w[2] << 16);
            c[k + 3] = static_cast<std::int32_t>(w[2]) >> 8;
        }
        for (std::size_t k = 0; k < kRun; k++)
            dst[i + k] = static_cast<double>(c[k]) * inv;
    }
    for (; i < total; ++i, src += 3) {
        std::uint32_t u = static_cast<std::uint32_t>(src[0]) |
                          static_cast<std::uint32_t>(src[1]) << 8 |
                          static_cast<std::uint32_t>(src[2]) << 16;
        dst[i] = static_cast<double>(signed24(u)) * inv;
    }
}

int qv5k_xqv_reload(qv5k_xqv_state *state, qv5k_io *io, std::uint32_t *err,
                    const qv5k_header *header) {
    // A resolution of 0 or above 31 gives no 32-bit full scale; a header of
    // another channel count would make the caller's frames a different width.
    unsigned res = header->resolution;
    if (res == 0 || res > 31) return -1;
    if (qv5k_header_nchannels(header) != QV5K_XQV_CHANNELS) return -1;
    double scale = static_cast<double>(std::uint32_t{1} << (res - 1));
    if (!state->io) {
        state->io = io;
        state->err = err;
        state->scale = scale;
        return 0;
    }
    return scale == state->scale ? 0 : -1;
}

long qv5k_xqv_write(qv5k_xqv_state *state, const double *frames, std::size_t count) {
    if (!state->io) {
        set_err(state, QV5K_ERR_NOHEADER);
        return -1;
    }
    Chunk chunk;
    std::size_t left = count;
    while (left > 0) {
        std::size_t n = left < QV5K_XQV_CHUNK ? left : QV5K_XQV_CHUNK;
        qv5k_xqv_encode(chunk.data(), frames, n, state->scale);
        if (qv5k_io_write_sample(state->io, chunk.data(), n) < 0) {
            set_err(state, QV5K_ERR_IO);
            return -1;
        }
        frames += n * QV5K_XQV_CHANNELS;
        left -= n;
    }
    return static_cast<long>(count);
}

long qv5k_xqv_read(qv5k_xqv_state *state, double *frames, std::size_t count) {
    if (!state->io) {
        set_err(state, QV5K_ERR_NOHEADER);
        return -1;
    }
    Chunk chunk;
    std::size_t left = count;
    while (left > 0) {
        std::size_t want = left < QV5K_XQV_CHUNK ? left : QV5K_XQV_CHUNK;
        long got = qv5k_io_read_sample(state->io, chunk.data(), want);
        if (got < 0) {
            set_err(state, QV5K_ERR_IO);
            return -1;
        }
        if (got == 0) break;
        std::size_t n = static_cast<std::size_t>(got);
        qv5k_xqv_decode(frames, chunk.data(), n, state->scale);
        frames += n * QV5K_XQV_CHANNELS;
        left -= n;
        if (n < want) break; // a short read happens only at the end of the file
    }
    return static_cast<long>(count - left);
}

long qv5k_xqv_seek(qv5k_xqv_state *state, long offset, int whence) {
    if (!state->io) {
        set_err(state, QV5K_ERR_NOHEADER);
        return -1;
    }
    long r = qv5k_io_seek_sample(state->io, offset, whence);
    if (r < 0) set_err(state, QV5K_ERR_IO);
    return r;
}
