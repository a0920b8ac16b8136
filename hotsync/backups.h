// Copies of both sides kept in the handheld folder before every HotSync that
// may write, so that no single HotSync can lose a data set:
//
//   HANDHELD/backups/20261208-013000/elements.xml    the desktop file, if any
//   HANDHELD/backups/20261208-013000/QVelements.pdb  the handheld database, if any
//   HANDHELD/backups/20261208-013000/backup.conf     when, why, element counts
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

constexpr int kDefaultBackupsKept = 10;

// How a backup being made keeps a side.
enum class kept_as {
  nothing,
  copy,
  // The side's own file under a second name (a hard link): no copy to make,
  // as the HotSync replaces the side whole and the backup is then left with
  // the old file. Until then the two names share it (see settle_second_names).
  second_name,
  copy_to_come,  // by copy_backup_sides
};

struct backup_info {
  std::string id;      // the folder's name: the local time it was made
  std::string folder;  // its path
  int64_t time = 0;    // Unix seconds
  // Whether backup.conf was written: it comes last, so a backup without it
  // was interrupted (its time is then the folder's).
  bool complete = true;
  std::string reason;
  bool has_desktop = false, has_handheld = false;
  int64_t desktop_elements = -1, handheld_elements = -1;  // -1: unreadable or absent
  // The handheld's last HotSync (user.conf) when it was made, the time at
  // which its sides were last the same; older backups do not say.
  bool has_last_sync = false;
  uint32_t last_sync = 0;
  // Each side's file as the backup was ended, its size and the time of its
  // last write ("" where backup.conf does not say: made before it did).
  std::string desktop_stamp, handheld_stamp;
  // While it is made (backup.conf does not say).
  kept_as desktop_kept = kept_as::nothing, handheld_kept = kept_as::nothing;
};

// Copies the desktop file and the handheld database (those that exist) into a
// new backup with the handheld's last sync time, then removes the oldest others beyond `keep` (the
// new one counts, and stays whatever its time). False with *why when the copy cannot be made
// (nothing of the sides is touched then).
bool make_backup(const std::string& handheld, const std::string& desktop_file,
                 int64_t desktop_count, int64_t handheld_count, const std::string& reason, int keep,
                 backup_info* made, std::string* why);

// make_backup in two steps, for a backup made while the sides are read: the
// copies (begin_backup, *made then names the backup), then the counts and
// backup.conf, which makes it complete, and the pruning (end_backup). A step
// that fails removes what was begun; abandon_backup removes one begun and
// not to be ended.
// The sides a backup may keep under second names: those the HotSync will
// replace.
struct second_names_for {
  bool desktop = false, handheld = false;
};
// With second names, begin_backup keeps each side named there that is a
// regular file of one name under a second name, and leaves the others for
// copy_backup_sides, once check_second_names has seen that each second name
// still names the side (call it once the sides' versions are noted: a file
// put in a side's place before that would otherwise be kept nowhere). The
// caller then owes settle_second_names once the sides may have been
// replaced, however the HotSync ended.
bool begin_backup(const std::string& handheld, const std::string& desktop_file,
                  const std::string& reason, backup_info* made, std::string* why,
                  second_names_for second_names = {});
void check_second_names(const std::string& handheld, const std::string& desktop_file,
                        backup_info* made);
bool copy_backup_sides(const std::string& handheld, const std::string& desktop_file,
                       backup_info* made, std::string* why);
// Copies into every backup of the handheld folder each side it still shares
// with the side itself (left by a HotSync that ended before it replaced the
// side or settled the backup), so that no backup changes with its side.
// False with *why when a copy fails; the others are made.
bool heal_shared_backups(const std::string& handheld, const std::string& desktop_file,
                         std::string* why);
// Copies each side still kept under a second name of the side itself (one
// the HotSync did not replace), so that what becomes of the side from now on
// leaves the backup as it was. False with *why when a copy fails: that side
// then shares its file with the backup until a HotSync replaces it, nothing
// lost either way, as the HotSync did not write it.
bool settle_second_names(const std::string& handheld, const std::string& desktop_file,
                         backup_info* made, std::string* why);
bool end_backup(const std::string& handheld, int64_t desktop_count, int64_t handheld_count,
                int keep, backup_info* made, std::string* why);
void abandon_backup(const backup_info& begun);

// Removes the oldest backups beyond `keep` (none when keep is negative),
// never the one named `kept` (a clock set back can make the newest backup
// look the oldest).
void prune_backups(const std::string& handheld, int keep, const std::string& kept);

// The backups of a handheld folder, interrupted ones too, oldest first, in
// *all. False with *why when its backups folder cannot be read or is no
// folder of its own (see backups_folder_usable); none yet is no error.
bool list_backups(const std::string& handheld, std::vector<backup_info>* all, std::string* why);

// False with *why when HANDHELD/backups exists but is not a folder, or is a
// symbolic link: backups are written only inside the handheld folder.
bool backups_folder_usable(const std::string& handheld, std::string* why);
// The same for any folder hotsync keeps files in; `kept` says what, in words.
bool own_folder_usable(const std::string& folder, const char* kept, std::string* why);

// The id of what is made at t (a backup, a conflict file): its local time as
// YYYYMMDD-HHMMSS, to which a "-N" is added for a second one in the same
// second.
std::string time_id(std::time_t t);
// The length of a time id without its -N: YYYYMMDD-HHMMSS.
constexpr size_t kTimeIdLength = 15;
// The time an id says, and its N (1 without one); false for no such id.
bool time_of_id(const std::string& id, int64_t* t, int* n);

// Puts a backup's sides back (desktop, handheld or both): each file as it was
// then, written beside and renamed over; a side the backup did not have is
// removed. False with *why.
bool restore_backup(const backup_info& backup, const std::string& handheld,
                    const std::string& desktop_file, bool desktop, bool handheld_side,
                    std::string* why);

// Where a backup keeps the desktop file, or the handheld database.
std::string backup_side_file(const backup_info& backup, bool desktop);
// Whether a side's file in the backup was written since the backup was
// ended (a program that kept the side open wrote into it once the HotSync
// had replaced the side and the backup was left with its file), or is gone.
bool backup_side_written_since(const backup_info& backup, bool desktop);

// Copies a file through path + ".tmp", forced to disk and renamed over `to`;
// keep_write_time: the copy keeps the time of from's last write.
bool copy_file_safely(const std::string& from, const std::string& to, std::string* why,
                      bool keep_write_time = false);
