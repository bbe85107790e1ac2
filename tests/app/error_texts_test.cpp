// Every error code of the format layer has a text of its own: the
// registry's, the adapters' and each header conversion's codes map to
// non-empty texts, distinct within their table, and a code beyond the table
// reads "Unknown error". (A text pasted under the wrong code would show as
// a repeat.)
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "conv-qv5k.h"
#include "conv-qvascii.h"
#include "qvfmt.h"
#define QVFMT_REGISTRY // the adapters' shared table sits in the registry's own header
#include "ops.h"

namespace {

void expect_distinct(const std::vector<std::string> &texts) {
    std::set<std::string> seen;
    for (std::size_t code = 0; code < texts.size(); code++) {
        EXPECT_NE(texts[code], "") << "code " << code;
        EXPECT_NE(texts[code], "Unknown error") << "code " << code;
        EXPECT_TRUE(seen.insert(texts[code]).second) << "code " << code << ": " << texts[code];
    }
}

TEST(ErrorTexts, EveryCodeOfEveryLayerHasATextOfItsOwn) {
    std::vector<std::string> registry; // codes 0 to 3; 4 is the adapter's text
    qvfmt_handle h{};
    for (std::uint32_t code = QVFMT_ERR_NONE; code < QVFMT_ERR_ADAPTER; code++) {
        h.err = code;
        registry.push_back(qvfmt_strerr(&h));
    }
    expect_distinct(registry);
    h.err = QVFMT_ERR_ADAPTER + 1;
    EXPECT_STREQ(qvfmt_strerr(&h), "[QVFMT] Unknown error");

    std::vector<std::string> adapters;
    char buf[OPS_STRERR_SIZE];
    for (std::uint32_t code = OPS_ERR_NONE; code < OPS_ERR_COUNT; code++)
        adapters.push_back(ops_strerr(buf, code, "libqvx: ", "the library's text"));
    expect_distinct(adapters);
    EXPECT_EQ(adapters[OPS_ERR_LIB], "libqvx: the library's text");
    EXPECT_EQ(adapters[OPS_ERR_CONV], "conv: the library's text");
    EXPECT_STREQ(ops_strerr(buf, OPS_ERR_COUNT, "libqvx: ", ""), "Unknown error");

    // The conversions' texts are read once: the record is reset.
    auto conv_texts = [](const char *(*strerror)(std::uint32_t *), std::uint32_t count,
                         std::uint32_t unassigned) {
        std::vector<std::string> texts;
        for (std::uint32_t code = 0; code < count; code++) {
            std::uint32_t err = code;
            std::string text = strerror(&err);
            EXPECT_EQ(err, 0u) << "code " << code;
            if (code == unassigned)
                EXPECT_EQ(text, "Unknown error");
            else
                texts.push_back(text);
        }
        std::uint32_t err = count;
        EXPECT_STREQ(strerror(&err), "Unknown error");
        return texts;
    };
    expect_distinct(conv_texts(conv_qvascii_strerror, CONV_QVASCII_ERR_COUNT, UINT32_MAX));
    expect_distinct(conv_texts(conv_qv5k_strerror, CONV_QV5K_ERR_COUNT, 11));
}

} // namespace
