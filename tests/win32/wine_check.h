// What the Windows test programs share: checks counted and shown as they
// fail, and the conduit's entry points looked up by their plain names.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

inline int checks_passed = 0, checks_failed = 0;

inline void check(bool ok, const std::string& what) {
  if (ok) {
    ++checks_passed;
  } else {
    ++checks_failed;
    std::printf("FAIL %s\n", what.c_str());
  }
}

// Prints the tally and gives the program's exit status.
inline int checks_result() {
  std::printf("%d passed, %d failed\n", checks_passed, checks_failed);
  return checks_failed == 0 ? 0 : 1;
}

template <typename F>
F entry(HMODULE dll, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}
