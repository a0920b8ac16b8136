#include "hotsync/services/handheld_user.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "hotsync/services/atomic_file.h"
#include "platform/file.h"
#include "platform/sync_manager.h"

namespace {

constexpr size_t kUserNameOffset = 8;
constexpr size_t kUserNameSize = 64;

}  // namespace

bool read_handheld_user(const std::string& folder, handheld_user* user, std::string* why) {
  const std::string path = folder + "/" + kHandheldUserFile;
  *user = handheld_user{};
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (!file_exists(path.c_str())) return true;
    *why = path + ": cannot be read";
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    bool ok = true;
    if (key == "name") {
      user->name = value;
    } else if (key == "id") {
      ok = parse_u32(value, &user->id);
    } else if (key == "last_sync") {
      ok = parse_u32(value, &user->last_sync);
    }
    if (!ok) {
      *why = path + ", line " + std::to_string(number) + ": " + key + " is not a number";
      return false;
    }
  }
  return true;
}

bool write_handheld_user(const std::string& folder, const handheld_user& user, std::string* why) {
  std::ostringstream text;
  text << "# The user of this handheld, as the HotSync Manager knows it.\n"
       << "name=" << user.name << "\n"
       << "id=" << user.id << "\n"
       << "# last completed HotSync, Unix seconds (0: never)\n"
       << "last_sync=" << user.last_sync << "\n";
  const std::string bytes = text.str();
  const std::string path = folder + "/" + kHandheldUserFile;
  int error = replace_file_contents(path, bytes.data(), bytes.size());
  if (error != 0) {
    *why = path + ": " + file_error_text(error);
    return false;
  }
  return true;
}

bool parse_u32(const std::string& text, uint32_t* value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > 0xFFFFFFFFu) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

void fill_user_record(const handheld_user& user, uint8_t* record) {
  std::memset(record, 0, kSyncUserRecordSize);
  std::memcpy(record, &user.id, sizeof user.id);
  std::strncpy(reinterpret_cast<char*>(record + kUserNameOffset), user.name.c_str(),
               kUserNameSize - 1);
  std::memcpy(record + kSyncUserLastSyncOffset, &user.last_sync, sizeof user.last_sync);
}
