// Plain files, as the operating system gives them. Every read and write of the
// desktop file goes through here, so that tests can make any call fail.
//
// Functions return 0 on success or the system's error number (errno on POSIX,
// the last-error code on Windows); file_error_text turns it into words.
#pragma once

#include <cstddef>
#include <cstdint>

using os_file = intptr_t;

// The separator that ends a folder's name in a path; Windows takes '/' too.
#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
inline bool is_path_separator(char c) {
  return c == '\\' || c == '/';
}
#else
constexpr char kPathSeparator = '/';
inline bool is_path_separator(char c) {
  return c == '/';
}
#endif
constexpr os_file kNoFile = -1;

// A file that exists but is no regular file (a folder, a device, a FIFO): it
// is refused before anything is read from it.
constexpr int kFileNotRegular = -2;
// A symbolic link where a file is written in place, which is never followed.
constexpr int kFileSymbolicLink = -3;
// A lock that another holder kept for the whole wait.
constexpr int kFileLockTaken = -4;

// Opens an existing regular file for reading, in binary: line ends are the
// caller's. Anything else at path gives kFileNotRegular, without blocking.
int file_open_read(const char* path, os_file* out);
// Creates a new file for writing, in binary, for nobody else: what is already
// at path (a stale temporary, a symbolic link) is removed first, never
// followed or truncated; a folder there is an error.
int file_create(const char* path, os_file* out);
// Reads up to n bytes; *got is 0 only at the end of the file.
int file_read(os_file f, void* buf, size_t n, size_t* got);
// Reads up to n bytes from offset on, leaving the file position alone; *got is
// 0 only at or after the end of the file.
int file_read_at(os_file f, uint64_t offset, void* buf, size_t n, size_t* got);
// The size of the open file in bytes, for reading it into memory of that size.
int file_size(os_file f, uint64_t* size);
// Writes all n bytes, or fails.
int file_write(os_file f, const void* buf, size_t n);
// Writes all n bytes from offset on, or fails. Past the end the file grows,
// what lies between reading as zeros. Whether the file position moves is the
// system's: a file written this way is written only this way.
int file_write_at(os_file f, uint64_t offset, const void* buf, size_t n);
// Makes the file size bytes long: cut there, or grown with zeros.
int file_set_size(os_file f, uint64_t size);
// Forces what was written down to the disk.
int file_sync(os_file f);
// Copies n bytes of from, from offset on, to to at its position, inside the
// system rather than through memory of ours; a file system that can clone
// shares the blocks instead. 0 with *copied the bytes copied, which may be
// fewer than n (none where the system copies no such way): the caller copies
// the rest itself. Or an error.
int file_copy_range(os_file from, uint64_t offset, uint64_t n, os_file to, uint64_t* copied);
// Asks the system to start putting the n bytes written from offset on to the
// disk now, without waiting for them, so that the file_sync that ends the
// file finds less left to do. A hint, where the system takes one: nothing
// fails and nothing is reported.
void file_write_behind(os_file f, uint64_t offset, uint64_t n);
// Closes the handle; it is gone even when the result is an error.
int file_close(os_file f);
// Puts from in the place of to in one step: to is either the old or the new
// file at every moment, and is created when it does not exist.
int file_replace(const char* from, const char* to);
int file_remove(const char* path);
// Gives the file at existing a second name (a hard link), not following a
// symbolic link at either; an error where the file system keeps one name
// per file, or the two lie on different ones.
int file_link(const char* existing, const char* name);
// 1 when something exists at path, 0 otherwise.
int file_exists(const char* path);

// Takes the exclusive lock of the lock file at path (made when missing),
// waiting up to wait_ms for another holder to let go. Returns 0 with the lock
// in *lock, or an error number (kFileLockTaken when it stayed taken). The lock
// goes with file_close or the end of the process.
int file_lock(const char* path, int wait_ms, os_file* lock);

// Adds all n bytes to the end of the file at path (made when missing) in one
// write, for a log that only grows. Never through a symbolic link at path
// (kFileSymbolicLink), never into anything but a regular file (kFileNotRegular).
int file_append(const char* path, const void* bytes, size_t n);

enum class file_kind { none, regular, folder, symbolic_link, fifo, device, socket, other };
struct file_info {
  file_kind kind;    // none: nothing is at the path, its folder being there
  int64_t modified;  // Unix seconds
  // Differs once the file is written or another is put in its place, even
  // within the same second: its identity, size and times to the finest the
  // system keeps.
  uint64_t version;
};
// What is at path, following a symbolic link at its end or not (stat or
// lstat). Nothing there is no error: 0 with kind none. Nothing opened, so a
// FIFO never blocks.
int file_info_at(const char* path, bool follow_links, file_info* info);

// Which file is at a path, not following a symbolic link at its end: two
// paths with equal volume and index name the same file, whose contents a
// write through either changes.
struct file_identity {
  bool regular;  // a regular file is there
  uint64_t volume, index;
  uint32_t names;  // how many names the file has
  // What a write changes: the size, and the time of the last write in the
  // finest unit the system keeps.
  uint64_t size;
  int64_t written;
};
int file_identity_at(const char* path, file_identity* identity);
// Gives `to` the time of the last write of `from`, as a copy that stands for
// it keeps it.
int file_copy_write_time(os_file from, os_file to);

// Makes a new folder that only this user may enter, in the system's folder for
// temporary files, its name starting with prefix: 0 with its path (no
// trailing separator) in path, at most size bytes with the NUL.
int folder_make_temporary(const char* prefix, char* path, size_t size);

const char* file_error_text(int error);
// 1 when the error means that the file (or a folder on its path) does not exist.
int file_error_is_missing(int error);
