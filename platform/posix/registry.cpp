#include <strings.h>

#include <cstring>
#include <fstream>
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

// The string values of the key at path, or false when the file has no such key.
bool read_key(const std::string& path, open_key* key) {
  std::ifstream file;
  std::istringstream text;
  if (source().in_memory) {
    text.str(source().text);
  } else {
    file.open(source().path, std::ios::binary);
    if (!file) return false;
  }
  std::istream& in = source().in_memory ? static_cast<std::istream&>(text) : file;
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
