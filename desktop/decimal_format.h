// Unsigned numbers in decimal, as the desktop file writes them: no locale, no
// library call, inline because a file holds eight of them per element.
#pragma once

#include <cstdint>
#include <cstring>

// Two digits at a time: half the divisions, which dominate a file of numbers.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline int decimal_digits(uint32_t v) {
  int n = 1;
  for (uint32_t bound = 10; n < 10 && v >= bound; bound *= 10)
    ++n;
  return n;
}

// Writes v in decimal at out (at most 10 bytes) and returns the end. Counted
// first, so that the digits go straight to their place.
inline char* format_u32(char* out, uint32_t v) {
  char* const end = out + decimal_digits(v);
  char* p = end;
  while (v >= 100) {
    const uint32_t pair = v % 100;
    v /= 100;
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * pair, 2);
  }
  if (v >= 10) {
    std::memcpy(p - 2, kDigitPairs + 2 * v, 2);
  } else {
    p[-1] = static_cast<char>('0' + v);
  }
  return end;
}
