// The raw header's timestamp type, on its own so that the ASCII library can
// read and write record times without seeing anything else of libqvraw.
#pragma once

#include <cstdint>

#if UINTPTR_MAX > 0xFFFFFFFFu
#define QVRAW_LP64 1
#else
#define QVRAW_LP64 0
#endif

// Seconds since 1970-01-01 00:00:00 UTC and nanoseconds within the second.
// 16 bytes on x86-64 (8 + 4 + 4 padding), 8 bytes on 32-bit x86.
struct qvraw_timestamp {
    long sec;
    std::int32_t nsec;
#if QVRAW_LP64
    std::int32_t pad_;
#endif
};
static_assert(sizeof(qvraw_timestamp) == (QVRAW_LP64 ? 16 : 8));
