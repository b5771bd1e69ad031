// Marks a hot loop to be compiled for AVX-512, for AVX2 and for the baseline processor;
// the program picks one at load time by what the processor offers. Elsewhere than on
// x86-64 with GCC the loop is compiled once for the target (Clang cannot clone function
// templates).
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VL_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define VL_VECTOR_CLONES
#endif
