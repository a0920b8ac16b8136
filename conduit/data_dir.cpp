#include "conduit/data_dir.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/file.h"
#include "platform/registry.h"

char* get_data_dir(int* status) {
  int ignored;
  if (!status) status = &ignored;
  *status = kDataDirNotSet;
  char* buffer = static_cast<char*>(std::malloc(kPathBufferSize));
  if (!buffer) return nullptr;
  registry_key key = 0;
  int32_t result = registry_open_user_key(kRegistryKeyPath, &key);
  if (result == kRegistryOk) {
    uint32_t size = kPathBufferSize;
    result = registry_query_value(key, kRegistryDataDirValue, buffer, &size);
    registry_close_key(key);
    // A value that filled the buffer without its terminator is no string.
    if (result == kRegistryOk && !std::memchr(buffer, '\0', size)) result = kRegistryMoreData;
  }
  if (result != kRegistryOk || buffer[0] == '\0') {
    if (result == kRegistryMoreData) *status = kDataDirTooLong;
    std::free(buffer);
    return nullptr;
  }
  // A value without its separator still names the folder: the file names are
  // never glued to its last part.
  const size_t length = std::strlen(buffer);
  if (!is_path_separator(buffer[length - 1])) {
    if (length + 1 >= static_cast<size_t>(kPathBufferSize)) {
      *status = kDataDirTooLong;
      std::free(buffer);
      return nullptr;
    }
    buffer[length] = kPathSeparator;
    buffer[length + 1] = '\0';
  }
  *status = kDataDirOk;
  return buffer;
}

static char* path_with(const char* file_name, int* status) {
  int ignored;
  if (!status) status = &ignored;
  char* path = get_data_dir(status);
  if (!path) return nullptr;
  if (std::strlen(path) > static_cast<size_t>(kMaxDataDirLength)) {
    *status = kDataDirTooLong;
    std::free(path);
    return nullptr;
  }
  std::strcat(path, file_name);
  return path;
}

char* get_xml_path(int* status) {
  return path_with(kConduitDesktopFile, status);
}

char* get_tmp_path(int* status) {
  return path_with(kConduitDesktopTmpFile, status);
}
