#include "hotsync/memory_policy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/memory.h"

// The sanitizer's allocator takes no glibc setting: nothing to gain there.
#if defined(__GLIBC__) && defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#define QV_HUGE_PAGES_BY_GLIBC 1
#include <sys/auxv.h>

namespace {

// The file the mapping at address `here` comes from, as /proc/self/maps
// names it; empty when none does.
std::string file_mapped_at(const void* here) {
  std::string path;
  std::FILE* maps = std::fopen("/proc/self/maps", "r");
  if (!maps) return path;
  const unsigned long long address = reinterpret_cast<uintptr_t>(here);
  char line[4096 + 256];
  while (std::fgets(line, sizeof line, maps)) {
    unsigned long long from = 0, to = 0;
    int name_at = 0;
    if (std::sscanf(line, "%llx-%llx %*s %*s %*s %*s %n", &from, &to, &name_at) < 2 ||
        address < from || address >= to) {
      continue;
    }
    if (name_at > 0) path = line + name_at;
    while (!path.empty() && (path.back() == '\n' || path.back() == ' '))
      path.pop_back();
    break;
  }
  std::fclose(maps);
  return path;
}

// Whether starting /proc/self/exe starts this program again: not when the
// dynamic loader was started by hand with it, nor under a tool that runs
// it (valgrind), where /proc/self/exe is the loader or the tool.
bool exe_is_this_program() {
  const std::string mine = file_mapped_at(reinterpret_cast<const void*>(&memory_policy_start));
  struct stat exe, own;
  return !mine.empty() && stat("/proc/self/exe", &exe) == 0 && stat(mine.c_str(), &own) == 0 &&
         exe.st_dev == own.st_dev && exe.st_ino == own.st_ino;
}

// Whether the GLIBC_TUNABLES value (name=value entries separated by ':')
// sets `name`; one merely containing it, another tunable, does not.
bool names_tunable(const char* tunables, const char* name) {
  const size_t length = std::strlen(name);
  for (const char* entry = tunables; entry; entry = std::strchr(entry, ':')) {
    if (*entry == ':') ++entry;
    if (std::strncmp(entry, name, length) == 0 && entry[length] == '=') return true;
  }
  return false;
}

// An environment variable as it was, to be put back.
struct saved_variable {
  explicit saved_variable(const char* name) : name(name) {
    const char* value = std::getenv(name);
    given = value != nullptr;
    if (given) this->value = value;
  }
  void put_back() const {
    if (given) {
      setenv(name, value.c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  const char* name;
  bool given = false;
  std::string value;
};

}  // namespace
#endif

void memory_policy_start(char** argv) {
#ifdef QV_HUGE_PAGES_BY_GLIBC
  constexpr const char* kTunable = "glibc.malloc.hugetlb";
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  if (tunables && names_tunable(tunables, kTunable)) return;  // settled: ours, or the user's
  // A program started with privileges (setuid, capabilities) has the setting
  // taken out again by glibc: it would start itself for ever.
  if (getauxval(AT_SECURE) != 0 || !huge_pages_pay() || !exe_is_this_program()) return;
  const saved_variable tunables_given("GLIBC_TUNABLES");
  const saved_variable answer_given(kHugePagesVariable);
  std::string value = tunables && *tunables ? std::string(tunables) + ":" : std::string();
  value += kTunable;
  value += "=1";  // madvise(MADV_HUGEPAGE) on what malloc takes from the system
  // The answer goes with it, so that the conduit's slabs follow it rather
  // than measure again, perhaps otherwise.
  if (setenv("GLIBC_TUNABLES", value.c_str(), 1) == 0 && setenv(kHugePagesVariable, "1", 1) == 0)
    execv("/proc/self/exe", argv);
  // Still here: no /proc, say. The settings would only confuse a child.
  tunables_given.put_back();
  answer_given.put_back();
#else
  (void)argv;
#endif
}
