#include "conduit/sync_record.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/file.h"
#include "platform/file_replacement.h"

namespace {

// More than any number of handheld users needs; a larger file is not ours.
constexpr uint64_t kMaxRecordBytes = 64 * 1024;
constexpr char kHeading[] =
    "# Quorvia Conduit: the last HotSync it carried through, per handheld user.\n"
    "# user id, time (Unix seconds), user name\n";

std::string line_name(const char* name) {
  std::string s(name);
  for (char& c : s) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return s;
}

// Whether a line of the record ("ID TIME NAME") is the user's; *time from it.
bool line_of_user(const std::string& line, const sync_record_user& user, uint32_t* time) {
  unsigned long id = 0, t = 0;
  int name_at = 0;
  if (std::sscanf(line.c_str(), "%lu %lu %n", &id, &t, &name_at) != 2 || name_at == 0) return false;
  if (id > 0xFFFFFFFFul || t > 0xFFFFFFFFul) return false;
  const bool same = id != 0 && user.id != 0
                        ? id == user.id
                        : line.compare(name_at, std::string::npos, line_name(user.name)) == 0;
  if (same) *time = static_cast<uint32_t>(t);
  return same;
}

// The record's text into *text: 0, or the error that kept it from being read
// whole (a missing file is an empty record).
int read_record(const std::string& path, std::string* text) {
  text->clear();
  os_file f;
  int error = file_open_read(path.c_str(), &f);
  if (error != 0) return file_error_is_missing(error) ? 0 : error;
  uint64_t size = 0;
  error = file_size(f, &size);
  if (error == 0 && size > kMaxRecordBytes) error = EFBIG;
  if (error == 0) {
    text->resize(static_cast<size_t>(size));
    size_t at = 0, got = 0;
    while (error == 0 && at < text->size()) {
      error = file_read(f, &(*text)[at], text->size() - at, &got);
      if (error == 0 && got == 0) break;
      at += got;
    }
    text->resize(at);
  }
  file_close(f);
  return error;
}

template <typename Visit>
void each_line(const std::string& text, Visit visit) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    visit(line);
    start = end + 1;
  }
}

}  // namespace

int read_last_complete_sync(const char* data_dir, const sync_record_user& user, uint32_t* time) {
  try {
    std::string record;
    if (read_record(std::string(data_dir) + kConduitSyncRecordFile, &record) != 0) return 0;
    bool found = false;
    each_line(record, [&](const std::string& line) {
      if (!found && line[0] != '#') found = line_of_user(line, user, time);
    });
    return found ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int write_last_complete_sync(const char* data_dir, const sync_record_user& user, uint32_t time) {
  try {
    const std::string dir(data_dir);
    // The other users' lines are kept: a record that cannot be read whole is
    // left as it is rather than written without them.
    std::string record;
    int error = read_record(dir + kConduitSyncRecordFile, &record);
    if (error != 0) return error;
    std::string text = kHeading;
    each_line(record, [&](const std::string& line) {
      uint32_t ignored;
      if (line.empty() || line[0] == '#' || line_of_user(line, user, &ignored)) return;
      text += line + "\n";
    });
    char mine[128];
    std::snprintf(mine, sizeof mine, "%lu %lu ", static_cast<unsigned long>(user.id),
                  static_cast<unsigned long>(time));
    text += mine + line_name(user.name) + "\n";

    const std::string tmp = dir + kConduitSyncRecordTmpFile;
    file_replacement r;
    error = file_replacement_begin(&r, tmp.c_str());
    if (error != 0) return error;
    error = file_replacement_write(&r, text.data(), text.size());
    if (error == 0) error = file_replacement_commit(&r, (dir + kConduitSyncRecordFile).c_str());
    if (error != 0) file_replacement_abandon(&r);
    return error;
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
}
