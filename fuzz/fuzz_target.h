// What every fuzz target defines: one input in, any finding is a crash (a
// sanitizer report or an abort on a broken invariant).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Aborts with a message when an invariant does not hold: the fuzzer keeps
// the input that did it.
#define FUZZ_CHECK(condition)                                                                 \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)

// A scratch file for targets that must go through a file; in memory where the
// system offers it.
const char* fuzz_scratch_path(const char* name);
// Writes the bytes to the file at path, whole.
void fuzz_write_file(const char* path, const uint8_t* data, size_t size);
