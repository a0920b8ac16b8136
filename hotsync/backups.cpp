#include "hotsync/backups.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "hotsync/host_paths.h"
#include "hotsync/services/atomic_file.h"
#include "hotsync/services/handheld_user.h"
#include "platform/file.h"
#include "platform/file_replacement.h"

namespace fs = std::filesystem;

namespace {

constexpr char kBackupsFolder[] = "backups";
constexpr char kBackupInfoFile[] = "backup.conf";
constexpr char kDesktopCopy[] = "elements.xml";

bool exists(const std::string& path) {
  std::error_code unusable;
  return fs::exists(fs_path(path), unusable);
}

// The whole of a small file; false when it cannot be read or is no regular
// file (never waiting on a FIFO).
bool read_small_file(const std::string& path, std::string* text) {
  os_file f = kNoFile;
  if (file_open_read(path.c_str(), &f) != 0) return false;
  char buffer[4096];
  size_t got = 0;
  int error = 0;
  while ((error = file_read(f, buffer, sizeof buffer, &got)) == 0 && got > 0 &&
         text->size() < sizeof buffer * 16)
    text->append(buffer, got);
  file_close(f);
  return error == 0;
}

// Reads what a backup says of itself; one without backup.conf is taken for
// interrupted and dated by its folder.
void read_info(const std::string& folder, backup_info* info) {
  info->has_desktop = exists(folder + "/" + kDesktopCopy);
  info->has_handheld = exists(handheld_database_file(folder));
  std::string text;
  if (!read_small_file(folder + "/" + kBackupInfoFile, &text)) {
    file_info folder_info;
    info->complete = false;
    info->time = file_info_at(folder.c_str(), true, &folder_info) == 0 ? folder_info.modified : 0;
    info->reason = "incomplete: interrupted before " + std::string(kBackupInfoFile);
    return;
  }
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos || line[0] == '#') continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    uint32_t number = 0;
    const bool is_number = parse_u32(value, &number);
    if (key == "time" && is_number) info->time = number;
    if (key == "reason") info->reason = value;
    if (key == "desktop_stamp") info->desktop_stamp = value;
    if (key == "handheld_stamp") info->handheld_stamp = value;
    if (key == "desktop_elements" && is_number) info->desktop_elements = number;
    if (key == "handheld_elements" && is_number) info->handheld_elements = number;
    if (key == "last_sync" && is_number) {
      info->has_last_sync = true;
      info->last_sync = number;
    }
  }
}

}  // namespace

std::string backup_side_file(const backup_info& backup, bool desktop) {
  return desktop ? backup.folder + "/" + kDesktopCopy : handheld_database_file(backup.folder);
}

namespace {

// A file's size and the time of its last write; "" for no regular file.
std::string stamp_of(const std::string& path) {
  file_identity file{};
  if (file_identity_at(path.c_str(), &file) != 0 || !file.regular) return "";
  return std::to_string(file.size) + "/" + std::to_string(file.written);
}

bool write_info(const std::string& folder, const backup_info& info, std::string* why) {
  std::ostringstream text;
  text << "# A backup made by hotsync; the files beside are the sides as they were.\n"
       << "time=" << info.time << "\nreason=" << info.reason << "\n";
  if (info.desktop_elements >= 0) text << "desktop_elements=" << info.desktop_elements << "\n";
  if (info.handheld_elements >= 0) text << "handheld_elements=" << info.handheld_elements << "\n";
  if (info.has_last_sync) text << "last_sync=" << info.last_sync << "\n";
  const std::string desktop_stamp = stamp_of(backup_side_file(info, true));
  const std::string handheld_stamp = stamp_of(backup_side_file(info, false));
  if (!desktop_stamp.empty()) text << "desktop_stamp=" << desktop_stamp << "\n";
  if (!handheld_stamp.empty()) text << "handheld_stamp=" << handheld_stamp << "\n";
  const std::string bytes = text.str();
  if (replace_file_contents(folder + "/" + kBackupInfoFile, bytes.data(), bytes.size()) != 0) {
    *why = "cannot write " + folder + "/" + kBackupInfoFile;
    return false;
  }
  return true;
}

bool same_file(const file_identity& a, const file_identity& b) {
  return a.volume == b.volume && a.index == b.index;
}

// Keeps the side at `from` in the backup as `to`: with second_name, under a
// second name where it is a regular file with no other name (a name the user
// gave it elsewhere would share the backup's file after the HotSync);
// otherwise it is a copy to come.
kept_as keep_side(const std::string& from, const std::string& to, bool second_name) {
  file_identity side{};
  if (second_name && file_identity_at(from.c_str(), &side) == 0 && side.regular &&
      side.names == 1 && file_link(from.c_str(), to.c_str()) == 0) {
    // Another file may have been put at `from` between the two steps.
    file_identity kept{};
    if (file_identity_at(to.c_str(), &kept) == 0 && same_file(kept, side)) {
      return kept_as::second_name;
    }
    file_remove(to.c_str());
  }
  return kept_as::copy_to_come;
}

}  // namespace

bool copy_file_safely(const std::string& from, const std::string& to, std::string* why,
                      bool keep_write_time) {
  os_file in = kNoFile;
  int error = file_open_read(from.c_str(), &in);
  if (error != 0) {
    *why = "cannot read " + from + ": " + file_error_text(error);
    return false;
  }
  const std::string tmp = to + ".tmp";
  file_replacement out;
  error = file_replacement_begin(&out, tmp.c_str());
  if (error != 0) {
    file_close(in);
    *why = "cannot write " + tmp + ": " + file_error_text(error);
    return false;
  }
  // Inside the system where it can (a clone, where the file system has
  // them). Whatever that left, failing or not, goes through a buffer of ours,
  // whose reads and writes tell which file failed.
  uint64_t size = 0, at = 0;
  if (file_size(in, &size) == 0) file_copy_range(in, 0, size, out.file, &at);
  bool read_failed = false;
  std::vector<char> buffer;
  while (error == 0) {
    if (buffer.empty()) buffer.resize(1 << 20);
    size_t got = 0;
    error = file_read_at(in, at, buffer.data(), buffer.size(), &got);
    if (error != 0) read_failed = true;
    if (error != 0 || got == 0) break;
    at += got;
    error = file_replacement_write(&out, buffer.data(), got);
  }
  if (error == 0 && keep_write_time) error = file_copy_write_time(in, out.file);
  file_close(in);
  if (error == 0) error = file_replacement_commit(&out, to.c_str());
  if (error != 0) {
    file_replacement_abandon(&out);
    *why = (read_failed ? "cannot read " + from : "cannot write " + to) + ": " +
           file_error_text(error);
    return false;
  }
  return true;
}

bool begin_backup(const std::string& handheld, const std::string& desktop_file,
                  const std::string& reason, backup_info* made, std::string* why,
                  second_names_for second_names) {
  if (!backups_folder_usable(handheld, why)) return false;
  const std::string root = handheld + "/" + kBackupsFolder;
  std::error_code error;
  fs::create_directories(fs_path(root), error);
  const std::time_t now = std::time(nullptr);
  backup_info info;
  info.time = now;
  info.reason = reason;
  // Restoring this backup puts its sides back to this time: with a later one
  // the next HotSync would take what they lack for deleted since.
  handheld_user user;
  std::string unreadable;  // a backup without the time restores to "never"
  info.has_last_sync = read_handheld_user(handheld, &user, &unreadable);
  info.last_sync = user.last_sync;
  // The folder is made new: one left by a HotSync in the same second, or by
  // a clock that has since been set back, is never written into.
  bool made_new = false;
  for (int n = 1; !made_new; ++n) {
    info.id = n == 1 ? time_id(now) : time_id(now) + "-" + std::to_string(n);
    info.folder = root + "/" + info.id;
    made_new = fs::create_directory(fs_path(info.folder), error);
    if (error) {
      *why = "cannot make " + info.folder + ": " + error.message();
      return false;
    }
  }
  info.desktop_kept =
      !desktop_file.empty() && exists(desktop_file)
          ? keep_side(desktop_file, backup_side_file(info, true), second_names.desktop)
          : kept_as::nothing;
  info.handheld_kept = exists(handheld_database_file(handheld))
                           ? keep_side(handheld_database_file(handheld),
                                       backup_side_file(info, false), second_names.handheld)
                           : kept_as::nothing;
  *made = info;
  // Copies take long: the HotSync's reading goes on meanwhile.
  return second_names.desktop || second_names.handheld ||
         copy_backup_sides(handheld, desktop_file, made, why);
}

// Whether the side at `side` and the backup's `kept` are one file.
static bool shares_file(const std::string& side, const std::string& kept) {
  file_identity a{}, b{};
  return file_identity_at(side.c_str(), &a) == 0 && file_identity_at(kept.c_str(), &b) == 0 &&
         a.regular && same_file(a, b);
}

// Each side of a backup being made: how it is kept, the side, its place in
// the backup.
struct side_in_backup {
  kept_as* kept;
  std::string side, in_backup;
};
static std::array<side_in_backup, 2> sides_of(const std::string& handheld,
                                              const std::string& desktop_file, backup_info* made) {
  return {side_in_backup{&made->desktop_kept, desktop_file, backup_side_file(*made, true)},
          side_in_backup{&made->handheld_kept, handheld_database_file(handheld),
                         backup_side_file(*made, false)}};
}

void check_second_names(const std::string& handheld, const std::string& desktop_file,
                        backup_info* made) {
  for (const auto& s : sides_of(handheld, desktop_file, made)) {
    if (*s.kept != kept_as::second_name || shares_file(s.side, s.in_backup)) continue;
    file_remove(s.in_backup.c_str());
    *s.kept = kept_as::copy_to_come;
  }
}

bool heal_shared_backups(const std::string& handheld, const std::string& desktop_file,
                         std::string* why) {
  std::vector<backup_info> all;
  std::string unlisted;  // a backups folder that cannot be listed refuses the HotSync anyway
  if (!list_backups(handheld, &all, &unlisted)) return true;
  bool ok = true;
  for (const backup_info& b : all) {
    const std::pair<std::string, std::string> sides[] = {
        {desktop_file, backup_side_file(b, true)},
        {handheld_database_file(handheld), backup_side_file(b, false)}};
    for (const auto& s : sides) {
      if (!s.first.empty() && shares_file(s.first, s.second) &&
          !copy_file_safely(s.first, s.second, why, true)) {
        ok = false;
      }
    }
  }
  return ok;
}

bool copy_backup_sides(const std::string& handheld, const std::string& desktop_file,
                       backup_info* made, std::string* why) {
  bool ok = true;
  for (const auto& s : sides_of(handheld, desktop_file, made)) {
    if (!ok || *s.kept != kept_as::copy_to_come) continue;
    ok = copy_file_safely(s.side, s.in_backup, why, true);
    *s.kept = kept_as::copy;
  }
  if (!ok) {
    abandon_backup(*made);
    made->desktop_kept = made->handheld_kept = kept_as::nothing;
    return false;
  }
  made->has_desktop = made->desktop_kept != kept_as::nothing;
  made->has_handheld = made->handheld_kept != kept_as::nothing;
  return true;
}

bool settle_second_names(const std::string& handheld, const std::string& desktop_file,
                         backup_info* made, std::string* why) {
  bool ok = true;
  for (const auto& s : sides_of(handheld, desktop_file, made)) {
    if (*s.kept != kept_as::second_name) continue;
    if (shares_file(s.side, s.in_backup) && !copy_file_safely(s.side, s.in_backup, why, true)) {
      ok = false;
      continue;
    }
    *s.kept = kept_as::copy;
  }
  return ok;
}

bool backup_side_written_since(const backup_info& backup, bool desktop) {
  const std::string& then = desktop ? backup.desktop_stamp : backup.handheld_stamp;
  return !then.empty() && stamp_of(backup_side_file(backup, desktop)) != then;
}

bool end_backup(const std::string& handheld, int64_t desktop_count, int64_t handheld_count,
                int keep, backup_info* made, std::string* why) {
  made->desktop_elements = desktop_count;
  made->handheld_elements = handheld_count;
  if (!write_info(made->folder, *made, why)) {
    abandon_backup(*made);
    return false;
  }
  prune_backups(handheld, keep, made->id);
  return true;
}

void abandon_backup(const backup_info& begun) {
  std::error_code error;
  fs::remove_all(fs_path(begun.folder), error);
}

bool make_backup(const std::string& handheld, const std::string& desktop_file,
                 int64_t desktop_count, int64_t handheld_count, const std::string& reason, int keep,
                 backup_info* made, std::string* why) {
  backup_info info;
  if (!begin_backup(handheld, desktop_file, reason, &info, why) ||
      !end_backup(handheld, desktop_count, handheld_count, keep, &info, why)) {
    return false;
  }
  if (made) *made = info;
  return true;
}

void prune_backups(const std::string& handheld, int keep, const std::string& kept) {
  if (keep < 0) return;
  std::vector<backup_info> others;
  std::string ignored;  // what cannot be listed is not removed
  if (!list_backups(handheld, &others, &ignored)) return;
  size_t room = static_cast<size_t>(keep);
  const auto fresh = std::find_if(others.begin(), others.end(),
                                  [&](const backup_info& b) { return b.id == kept; });
  if (fresh != others.end()) {
    others.erase(fresh);
    if (room > 0) --room;
  }
  std::error_code error;
  for (size_t i = 0; others.size() - i > room; ++i) {
    // backup.conf goes first: a removal stopped half-way leaves a backup that
    // is listed as interrupted and never restored, not one that seems whole
    // and would put back a side it no longer has as a missing one.
    fs::remove(fs_path(others[i].folder + "/" + kBackupInfoFile), error);
    fs::remove_all(fs_path(others[i].folder), error);
  }
}

std::string time_id(std::time_t t) {
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", std::localtime(&t));
  return text;
}

bool time_of_id(const std::string& id, int64_t* t, int* n) {
  std::tm parts{};
  int length = 0, second = 1;
  char dash = 0;
  if (std::sscanf(id.c_str(), "%4d%2d%2d-%2d%2d%2d%n", &parts.tm_year, &parts.tm_mon,
                  &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &length) != 6 ||
      length != 15) {
    return false;
  }
  if (id.size() > 15 && (std::sscanf(id.c_str() + 15, "%c%d", &dash, &second) != 2 || dash != '-' ||
                         second < 2 || id.substr(15) != "-" + std::to_string(second))) {
    return false;
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  parts.tm_isdst = -1;
  *t = static_cast<int64_t>(std::mktime(&parts));
  *n = second;
  return true;
}

bool backups_folder_usable(const std::string& handheld, std::string* why) {
  return own_folder_usable(handheld + "/" + kBackupsFolder, "backups", why);
}

bool own_folder_usable(const std::string& root, const char* kept, std::string* why) {
  file_info info;
  const int error = file_info_at(root.c_str(), false, &info);
  if (error != 0) {
    *why = "cannot use " + root + ": " + file_error_text(error);
    return false;
  }
  if (info.kind == file_kind::none) return true;
  if (info.kind != file_kind::folder) {
    *why = root + " is " + file_kind_text(info.kind) + ", not a folder; " + kept +
           " are kept only in a folder of the handheld folder";
    return false;
  }
  return true;
}

bool list_backups(const std::string& handheld, std::vector<backup_info>* all, std::string* why) {
  all->clear();
  if (!backups_folder_usable(handheld, why)) return false;
  const std::string root = handheld + "/" + kBackupsFolder;
  std::error_code error;
  const fs::directory_iterator end;
  for (fs::directory_iterator it(fs_path(root), error); !error && it != end; it.increment(error)) {
    std::error_code unusable;
    if (!it->is_directory(unusable)) continue;
    backup_info info;
    info.id = path_text(it->path().filename());
    info.folder = path_text(it->path());
    read_info(info.folder, &info);
    all->push_back(info);
  }
  if (error && error != std::errc::no_such_file_or_directory) {
    *why = "cannot list " + root + ": " + error.message();
    return false;
  }
  std::sort(all->begin(), all->end(), [](const backup_info& a, const backup_info& b) {
    return a.time != b.time ? a.time < b.time : a.id < b.id;
  });
  return true;
}

bool restore_backup(const backup_info& backup, const std::string& handheld,
                    const std::string& desktop_file, bool desktop, bool handheld_side,
                    std::string* why) {
  struct side {
    bool wanted;
    bool kept;
    std::string copy, target;
  } sides[] = {
      {desktop, backup.has_desktop, backup.folder + "/" + kDesktopCopy, desktop_file},
      {handheld_side, backup.has_handheld, handheld_database_file(backup.folder),
       handheld_database_file(handheld)},
  };
  bool put_back = false;  // a side already restored, for the message of a later failure
  for (const side& s : sides) {
    if (!s.wanted) continue;
    bool ok = true;
    if (s.target.empty()) {
      *why = "no desktop data directory to restore into";
      ok = false;
    } else if (s.kept) {
      ok = copy_file_safely(s.copy, s.target, why);
    } else if (exists(s.target)) {
      // The side did not exist when the backup was made.
      const int error = file_remove(s.target.c_str());
      if (error != 0) *why = "cannot remove " + s.target + ": " + file_error_text(error);
      ok = error == 0;
    }
    if (!ok) {
      if (put_back) *why += " (the desktop side was already put back)";
      return false;
    }
    put_back = true;
  }
  return true;
}
