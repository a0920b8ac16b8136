#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/registry_file.h"
#include "platform/registry.h"

namespace {

constexpr char kUserRoot[] = "HKEY_CURRENT_USER\\";

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

bool same_name(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Reads a quoted .reg string starting after its opening quote; false when it
// does not end on this line.
bool unquote(const std::string& line, size_t* at, std::string* out) {
  out->clear();
  for (size_t i = *at; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      out->push_back(line[++i]);
    } else if (line[i] == '"') {
      *at = i + 1;
      return true;
    } else {
      out->push_back(line[i]);
    }
  }
  return false;
}

std::string quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

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
  std::istringstream in;
  if (source().in_memory) {
    in.str(source().text);
  } else {
    std::string text;
    if (!read_registry_file(source().path, &text)) return false;
    in.str(text);
  }
  const std::string wanted = kUserRoot + path;
  std::string line;
  bool found = false, inside = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      size_t close = line.rfind(']');
      inside = close != std::string::npos && same_name(line.substr(1, close - 1), wanted);
      found = found || inside;
      continue;
    }
    if (!inside || line.empty() || line[0] != '"') continue;
    size_t at = 1;
    std::string name, value;
    if (!unquote(line, &at, &name) || line.compare(at, 2, "=\"") != 0) continue;
    at += 2;
    if (!unquote(line, &at, &value)) continue;
    key->values.emplace_back(name, value);
  }
  return found;
}

}  // namespace

void registry_use_file(const std::string& path) {
  source() = registry_source{path, "", false};
}

void registry_use_text(const std::string& text) {
  source() = registry_source{"", text, true};
}

std::string registry_file_text(const std::string& key_path, const std::string& name,
                               const std::string& value) {
  return "REGEDIT4\r\n\r\n[" + std::string(kUserRoot) + key_path + "]\r\n" + quote(name) + "=" +
         quote(value) + "\r\n\r\n";
}

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
    if (!same_name(value.first, name)) continue;
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
