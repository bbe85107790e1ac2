// The format registry: extensions, the forwarding rule and the error texts.
#include <gtest/gtest.h>

#include <cstdio>

#include "qvfmt.h"

namespace {

TEST(FormatRegistry, ExtensionsMapToFormatsWithoutRegardToCase) {
    const std::pair<const char *, unsigned> cases[] = {
        {"a.raw", QVFMT_RAW}, {"A.RAW", QVFMT_RAW}, {"a.b.raw", QVFMT_RAW}, {"raw", 0},
        {"a.raw.x", 0},       {"a.XqV", QVFMT_XQV}, {"d.raw/a", 0},         {"a.", 0},
    };
    for (auto &[path, fmt] : cases)
        EXPECT_EQ(qvfmt_filename_to_format(path), fmt) << path;
    EXPECT_EQ(qvfmt_extension_to_format(".raw"), 0u);
    const char *ext[] = {"", "raw", "txt", "XQV", "BQV", ""};
    for (unsigned f = 0; f <= 5; f++)
        EXPECT_STREQ(qvfmt_format_to_extension(f), ext[f]);
}

TEST(FormatRegistry, FailedOpensSayWhy) {
    qvfmt_handle *h = nullptr;
    EXPECT_EQ(qvfmt_open(&h, "record.raw", 5, QVFMT_MODE_READ), -1);
    EXPECT_STREQ(qvfmt_strerr(nullptr), "[] Invalid format");
    // An identifier given wins over the extension; the adapter's reason
    // outlives its state.
    EXPECT_EQ(qvfmt_open(&h, "/nonexistent/record.txt", QVFMT_RAW, QVFMT_MODE_READ), -1);
    EXPECT_STREQ(qvfmt_strerr(nullptr), "[][QVRAW] libqvraw: I/O: ?");
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(qvfmt_close(nullptr), 0);
}

// A fake adapter whose results the test chooses.
struct fake_state {
    long result;
    int calls, err;
};

const char *fake_strerr(void *s) {
    auto *f = static_cast<fake_state *>(s);
    const char *text = f->err ? "fake failure" : "None";
    f->err = 0;
    return text;
}

long fake_read(void *s, double *, std::size_t, std::size_t) {
    auto *f = static_cast<fake_state *>(s);
    f->calls++;
    f->err = f->result < 0;
    return f->result;
}

TEST(FormatRegistry, ForwardingMarksOnlyMinusOneAsAnAdapterFailure) {
    qvfmt_ops ops{};
    ops.name = "FAKE";
    ops.strerr = fake_strerr;
    ops.read_data = fake_read;
    fake_state st{};
    qvfmt_handle h{&ops, &st, 0};
    double block[1];

    st.result = -2; // passed through, not an adapter failure
    EXPECT_EQ(qvfmt_read_data(&h, block, 1, 1), -2);
    EXPECT_EQ(h.err, 0u);
    st.result = -1;
    EXPECT_EQ(qvfmt_read_data(&h, block, 1, 1), -1);
    EXPECT_STREQ(qvfmt_strerr(&h), "[QVFMT][FAKE] fake failure");
    EXPECT_STREQ(qvfmt_strerr(&h), "[QVFMT][FAKE] None"); // the adapter's text is read once

    // An absent slot is the registry's own failure; the adapter is not called.
    int calls = st.calls;
    EXPECT_EQ(qvfmt_seek_data(&h, 0, 1, 0), -1);
    EXPECT_EQ(st.calls, calls);
    EXPECT_STREQ(qvfmt_strerr(&h), "[QVFMT] Not implemented");

    // The tag holds 15 characters: a long name loses its bracket and its end.
    ops.name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    st.err = 1;
    h.err = QVFMT_ERR_ADAPTER;
    EXPECT_STREQ(qvfmt_strerr(&h), "[QVFMT][ABCDEFGHIJKLMN fake failure");
}

} // namespace
