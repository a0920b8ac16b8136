// What both systems' halves make a file's version of: the numbers the system
// keeps about it, mixed into one (FNV-1a over their bytes), so that a change
// of any of them changes the version.
#pragma once

#include <cstddef>
#include <cstdint>

inline uint64_t version_of(const uint64_t* parts, size_t n) {
  uint64_t h = 14695981039346656037ull;
  for (size_t i = 0; i < n; ++i) {
    for (int b = 0; b < 64; b += 8) {
      h ^= (parts[i] >> b) & 0xFF;
      h *= 1099511628211ull;
    }
  }
  return h;
}
