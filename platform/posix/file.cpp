#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/file_counters.h"
#include "platform/file_faults.h"
#include "platform/file_version.h"

namespace {

int fd_of(os_file f) {
  return static_cast<int>(f);
}

}  // namespace

static int open_file(const char* path, int flags, os_file* out) {
  *out = kNoFile;
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  *out = fd;
  return 0;
}

int file_open_read(const char* path, os_file* out) {
  *out = kNoFile;
  if (int e = file_fault_injected(file_op::open_read)) return e;
  // Not blocking, so that a FIFO is refused rather than waited on.
  int e = open_file(path, O_RDONLY | O_NONBLOCK, out);
  if (e) return e;
  struct stat st;
  if (::fstat(fd_of(*out), &st) != 0 || !S_ISREG(st.st_mode)) {
    e = S_ISDIR(st.st_mode) ? EISDIR : kFileNotRegular;
    ::close(fd_of(*out));
    *out = kNoFile;
    return e;
  }
  const int flags = ::fcntl(fd_of(*out), F_GETFL);
  if (flags >= 0) ::fcntl(fd_of(*out), F_SETFL, flags & ~O_NONBLOCK);
  return 0;
}

int file_create(const char* path, os_file* out) {
  *out = kNoFile;
  if (int e = file_fault_injected(file_op::open_write)) return e;
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
  int e = open_file(path, flags, out);
  if (e != EEXIST) return e;
  // A stale temporary or a symbolic link goes (unlink removes the link itself,
  // never what it points at); anything else there is not ours to remove.
  struct stat st;
  if (::lstat(path, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    return S_ISDIR(st.st_mode) ? EISDIR : kFileNotRegular;
  }
  if (::unlink(path) != 0 && errno != ENOENT) return errno;
  return open_file(path, flags, out);
}

int file_read(os_file f, void* buf, size_t n, size_t* got) {
  *got = 0;
  if (int e = file_fault_injected(file_op::read)) return e;
  ssize_t r;
  do {
    r = ::read(fd_of(f), buf, n);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return errno;
  *got = static_cast<size_t>(r);
  file_count_bytes(file_direction::read, *got);
  return 0;
}

int file_read_at(os_file f, uint64_t offset, void* buf, size_t n, size_t* got) {
  *got = 0;
  if (int e = file_fault_injected(file_op::read)) return e;
  ssize_t r;
  do {
    r = ::pread(fd_of(f), buf, n, static_cast<off_t>(offset));
  } while (r < 0 && errno == EINTR);
  if (r < 0) return errno;
  *got = static_cast<size_t>(r);
  file_count_bytes(file_direction::read, *got);
  return 0;
}

int file_size(os_file f, uint64_t* size) {
  *size = 0;
  struct stat st;
  if (::fstat(fd_of(f), &st) != 0) return errno;
  *size = static_cast<uint64_t>(st.st_size);
  return 0;
}

int file_write(os_file f, const void* buf, size_t n) {
  if (int e = file_fault_injected(file_op::write)) return e;
  const char* p = static_cast<const char*>(buf);
  while (n > 0) {
    ssize_t w = ::write(fd_of(f), p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += w;
    n -= static_cast<size_t>(w);
    file_count_bytes(file_direction::write, static_cast<uint64_t>(w));
  }
  return 0;
}

int file_write_at(os_file f, uint64_t offset, const void* buf, size_t n) {
  if (int e = file_fault_injected(file_op::write)) return e;
  const char* p = static_cast<const char*>(buf);
  while (n > 0) {
    ssize_t w = ::pwrite(fd_of(f), p, n, static_cast<off_t>(offset));
    if (w < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += w;
    n -= static_cast<size_t>(w);
    offset += static_cast<uint64_t>(w);
    file_count_bytes(file_direction::write, static_cast<uint64_t>(w));
  }
  return 0;
}

int file_set_size(os_file f, uint64_t size) {
  if (int e = file_fault_injected(file_op::write)) return e;
  int r;
  do {
    r = ::ftruncate(fd_of(f), static_cast<off_t>(size));
  } while (r != 0 && errno == EINTR);
  return r == 0 ? 0 : errno;
}

int file_copy_range(os_file from, uint64_t offset, uint64_t n, os_file to, uint64_t* copied) {
  *copied = 0;
#if defined(__linux__)
  if (int e = file_fault_injected(file_op::read)) return e;
  if (int e = file_fault_injected(file_op::write)) return e;
  while (*copied < n) {
    loff_t at = static_cast<loff_t>(offset + *copied);
    const uint64_t left = n - *copied;
    const ssize_t r =
        ::copy_file_range(fd_of(from), &at, fd_of(to), nullptr,
                          static_cast<size_t>(left < (1u << 30) ? left : 1u << 30), 0);
    if (r > 0) {
      *copied += static_cast<uint64_t>(r);
      file_count_bytes(file_direction::read, static_cast<uint64_t>(r));
      file_count_bytes(file_direction::write, static_cast<uint64_t>(r));
      continue;
    }
    if (r == 0) break;  // the end of from
    if (errno == EINTR) continue;
    // No such copy between these files here (another file system, an old
    // kernel, a file system without it): the caller's own copy goes on.
    if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL) break;
    return errno;
  }
#else
  (void)from, (void)offset, (void)n, (void)to;
#endif
  return 0;
}

int file_sync(os_file f) {
  if (int e = file_fault_injected(file_op::sync)) return e;
  return ::fsync(fd_of(f)) == 0 ? 0 : errno;
}

void file_write_behind(os_file f, uint64_t offset, uint64_t n) {
#if defined(__linux__)
  ::sync_file_range(fd_of(f), static_cast<off_t>(offset), static_cast<off_t>(n),
                    SYNC_FILE_RANGE_WRITE);
#else
  (void)f;
  (void)offset;
  (void)n;
#endif
}

int file_close(os_file f) {
  int e = file_fault_injected(file_op::close);
  // The descriptor is released even when a failure is pretended, so that an
  // injected fault never leaks it.
  int r = ::close(fd_of(f));
  if (e) return e;
  return r == 0 || errno == EINTR ? 0 : errno;
}

// Makes a rename that has happened durable: the directory entry itself must
// reach the disk. Failure here is not reported, as the file is in place.
static void sync_parent_dir(const char* path) {
  char dir[4096];
  const char* slash = std::strrchr(path, '/');
  size_t n = slash ? static_cast<size_t>(slash == path ? 1 : slash - path) : 0;
  if (n >= sizeof dir) return;
  if (n == 0) {
    dir[n++] = '.';
  } else {
    std::memcpy(dir, path, n);
  }
  dir[n] = '\0';
  int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

int file_replace(const char* from, const char* to) {
  if (int e = file_fault_injected(file_op::replace)) return e;
  if (::rename(from, to) != 0) return errno;
  sync_parent_dir(to);
  return 0;
}

int file_remove(const char* path) {
  if (int e = file_fault_injected(file_op::remove)) return e;
  return ::unlink(path) == 0 ? 0 : errno;
}

int file_link(const char* existing, const char* name) {
  if (int e = file_fault_injected(file_op::replace)) return e;
  return ::linkat(AT_FDCWD, existing, AT_FDCWD, name, 0) == 0 ? 0 : errno;
}

int file_identity_at(const char* path, file_identity* identity) {
  *identity = file_identity{false, 0, 0, 0, 0, 0};
  if (int e = file_fault_injected(file_op::inspect)) return e;
  struct stat st;
  if (::lstat(path, &st) != 0) return errno;
  *identity =
      file_identity{S_ISREG(st.st_mode),
                    static_cast<uint64_t>(st.st_dev),
                    static_cast<uint64_t>(st.st_ino),
                    static_cast<uint32_t>(st.st_nlink),
                    static_cast<uint64_t>(st.st_size),
                    static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
  return 0;
}

int file_copy_write_time(os_file from, os_file to) {
  struct stat st;
  if (::fstat(fd_of(from), &st) != 0) return errno;
  const timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
  return ::futimens(fd_of(to), times) == 0 ? 0 : errno;
}

int file_exists(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0;
}

const char* file_error_text(int error) {
  if (error == kFileNotRegular) return "not a regular file";
  if (error == kFileSymbolicLink) return "a symbolic link";
  if (error == kFileLockTaken) return "held by another process";
  return std::strerror(error);
}

int file_error_is_missing(int error) {
  return error == ENOENT || error == ENOTDIR;
}

int file_lock(const char* path, int wait_ms, os_file* lock) {
  *lock = kNoFile;
  int error = open_file(path, O_RDWR | O_CREAT | O_NOFOLLOW, lock);
  if (error) return error;
  for (int waited = 0;; waited += 50) {
    if (::flock(fd_of(*lock), LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno != EWOULDBLOCK || waited >= wait_ms) break;
    const timespec pause{0, 50 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
  error = errno == EWOULDBLOCK ? kFileLockTaken : errno;
  ::close(fd_of(*lock));
  *lock = kNoFile;
  return error;
}

int file_append(const char* path, const void* bytes, size_t n) {
  if (int e = file_fault_injected(file_op::write)) return e;
  // O_NOFOLLOW: a symbolic link put in the log's place says ELOOP.
  const int fd =
      ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return errno == ELOOP ? kFileSymbolicLink : errno;
  struct stat st;
  int error = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : kFileNotRegular;
  const char* p = static_cast<const char*>(bytes);
  while (error == 0 && n > 0) {
    const ssize_t wrote = ::write(fd, p, n);
    if (wrote < 0 && errno != EINTR) error = errno;
    if (wrote <= 0) continue;
    p += wrote;
    n -= static_cast<size_t>(wrote);
    file_count_bytes(file_direction::write, static_cast<uint64_t>(wrote));
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

int file_info_at(const char* path, bool follow_links, file_info* info) {
  *info = file_info{file_kind::none, 0, 0};
  if (int e = file_fault_injected(file_op::inspect)) return e;
  struct stat st;
  if ((follow_links ? ::stat(path, &st) : ::lstat(path, &st)) != 0) {
    return errno == ENOENT ? 0 : errno;
  }
  const mode_t mode = st.st_mode;
  info->kind = S_ISREG(mode)                    ? file_kind::regular
               : S_ISDIR(mode)                  ? file_kind::folder
               : S_ISLNK(mode)                  ? file_kind::symbolic_link
               : S_ISFIFO(mode)                 ? file_kind::fifo
               : S_ISCHR(mode) || S_ISBLK(mode) ? file_kind::device
               : S_ISSOCK(mode)                 ? file_kind::socket
                                                : file_kind::other;
  info->modified = static_cast<int64_t>(st.st_mtime);
  const uint64_t parts[] = {
      static_cast<uint64_t>(st.st_dev),          static_cast<uint64_t>(st.st_ino),
      static_cast<uint64_t>(st.st_size),         static_cast<uint64_t>(st.st_mtim.tv_sec),
      static_cast<uint64_t>(st.st_mtim.tv_nsec), static_cast<uint64_t>(st.st_ctim.tv_sec),
      static_cast<uint64_t>(st.st_ctim.tv_nsec)};
  info->version = version_of(parts, sizeof parts / sizeof parts[0]);
  return 0;
}

int folder_make_temporary(const char* prefix, char* path, size_t size) {
  if (int e = file_fault_injected(file_op::open_write)) return e;
  std::error_code error;
  const std::string pattern =
      (std::filesystem::temp_directory_path(error) / (std::string(prefix) + "-XXXXXX")).string();
  if (error) return error.value();
  if (pattern.size() >= size) return ENAMETOOLONG;
  std::memcpy(path, pattern.c_str(), pattern.size() + 1);
  // mkdtemp makes it for this user alone (mode 0700).
  return ::mkdtemp(path) ? 0 : errno;
}
