// The format registry: extensions, the forwarding rule and the error texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qvfmt.h"

namespace {

TEST(FormatRegistry, ExtensionsMapToFormatsWithoutRegardToCase) {
    struct {
        const char *path;
        unsigned fmt;
    } cases[] = {
        {"a.raw", QVFMT_RAW},
        {"A.RAW", QVFMT_RAW},
        {"a.b.raw", QVFMT_RAW},
        {"raw", 0},
        {"a.raw.x", 0},
        {"a.XqV", QVFMT_XQV},
        {"a.txt", QVFMT_ASCII},
        {"d.raw/a", 0},
        {"a.bqv", QVFMT_BQV},
        {"a.", 0},
        {"", 0},
    };
    for (auto &c : cases)
        EXPECT_EQ(qvfmt_filename_to_format(c.path), c.fmt) << c.path;
    EXPECT_EQ(qvfmt_extension_to_format("BQV"), QVFMT_BQV);
    EXPECT_EQ(qvfmt_extension_to_format(".raw"), 0u);
    const char *ext[] = {"", "raw", "txt", "XQV", "BQV", ""};
    for (unsigned f = 0; f <= 5; f++)
        EXPECT_STREQ(qvfmt_format_to_extension(f), ext[f]);
}

TEST(FormatRegistry, FailedOpensSayWhy) {
    qvfmt_handle *h = reinterpret_cast<qvfmt_handle *>(1);
    EXPECT_EQ(qvfmt_open(&h, "record.doc", 0, QVFMT_MODE_READ), -1);
    EXPECT_EQ(h, nullptr);
    EXPECT_STREQ(qvfmt_strerr(nullptr), "[] Invalid format");
    EXPECT_EQ(qvfmt_open(&h, "record.raw", 5, QVFMT_MODE_READ), -1);
    EXPECT_STREQ(qvfmt_strerr(nullptr), "[] Invalid format");

    // An identifier given wins over the extension; the adapter's reason is
    // kept after its state is gone.
    EXPECT_EQ(qvfmt_open(&h, "/nonexistent/record.txt", QVFMT_RAW, QVFMT_MODE_READ), -1);
    EXPECT_STREQ(qvfmt_strerr(nullptr), "[][QVRAW] libqvraw: I/O: ?");
    EXPECT_EQ(qvfmt_open(&h, "/nonexistent/record.raw", 0, 0), -1);
    EXPECT_STREQ(qvfmt_strerr(nullptr), "[][QVRAW] Unsupported file mode");
    EXPECT_EQ(qvfmt_close(nullptr), 0);
}

// A fake adapter whose results the tests choose.
struct fake_state {
    long result;
    int calls;
    int err;
};

const char *fake_strerr(void *s) {
    static char buf[64];
    auto *f = static_cast<fake_state *>(s);
    std::snprintf(buf, sizeof buf, "%s", f->err ? "fake failure" : "None");
    f->err = 0;
    return buf;
}

long fake_read(void *s, double *, std::size_t, std::size_t) {
    auto *f = static_cast<fake_state *>(s);
    f->calls++;
    f->err = f->result < 0;
    return f->result;
}

qvfmt_ops fake_ops(const char *name) {
    qvfmt_ops ops{};
    ops.name = name;
    ops.strerr = fake_strerr;
    ops.read_data = fake_read;
    return ops;
}

TEST(FormatRegistry, ForwardingMarksOnlyMinusOneAsAnAdapterFailure) {
    qvfmt_ops ops = fake_ops("FAKE");
    fake_state st{};
    qvfmt_handle h{&ops, &st, 0};
    double block[4];

    st.result = 3;
    EXPECT_EQ(qvfmt_read_data(&h, block, 4, 1), 3);
    EXPECT_EQ(h.err, 0u);
    st.result = -2; // passed through, not an adapter failure
    EXPECT_EQ(qvfmt_read_data(&h, block, 4, 1), -2);
    EXPECT_EQ(h.err, 0u);
    st.result = -1;
    EXPECT_EQ(qvfmt_read_data(&h, block, 4, 1), -1);
    EXPECT_STREQ(qvfmt_strerr(&h), "[QVFMT][FAKE] fake failure");
    // The adapter's text is read once; the registry's code stays.
    EXPECT_STREQ(qvfmt_strerr(&h), "[QVFMT][FAKE] None");
    // A success does not clear a recorded failure.
    st.result = 1;
    EXPECT_EQ(qvfmt_read_data(&h, block, 4, 1), 1);
    EXPECT_EQ(h.err, QVFMT_ERR_ADAPTER);

    // An absent slot is the registry's own failure; the adapter is not called.
    int calls = st.calls;
    EXPECT_EQ(qvfmt_seek_data(&h, 0, 1, 0), -1);
    EXPECT_EQ(qvfmt_write_header(&h, nullptr), -1);
    EXPECT_EQ(st.calls, calls);
    EXPECT_STREQ(qvfmt_strerr(&h), "[QVFMT] Not implemented");
    h.err = 99;
    EXPECT_STREQ(qvfmt_strerr(&h), "[QVFMT] Unknown error");
}

TEST(FormatRegistry, TextsAreCutToTheirBuffers) {
    // The tag holds 15 characters: a 14-character name loses its bracket.
    qvfmt_ops ops = fake_ops("ABCDEFGHIJKLMN");
    fake_state st{-1, 0, 0};
    qvfmt_handle h{&ops, &st, 0};
    double block[1];
    qvfmt_read_data(&h, block, 1, 1);
    EXPECT_STREQ(qvfmt_strerr(&h), "[QVFMT][ABCDEFGHIJKLMN fake failure");

    qvfmt_ops longname = fake_ops("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    h.ops = &longname;
    st.err = 1;
    EXPECT_STREQ(qvfmt_strerr(&h), "[QVFMT][ABCDEFGHIJKLMN fake failure");
}

} // namespace
