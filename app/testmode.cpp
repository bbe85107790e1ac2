#include "testmode.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "convert.h"
#include "log.h"
#include "utils.h"

int test_file(const char *in, const char *out) {
    constexpr std::size_t CHUNK = 0x80000;

    files_tested++;
    std::uint64_t size_in = file_size(in), size_out = file_size(out);
    if (size_in != size_out) {
        log_err("Files have a different size: %" PRIu64 " != %" PRIu64 "\n", size_in, size_out);
        return -1;
    }
    // One chunk per file, held for this comparison only: a thread that
    // converts never keeps a megabyte of its own.
    std::unique_ptr<unsigned char[]> chunks(new (std::nothrow) unsigned char[2 * CHUNK]);
    if (!chunks) {
        log_err("Failed to allocate %zu bytes of memory\n", 2 * CHUNK);
        return -1;
    }
    unsigned char *buf_in = chunks.get(), *buf_out = chunks.get() + CHUNK;
    log_trace_file("    Files have the same size: %" PRIu64 "\n", size_in);
    log_trace_file("    Opening files\n");

    int result = -1;
    FILE *fin = std::fopen(in, "rb");
    FILE *fout = fin ? std::fopen(out, "rb") : nullptr;
    if (fin && fout) {
        std::uint64_t equal = 0;
        for (;;) {
            std::size_t n_in = std::fread(buf_in, 1, CHUNK, fin);
            std::size_t n_out = std::fread(buf_out, 1, CHUNK, fout);
            log_trace_file("    Read %zu/%zu samples\n", n_in, n_out);
            if (n_in != n_out) {
                log_err("Read failure: %zu != %zu\n", n_in, n_out);
                break;
            }
            if (n_in == 0) {
                // Both ended together; a read error is not the end.
                if (!std::ferror(fin) && !std::ferror(fout))
                    result = 0;
                else
                    log_err("Read failure: %zu != %zu\n", n_in, n_out);
                break;
            }
            if (std::memcmp(buf_in, buf_out, n_in) != 0) {
                std::size_t i = 0;
                while (buf_in[i] == buf_out[i])
                    i++;
                log_err("char %" PRIu64 " differ (%02x != %02x)\n", equal + i + 1, buf_in[i],
                        buf_out[i]);
                break;
            }
            equal += n_in;
        }
    }
    log_trace_file("    Closing files\n");
    if (fout) std::fclose(fout);
    if (fin) std::fclose(fin);
    if (result == 0) files_successfully_tested++;
    return result;
}
