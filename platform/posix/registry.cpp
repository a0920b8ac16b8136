#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_file.h"

namespace {

// Where the registry is: a file, or a text held in memory.
struct registry_source {
  std::string path;
  std::string text;
  bool in_memory = false;
};

registry_source& source() {
  static registry_source* the_source = new registry_source;  // outlives every caller
  return *the_source;
}

// An open key: the values found under it when it was opened.
struct open_key {
  std::vector<std::pair<std::string, std::string>> values;
};

// A registry file is small; anything larger, or not a regular file (a FIFO
// would never end), is no registry.
constexpr uint64_t kMaxRegistryBytes = 1 << 20;

bool read_registry_file(const std::string& path, std::string* text) {
  // Not through the file layer: the registry is no file of the data set, and
  // its reads are not the ones tests count or make fail.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            static_cast<uint64_t>(st.st_size) <= kMaxRegistryBytes;
  if (ok) {
    text->resize(static_cast<size_t>(st.st_size));
    size_t at = 0;
    while (ok && at < text->size()) {
      const ssize_t got = ::read(fd, &(*text)[at], text->size() - at);
      if (got < 0 && errno == EINTR) continue;
      ok = got > 0;
      if (ok) at += static_cast<size_t>(got);
    }
  }
  ::close(fd);
  return ok;
}

// The string values of the key at path, or false when the file has no such key.
bool read_key(const std::string& path, open_key* key) {
  std::string text;
  if (source().in_memory) {
    text = source().text;
  } else if (!read_registry_file(source().path, &text)) {
    return false;
  }
  const std::string wanted = kRegistryUserRoot + path;
  bool found = false;
  for (registry_file_key& k : registry_file_keys(text)) {
    if (!registry_same_name(k.name, wanted)) continue;
    found = true;
    key->values.insert(key->values.end(), k.values.begin(), k.values.end());
  }
  return found;
}

}  // namespace

int32_t registry_use_file(const std::string& path) {
  source() = registry_source{path, "", false};
  return kRegistryOk;
}

int32_t registry_use_text(const std::string& text) {
  source() = registry_source{"", text, true};
  return kRegistryOk;
}

void registry_end_own() {}

int32_t registry_open_user_key(const char* path, registry_key* key) {
  *key = 0;
  open_key* opened = new (std::nothrow) open_key;
  if (!opened) return kRegistryNotFound;
  try {
    if (!read_key(path, opened)) {
      delete opened;
      return kRegistryNotFound;
    }
  } catch (const std::bad_alloc&) {
    delete opened;
    return kRegistryNotFound;
  }
  *key = reinterpret_cast<registry_key>(opened);
  return kRegistryOk;
}

int32_t registry_query_value(registry_key key, const char* name, void* buffer, uint32_t* size) {
  const open_key* opened = reinterpret_cast<const open_key*>(key);
  for (const auto& value : opened->values) {
    if (!registry_same_name(value.first, name)) continue;
    const uint32_t needed = static_cast<uint32_t>(value.second.size() + 1);
    const uint32_t room = *size;
    *size = needed;
    if (needed > room) return kRegistryMoreData;
    std::memcpy(buffer, value.second.c_str(), needed);
    return kRegistryOk;
  }
  return kRegistryNotFound;
}

void registry_close_key(registry_key key) {
  delete reinterpret_cast<open_key*>(key);
}
