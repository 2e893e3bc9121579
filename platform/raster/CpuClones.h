#pragma once
// A loop over pixels built twice, for the baseline x86-64 and for AVX2, the processor picking
// the build at load time: twice the samples per instruction where the compiler goes wide, and
// integer arithmetic, so that every build gives the same bytes. With GCC only.
// (ThreadSanitizer's instrumented load-time chooser would run before its runtime is up.)
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define QUILLANE_PIXEL_LOOP [[gnu::target_clones("avx2", "default")]]
#else
#define QUILLANE_PIXEL_LOOP
#endif
