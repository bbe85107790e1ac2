// The texts of a layer's codes: each code has one, none is empty, and no
// two codes of the layer share one (a text pasted under the wrong code
// would otherwise go unnoticed).
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <span>
#include <string>

inline void expect_own_text_per_code(const char *layer, std::span<const char *const> texts) {
    std::set<std::string> seen;
    for (std::size_t code = 0; code < texts.size(); code++) {
        const std::string text = texts[code] ? texts[code] : "";
        EXPECT_FALSE(text.empty()) << layer << " code " << code;
        EXPECT_TRUE(seen.insert(text).second)
            << layer << " code " << code << ": \"" << text << "\" again";
    }
}
