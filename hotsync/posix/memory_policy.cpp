#include "hotsync/memory_policy.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

void memory_policy_start(char** argv) {
#if defined(__GLIBC__) && defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
  // (The sanitizer's allocator takes no glibc setting: nothing to gain there.)
  constexpr const char* kTunable = "glibc.malloc.hugetlb";
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  if (tunables && std::strstr(tunables, kTunable)) return;  // settled: ours, or the user's
  std::string value = tunables && *tunables ? std::string(tunables) + ":" : std::string();
  value += kTunable;
  value += "=1";  // madvise(MADV_HUGEPAGE) on what malloc takes from the system
  if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) return;
  execv("/proc/self/exe", argv);
  // Still here: no /proc, say. The setting would only confuse a child.
  if (tunables) {
    setenv("GLIBC_TUNABLES", tunables, 1);
  } else {
    unsetenv("GLIBC_TUNABLES");
  }
#else
  (void)argv;
#endif
}
