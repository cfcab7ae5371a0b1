#pragma once

// Marks a function whose loops the compiler vectorises: it is built twice,
// for AVX2 and for the baseline processor, and the loader picks one. The
// sanitizer builds keep the baseline only, since the loader's choice runs
// before the sanitizers' own start-up.
#if defined(LUMORA_NO_TARGET_CLONES)
#define LUMORA_VECTORISED
#else
#define LUMORA_VECTORISED __attribute__((target_clones("avx2", "default")))
#endif
