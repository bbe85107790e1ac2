// Arbitrary bytes through the ASCII library's readers: the header text
// parser (with the typed getters and date and list helpers on what it
// finds), and the sample-line reader of an opened file, behind a valid
// header and as a whole file of its own.
//
// The first input byte chooses the channel count of the sample reads; the
// rest is the text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "qvascii.h"

namespace {

// The sample reader needs a file: in memory-backed /dev/shm when there is
// one.
const std::string &temp_file() {
    static const std::string path = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                    std::string("/fuzz_ascii_") + std::to_string(getpid()) + ".txt";
    return path;
}

void parse_text(const std::string &bytes) {
    std::vector<char> text(bytes.begin(), bytes.end());
    text.push_back('\0');
    qvascii_header h;
    qvascii_header_init(&h);
    long len = qvascii_header_parse(&h, text.data());
    if (len >= 0 && static_cast<std::size_t>(len) > bytes.size()) __builtin_trap();
    for (const qvascii_group &g : h.groups) {
        if (!g.name) break;
        for (const qvascii_entry &e : g.entries) {
            if (!e.key) break;
            (void)qvascii_entry_get_int(&e, 0);
            (void)qvascii_entry_get_uint(&e, 0);
            (void)qvascii_entry_get_double(&e, 0);
            (void)qvascii_entry_get_bool(&e, false);
            qvraw_timestamp t;
            (void)qvascii_parse_datetime(&t, e.key, e.value, 2, 3600);
            char list[256];
            std::snprintf(list, sizeof list, "%s", e.value ? e.value : "");
            int items = 0;
            while (qvascii_pop_str(list, " + ") && items < 300)
                items++;
            if (items == 300) __builtin_trap(); // a list that never empties
        }
    }
    char out[8192];
    (void)qvascii_header_print(&h, out, sizeof out);
    qvascii_header_cleanup(&h);
}

void read_samples(const std::string &file, std::size_t nchans) {
    std::FILE *fp = std::fopen(temp_file().c_str(), "wb");
    if (!fp) return;
    std::fwrite(file.data(), 1, file.size(), fp);
    std::fclose(fp);

    qvascii_file *f = qvascii_open(temp_file().c_str(), QVASCII_MODE_READ);
    if (!f) return;
    qvascii_header h;
    qvascii_header_init(&h);
    if (qvascii_read_header(f, &h) == 0) {
        std::vector<double> frames(1024 * nchans + 1);
        // Each read moves forward or ends, so the number of reads is bound
        // by the number of lines.
        for (std::size_t calls = 0;; calls++) {
            long n = qvascii_read_data(f, frames.data(), 1024, nchans);
            if (n <= 0) break;
            if (calls > file.size()) __builtin_trap();
        }
    }
    (void)qvascii_strerr(f);
    qvascii_header_cleanup(&h);
    qvascii_close(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0 || size > 200000) return 0;
    std::size_t nchans = data[0] % 14; // 13 is refused
    std::string bytes(reinterpret_cast<const char *>(data) + 1, size - 1);

    parse_text(bytes);
    static const std::string header =
        "# [ASCII]\r\n# Version=3\r\n# \r\n"
        "# [Sensor]\r\n# Scale=10\r\n# \r\n"
        "# [Columns]\r\n# 1=Time\r\n# 2=Raw X\r\n# 3=VM Freq X\r\n# \r\n";
    read_samples(header + bytes, nchans);
    read_samples(bytes, nchans);
    return 0;
}
