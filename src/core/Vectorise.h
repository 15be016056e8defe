// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Loops that touch every byte of a book get copies compiled for AVX-512 and AVX2, chosen when the program starts on a
// processor that has it; other processors run the baseline copy.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define DAYVELL_VECTOR_CLONES __attribute__((target_clones("arch=skylake-avx512", "avx2", "default")))
#else
#define DAYVELL_VECTOR_CLONES
#endif
