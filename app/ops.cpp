// The adapters' error texts.
#include "ops.h"

#include <cstdio>
#include <iterator>

namespace {

// The text of each adapter code; where the failure is a lower layer's, the
// text is a tag that the lower layer's own text follows.
struct error_text {
    const char *text; // null: the library's tag, given by the adapter
    bool tagged;      // followed by the lower layer's text
};

constexpr error_text error_texts[] = {
    {"None", false},
    {"Unsupported file mode", false},
    {nullptr, true}, // OPS_ERR_LIB
    {"conv: ", true},
    {"Unsupported filetype", false},
    {"Unsupported number of channels", false},
    {"Unsupported recording mode", false},
};
static_assert(std::size(error_texts) == OPS_ERR_COUNT);

} // namespace

const char *ops_strerr(char (&buf)[OPS_STRERR_SIZE], std::uint32_t code, const char *lib_tag,
                       const char *detail) {
    if (code >= OPS_ERR_COUNT) {
        std::snprintf(buf, sizeof buf, "Unknown error");
        return buf;
    }
    const error_text &e = error_texts[code];
    std::snprintf(buf, sizeof buf, "%s%s", e.text ? e.text : lib_tag,
                  e.tagged && detail ? detail : "");
    return buf;
}
