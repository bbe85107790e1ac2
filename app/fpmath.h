// Included last in a source file whose floating-point results must be the
// same in the 32-bit build as in the 64-bit one. The 32-bit build computes
// doubles on the x87 unit in extended precision and rounds them to double
// afterwards; rounded twice, a product or a quotient can end one bit away
// from the 64-bit build's. SSE2 arithmetic rounds once, as on x86-64. The
// functions defined after this point use it.
#pragma once

#if defined(__i386__) && !defined(__clang__)
#pragma GCC target("sse2", "fpmath=sse")
#endif
