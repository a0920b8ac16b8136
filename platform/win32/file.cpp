#include "platform/file.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/file_counters.h"
#include "platform/file_faults.h"
#include "platform/file_version.h"

namespace {

HANDLE handle_of(os_file f) {
  return reinterpret_cast<HANDLE>(f);
}

int open_file(const char* path, DWORD access, DWORD disposition, os_file* out) {
  *out = kNoFile;
  HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  *out = reinterpret_cast<os_file>(h);
  return 0;
}

}  // namespace

int file_open_read(const char* path, os_file* out) {
  *out = kNoFile;
  if (int e = file_fault_injected(file_op::open_read)) return e;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return ERROR_DIRECTORY;
  }
  int e = open_file(path, GENERIC_READ, OPEN_EXISTING, out);
  if (e) return e;
  if (GetFileType(handle_of(*out)) != FILE_TYPE_DISK) {
    CloseHandle(handle_of(*out));
    *out = kNoFile;
    return kFileNotRegular;
  }
  return 0;
}

int file_create(const char* path, os_file* out) {
  *out = kNoFile;
  if (int e = file_fault_injected(file_op::open_write)) return e;
  int e = open_file(path, GENERIC_WRITE, CREATE_NEW, out);
  if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return e;
  // A stale temporary or a symbolic link goes (DeleteFile removes the link
  // itself, never what it points at); a folder there is not ours to remove.
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return ERROR_DIRECTORY;
  }
  if (!DeleteFileA(path) && GetLastError() != ERROR_FILE_NOT_FOUND) {
    return static_cast<int>(GetLastError());
  }
  return open_file(path, GENERIC_WRITE, CREATE_NEW, out);
}

int file_read(os_file f, void* buf, size_t n, size_t* got) {
  *got = 0;
  if (int e = file_fault_injected(file_op::read)) return e;
  DWORD read = 0;
  const DWORD want = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
  if (!ReadFile(handle_of(f), buf, want, &read, nullptr)) return static_cast<int>(GetLastError());
  *got = read;
  file_count_bytes(file_direction::read, read);
  return 0;
}

namespace {

// Where a read or write that leaves the file position alone starts.
OVERLAPPED at_offset(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

}  // namespace

int file_read_at(os_file f, uint64_t offset, void* buf, size_t n, size_t* got) {
  *got = 0;
  if (int e = file_fault_injected(file_op::read)) return e;
  OVERLAPPED at = at_offset(offset);
  DWORD read = 0;
  const DWORD want = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
  if (!ReadFile(handle_of(f), buf, want, &read, &at)) {
    const DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF) return 0;
    return static_cast<int>(error);
  }
  *got = read;
  file_count_bytes(file_direction::read, read);
  return 0;
}

int file_size(os_file f, uint64_t* size) {
  *size = 0;
  LARGE_INTEGER n;
  if (!GetFileSizeEx(handle_of(f), &n)) return static_cast<int>(GetLastError());
  *size = static_cast<uint64_t>(n.QuadPart);
  return 0;
}

int file_write(os_file f, const void* buf, size_t n) {
  if (int e = file_fault_injected(file_op::write)) return e;
  const char* p = static_cast<const char*>(buf);
  while (n > 0) {
    DWORD written = 0;
    const DWORD chunk = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
    if (!WriteFile(handle_of(f), p, chunk, &written, nullptr)) {
      return static_cast<int>(GetLastError());
    }
    p += written;
    n -= written;
    file_count_bytes(file_direction::write, written);
  }
  return 0;
}

int file_write_at(os_file f, uint64_t offset, const void* buf, size_t n) {
  if (int e = file_fault_injected(file_op::write)) return e;
  const char* p = static_cast<const char*>(buf);
  while (n > 0) {
    OVERLAPPED at = at_offset(offset);
    DWORD written = 0;
    const DWORD chunk = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
    if (!WriteFile(handle_of(f), p, chunk, &written, &at)) {
      return static_cast<int>(GetLastError());
    }
    p += written;
    n -= written;
    offset += written;
    file_count_bytes(file_direction::write, written);
  }
  return 0;
}

int file_set_size(os_file f, uint64_t size) {
  if (int e = file_fault_injected(file_op::write)) return e;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(handle_of(f), at, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_of(f))) {
    return static_cast<int>(GetLastError());
  }
  return 0;
}

int file_copy_range(os_file, uint64_t, uint64_t, os_file, uint64_t* copied) {
  *copied = 0;  // no copy inside the system for a range of an open file
  return 0;
}

int file_sync(os_file f) {
  if (int e = file_fault_injected(file_op::sync)) return e;
  return FlushFileBuffers(handle_of(f)) ? 0 : static_cast<int>(GetLastError());
}

// Windows writes a file's cached pages out on its own, soon after they are
// written; FlushFileBuffers waits for what is left.
void file_write_behind(os_file, uint64_t, uint64_t) {}

int file_close(os_file f) {
  int e = file_fault_injected(file_op::close);
  const BOOL closed = CloseHandle(handle_of(f));
  if (e) return e;
  return closed ? 0 : static_cast<int>(GetLastError());
}

int file_replace(const char* from, const char* to) {
  if (int e = file_fault_injected(file_op::replace)) return e;
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : static_cast<int>(GetLastError());
}

int file_remove(const char* path) {
  if (int e = file_fault_injected(file_op::remove)) return e;
  return DeleteFileA(path) ? 0 : static_cast<int>(GetLastError());
}

int file_link(const char* existing, const char* name) {
  if (int e = file_fault_injected(file_op::replace)) return e;
  // A program that holds the file open without letting it be deleted would
  // keep a second name from being removed or replaced later: none is given.
  HANDLE h = CreateFileA(existing, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  CloseHandle(h);
  return CreateHardLinkA(name, existing, nullptr) ? 0 : static_cast<int>(GetLastError());
}

int file_identity_at(const char* path, file_identity* identity) {
  *identity = file_identity{false, 0, 0, 0, 0, 0};
  if (int e = file_fault_injected(file_op::inspect)) return e;
  // Opened for nothing but what it is, a reparse point as itself.
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  BY_HANDLE_FILE_INFORMATION data;
  const BOOL known = GetFileInformationByHandle(h, &data);
  CloseHandle(h);
  if (!known) return static_cast<int>(GetLastError());
  const DWORD not_plain =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
  *identity = file_identity{
      (data.dwFileAttributes & not_plain) == 0,
      data.dwVolumeSerialNumber,
      (static_cast<uint64_t>(data.nFileIndexHigh) << 32) | data.nFileIndexLow,
      data.nNumberOfLinks,
      (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
      static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                           data.ftLastWriteTime.dwLowDateTime)};
  return 0;
}

int file_copy_write_time(os_file from, os_file to) {
  FILETIME written;
  if (!GetFileTime(handle_of(from), nullptr, nullptr, &written) ||
      !SetFileTime(handle_of(to), nullptr, nullptr, &written)) {
    return static_cast<int>(GetLastError());
  }
  return 0;
}

int file_exists(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int file_error_is_missing(int error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

int file_lock(const char* path, int wait_ms, os_file* lock) {
  *lock = kNoFile;
  for (int waited = 0;; waited += 50) {
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      *lock = reinterpret_cast<os_file>(h);
      return 0;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION) return static_cast<int>(error);
    if (waited >= wait_ms) return kFileLockTaken;
    Sleep(50);
  }
}

const char* file_error_text(int error) {
  static char text[256];
  if (error == kFileNotRegular) return "not a regular file";
  if (error == kFileSymbolicLink) return "a symbolic link";
  if (error == kFileLockTaken) return "held by another process";
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                      static_cast<DWORD>(error), 0, text, sizeof text, nullptr)) {
    wsprintfA(text, "error %d", error);
  }
  for (char* p = text; *p; ++p) {
    if (*p == '\r' || *p == '\n') *p = '\0';
  }
  return text;
}

int file_append(const char* path, const void* bytes, size_t n) {
  if (int e = file_fault_injected(file_op::write)) return e;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return kFileSymbolicLink;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return kFileNotRegular;
  }
  // FILE_APPEND_DATA alone: every write goes to the end, whoever else writes.
  HANDLE h = CreateFileA(
      path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  int error = GetFileType(h) == FILE_TYPE_DISK ? 0 : kFileNotRegular;
  const char* p = static_cast<const char*>(bytes);
  while (error == 0 && n > 0) {
    DWORD written = 0;
    const DWORD chunk = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
    if (!WriteFile(h, p, chunk, &written, nullptr)) error = static_cast<int>(GetLastError());
    p += written;
    n -= written;
    file_count_bytes(file_direction::write, written);
  }
  if (!CloseHandle(h) && error == 0) error = static_cast<int>(GetLastError());
  return error;
}

namespace {

// FILETIME counts 100 ns steps from 1601.
int64_t unix_seconds(const FILETIME& t) {
  const uint64_t ticks = (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000000u) - 11644473600;
}

}  // namespace

int file_info_at(const char* path, bool follow_links, file_info* info) {
  *info = file_info{file_kind::none, 0, 0};
  if (int e = file_fault_injected(file_op::inspect)) return e;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0
                                                                          : static_cast<int>(error);
  }
  DWORD attributes = data.dwFileAttributes;
  info->modified = unix_seconds(data.ftLastWriteTime);
  const uint64_t parts[] = {data.nFileSizeHigh,
                            data.nFileSizeLow,
                            data.ftLastWriteTime.dwHighDateTime,
                            data.ftLastWriteTime.dwLowDateTime,
                            data.ftCreationTime.dwHighDateTime,
                            data.ftCreationTime.dwLowDateTime};
  info->version = version_of(parts, sizeof parts / sizeof parts[0]);
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !follow_links) {
    info->kind = file_kind::symbolic_link;
    return 0;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // What the link leads to: opened for nothing but its attributes.
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                 ? 0
                 : static_cast<int>(error);
    }
    BY_HANDLE_FILE_INFORMATION target;
    const BOOL known = GetFileInformationByHandle(h, &target);
    CloseHandle(h);
    if (!known) return static_cast<int>(GetLastError());
    attributes = target.dwFileAttributes;
    info->modified = unix_seconds(target.ftLastWriteTime);
    const uint64_t parts[] = {target.nFileIndexHigh,
                              target.nFileIndexLow,
                              target.nFileSizeHigh,
                              target.nFileSizeLow,
                              target.ftLastWriteTime.dwHighDateTime,
                              target.ftLastWriteTime.dwLowDateTime};
    info->version = version_of(parts, sizeof parts / sizeof parts[0]);
  }
  info->kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? file_kind::folder
               : (attributes & FILE_ATTRIBUTE_DEVICE)  ? file_kind::device
                                                       : file_kind::regular;
  return 0;
}

int folder_make_temporary(const char* prefix, char* path, size_t size) {
  if (int e = file_fault_injected(file_op::open_write)) return e;
  char folder[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof folder, folder);
  if (n == 0 || n > sizeof folder) return static_cast<int>(GetLastError());
  // The user's own temporary folder keeps others out; the name only has to
  // be new, which CreateDirectory tells.
  static unsigned serial = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const unsigned tag = (GetCurrentProcessId() << 8) ^ GetTickCount() ^ (++serial * 7919u);
    const int length = std::snprintf(path, size, "%s%s-%08x", folder, prefix, tag);
    if (length < 0 || static_cast<size_t>(length) >= size) return ERROR_BUFFER_OVERFLOW;
    if (CreateDirectoryA(path, nullptr)) return 0;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return static_cast<int>(GetLastError());
  }
  return ERROR_ALREADY_EXISTS;
}
