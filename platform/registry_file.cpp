#include "platform/registry_file.h"

#include <sstream>

namespace {

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
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

}  // namespace

bool registry_same_name(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string registry_file_text(const std::string& key_path, const std::string& name,
                               const std::string& value) {
  return "REGEDIT4\r\n\r\n[" + std::string(kRegistryUserRoot) + key_path + "]\r\n" + quote(name) +
         "=" + quote(value) + "\r\n\r\n";
}

std::vector<registry_file_key> registry_file_keys(const std::string& text) {
  std::vector<registry_file_key> keys;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      const size_t close = line.rfind(']');
      keys.push_back({close == std::string::npos ? "" : line.substr(1, close - 1), {}});
      continue;
    }
    if (keys.empty() || line.empty() || line[0] != '"') continue;
    size_t at = 1;
    std::string name, value;
    if (!unquote(line, &at, &name) || line.compare(at, 2, "=\"") != 0) continue;
    at += 2;
    if (!unquote(line, &at, &value)) continue;
    keys.back().values.emplace_back(name, value);
  }
  return keys;
}
