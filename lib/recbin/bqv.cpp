// The bqv variant: a background record of 256-byte data blocks, block i at
// byte 256 + 256 i:
//   byte 0        the header's directory count
//   byte 1        block number, index + 1 modulo 256
//   bytes 2 to 7  time and date triple of the block's first frame
//   bytes 8 on    frames (layout 1: 41 of 6 bytes; layouts 2, 3: 20 of 12)
//   up to 254     0xFF where no frame is stored
//   byte 255      number of frames stored
//
// Exactly one block lives in memory. Between calls:
//   dirty             the stream stands at the start of the held block;
//   fill > 0, clean   the stream stands just after the held block;
//   fill == 0         no block is held, pos is 0 and the stream stands where
//                     the next block will be read or written.
#include "qv5k_internal.h"

#include <cmath>
#include <cstring>

namespace {

constexpr std::size_t kFrameArea = 8;
constexpr std::size_t kFillByte = 255;

// Every layout's frames fit between the frame area's start and the fill
// byte.
constexpr bool frames_fit() {
    for (const qv5k_back_mode &m : QV5K_BACK_MODES)
        if (kFrameArea + m.frames_per_block * qv5k_bqv_frame_size(m.layout) > kFillByte)
            return false;
    return true;
}
static_assert(frames_fit());

void set_err(qv5k_bqv_state *s, std::uint32_t code) {
    if (s->err) *s->err = code;
}

std::size_t fill_of(const qv5k_bqv_state *s) {
    return s->block_buf[kFillByte];
}
void set_fill(qv5k_bqv_state *s, std::size_t fill) {
    s->block_buf[kFillByte] = static_cast<std::uint8_t>(fill);
}

void drop_block(qv5k_bqv_state *s) {
    set_fill(s, 0);
    s->pos = 0;
    s->dirty = 0;
}

std::uint8_t *frame_at(qv5k_bqv_state *s, std::size_t f) {
    return s->block_buf + kFrameArea + f * qv5k_bqv_frame_size(s->mode.layout);
}

// Block time: the start moment plus ((number - 1) mod 256) block durations.
// A moment the platform cannot break down leaves the six bytes zero.
void stamp_block(qv5k_bqv_state *s, std::uint8_t number) {
    std::uint8_t *blk = s->block_buf;
    std::memset(blk + 2, 0, 6);
    // At most 255 x 255 x 41 seconds: fits any time_t.
    const long k = (number + 255) % 256;
    const long span =
        k * static_cast<long>(s->period) * static_cast<long>(s->mode.frames_per_block);
    std::time_t tt;
    if (__builtin_add_overflow(s->start, span, &tt)) return;
    qv5k_set_time_local(blk + 2, blk + 5, &tt);
}

// A new empty block for the place the stream stands at.
void fresh_block(qv5k_bqv_state *s) {
    std::uint8_t *blk = s->block_buf;
    blk[0] = static_cast<std::uint8_t>(s->dir_count);
    blk[1] = static_cast<std::uint8_t>(static_cast<unsigned long>(s->io->block) & 0xFFu);
    stamp_block(s, blk[1]);
    std::memset(blk + kFrameArea, 0xFF, kFillByte - kFrameArea);
    drop_block(s);
}

// Reads the block at the stream position: 1 loaded, 0 end of file, -1 with
// the error set. A block claiming more frames than it can hold is refused,
// so no frame beyond the frame area is ever decoded.
int load_block(qv5k_bqv_state *s) {
    long n = qv5k_io_read_datablock(s->io, s->block_buf, 1);
    if (n != 1) {
        drop_block(s); // the buffer may hold a piece of a block
        if (n < 0) {
            set_err(s, QV5K_ERR_IO);
            return -1;
        }
        return 0;
    }
    s->pos = 0;
    s->dirty = 0;
    if (fill_of(s) > s->mode.frames_per_block) {
        drop_block(s);
        set_err(s, QV5K_ERR_DATA);
        return -1;
    }
    return 1;
}

// Writes the held block at the stream position; the stream then stands
// after it. A failure keeps the block dirty.
int write_block(qv5k_bqv_state *s) {
    if (qv5k_io_write_datablock(s->io, s->block_buf, 1) < 0) {
        set_err(s, QV5K_ERR_IO);
        return -1;
    }
    return 0;
}

} // namespace

void qv5k_bqv_encode(std::uint8_t *dst, std::uint32_t layout, const double *src, std::size_t n) {
    switch (layout) {
    case 1:
        for (std::size_t f = 0; f < n; ++f, dst += 6, src += 3) {
            qv5k_set_uint16(dst, qv5k_peak_code(src[0]));
            qv5k_set_uint16(dst + 2, qv5k_peak_code(src[1]));
            qv5k_set_uint16(dst + 4, qv5k_peak_code(src[2]));
        }
        break;
    case 2:
        for (std::size_t f = 0; f < n; ++f, dst += 12, src += 4) {
            qv5k_set_uint16(dst, qv5k_peak_code(src[0]));
            qv5k_set_uint16(dst + 2, qv5k_peak_code(src[1]));
            qv5k_set_uint16(dst + 4, qv5k_peak_code(src[2]));
            std::uint64_t q = qv5k_peak_code(src[3]);
            qv5k_set_uint48(dst + 6, q * q);
        }
        break;
    case 3:
        for (std::size_t f = 0; f < n; ++f, dst += 12, src += 6) {
            qv5k_set_uint16(dst, qv5k_peak_code(src[0]));
            qv5k_set_uint16(dst + 2, qv5k_peak_code(src[1]));
            qv5k_set_uint16(dst + 4, qv5k_peak_code(src[2]));
            qv5k_set_uint16(dst + 6, qv5k_freq_code(src[3]));
            qv5k_set_uint16(dst + 8, qv5k_freq_code(src[4]));
            qv5k_set_uint16(dst + 10, qv5k_freq_code(src[5]));
        }
        break;
    default: break;
    }
}

void qv5k_bqv_decode(double *dst, std::uint32_t layout, const std::uint8_t *src, std::size_t n) {
    constexpr double kPeak = 1.0 / 65536.0;
    switch (layout) {
    case 1:
        for (std::size_t f = 0; f < n; ++f, src += 6, dst += 3) {
            dst[0] = qv5k_get_uint16(src) * kPeak;
            dst[1] = qv5k_get_uint16(src + 2) * kPeak;
            dst[2] = qv5k_get_uint16(src + 4) * kPeak;
        }
        break;
    case 2:
        for (std::size_t f = 0; f < n; ++f, src += 12, dst += 4) {
            dst[0] = qv5k_get_uint16(src) * kPeak;
            dst[1] = qv5k_get_uint16(src + 2) * kPeak;
            dst[2] = qv5k_get_uint16(src + 4) * kPeak;
            // The stored square is below 2^48, so its root is below 2^24 and
            // converts exactly; only its low 16 bits are the code.
            double root = std::sqrt(static_cast<double>(qv5k_get_uint48(src + 6)));
            auto q = static_cast<std::uint32_t>(root) & 0xFFFFu;
            dst[3] = q * kPeak;
        }
        break;
    case 3:
        for (std::size_t f = 0; f < n; ++f, src += 12, dst += 6) {
            dst[0] = qv5k_get_uint16(src) * kPeak;
            dst[1] = qv5k_get_uint16(src + 2) * kPeak;
            dst[2] = qv5k_get_uint16(src + 4) * kPeak;
            dst[3] = qv5k_get_uint16(src + 6) / 10.0;
            dst[4] = qv5k_get_uint16(src + 8) / 10.0;
            dst[5] = qv5k_get_uint16(src + 10) / 10.0;
        }
        break;
    default: break;
    }
}

int qv5k_bqv_reload(qv5k_bqv_state *state, qv5k_io *io, std::uint32_t *err,
                    const qv5k_header *header) {
    const qv5k_back_mode *m = qv5k_back_mode_of(header->back_mode);
    if (m == nullptr) return -1;
    // The caller sizes its frames by the recording mode; the blocks hold
    // frames of the background mode's width. The two must agree.
    if (qv5k_header_nchannels(header) != m->nchans) return -1;
    std::time_t start = qv5k_get_time(header->time, header->date);
    if (!state->io) {
        state->mode = *m;
        state->dir_count = header->dir_count;
        state->start = start;
        state->period = header->back_period;
        drop_block(state);
        state->io = io;
        state->err = err;
        return 0;
    }
    bool same = header->back_mode == state->mode.back_mode &&
                header->dir_count == state->dir_count && start == state->start &&
                header->back_period == state->period;
    return same ? 0 : -1;
}

long qv5k_bqv_write(qv5k_bqv_state *state, const double *frames, std::size_t count) {
    if (!state->io) {
        set_err(state, QV5K_ERR_NOHEADER);
        return -1;
    }
    if (count == 0) return 0;
    const std::size_t fpb = state->mode.frames_per_block;
    // A clean held block is about to change: go back to its start.
    if (fill_of(state) > 0 && !state->dirty) {
        if (qv5k_io_seek_datablock(state->io, -1, 1) < 0) {
            set_err(state, QV5K_ERR_IO);
            return -1;
        }
    }
    std::size_t left = count;
    for (;;) {
        if (fill_of(state) == 0) {
            if (fpb - state->pos > left) {
                // Only part of the block changes: keep what the file has.
                int r = load_block(state);
                if (r < 0) return -1;
                if (r == 1) {
                    if (qv5k_io_seek_datablock(state->io, -1, 1) < 0) {
                        set_err(state, QV5K_ERR_IO);
                        return -1;
                    }
                } else {
                    fresh_block(state);
                }
            } else {
                fresh_block(state);
            }
        }
        std::size_t n = fpb - state->pos;
        if (n > left) n = left;
        qv5k_bqv_encode(frame_at(state, state->pos), state->mode.layout, frames, n);
        if (state->pos + n > fill_of(state)) set_fill(state, state->pos + n);
        state->pos += n;
        frames += n * state->mode.nchans;
        left -= n;
        state->dirty = 1;
        if (state->pos == fpb) {
            if (write_block(state) < 0) return -1;
            drop_block(state);
        }
        if (left == 0) return static_cast<long>(count);
    }
}

long qv5k_bqv_read(qv5k_bqv_state *state, double *frames, std::size_t count) {
    if (!state->io) {
        set_err(state, QV5K_ERR_NOHEADER);
        return -1;
    }
    if (count == 0) return 0;
    std::size_t left = count;
    for (;;) {
        std::size_t fill = fill_of(state);
        std::size_t n = fill > state->pos ? fill - state->pos : 0;
        if (n > left) n = left;
        qv5k_bqv_decode(frames, state->mode.layout, frame_at(state, state->pos), n);
        state->pos += n;
        frames += n * state->mode.nchans;
        left -= n;
        if (state->pos >= fill) {
            if (state->dirty && write_block(state) < 0) return -1;
            drop_block(state);
            int r = load_block(state);
            if (r < 0) return -1;
            if (r == 0) return static_cast<long>(count - left);
        }
        if (left == 0) return static_cast<long>(count);
    }
}

long qv5k_bqv_seek(qv5k_bqv_state *state, long offset, int whence) {
    if (!state->io) {
        set_err(state, QV5K_ERR_NOHEADER);
        return -1;
    }
    if (state->dirty) {
        if (write_block(state) < 0) return -1;
        state->dirty = 0;
    }
    const long fpb = static_cast<long>(state->mode.frames_per_block);
    long index = qv5k_io_seek_datablock(state->io, 0, whence);
    if (index < 0) {
        set_err(state, QV5K_ERR_IO);
        return -1;
    }
    if (whence != 1) drop_block(state);

    // Within the held block first.
    long fill = static_cast<long>(fill_of(state));
    long pos = static_cast<long>(state->pos);
    if (offset > 0) {
        long step = fill - pos < offset ? fill - pos : offset;
        pos += step;
        offset -= step;
    } else {
        long step = offset < -pos ? pos : -offset;
        pos -= step;
        offset += step;
    }
    state->pos = static_cast<std::size_t>(pos);
    bool held = fill > 0;
    if (offset == 0) return (held ? index - 1 : index) * fpb + pos;

    // Then to another block. Forward, q whole blocks from the stream
    // position. Backward, from the reference block (the held one, which the
    // stream stands after, or the one the stream stands at): r frames into
    // the block before the one q whole blocks lead to, or on an exact
    // multiple the start of that block itself (not the end of the block
    // before it, which for frame 0 does not exist). Remainders are taken with
    // % so that no product can overflow.
    long move;
    long r;
    const long ref = held ? -1 : 0;
    if (offset > 0) {
        move = offset / fpb;
        r = offset % fpb;
    } else {
        long q = offset / fpb;
        r = offset % fpb;
        if (r == 0) {
            move = q + ref;
        } else {
            move = q - 1 + ref;
            r += fpb;
        }
    }
    long target = qv5k_io_seek_datablock(state->io, move, 1);
    if (target < 0) {
        set_err(state, QV5K_ERR_IO);
        return -1;
    }
    drop_block(state);
    int loaded = load_block(state);
    if (loaded < 0) return -1;
    if (loaded == 0) {
        set_err(state, QV5K_ERR_EOF); // no block where one was expected
        return -1;
    }
    long tfill = static_cast<long>(fill_of(state));
    if (r > tfill) {
        state->pos = static_cast<std::size_t>(tfill);
        set_err(state, QV5K_ERR_EOF);
        return -1;
    }
    state->pos = static_cast<std::size_t>(r);
    return target * fpb + r;
}

int qv5k_bqv_flush(qv5k_bqv_state *state) {
    if (!state->io || !state->dirty) return 0;
    if (write_block(state) < 0) return -1;
    state->dirty = 0;
    return 0;
}
