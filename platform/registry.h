// The Windows registry, as far as the conduit reads it: one string value of
// the current user. Results are 0 or a Windows error code.
#pragma once

#include <cstdint>

using registry_key = intptr_t;

constexpr int32_t kRegistryOk = 0;
constexpr int32_t kRegistryNotFound = 2;    // no such key or value
constexpr int32_t kRegistryMoreData = 234;  // the value does not fit the buffer

// Opens a key under HKEY_CURRENT_USER for reading; path uses backslashes.
int32_t registry_open_user_key(const char* path, registry_key* key);
// Copies the value's data into buffer, at most *size bytes, and sets *size to
// the data's size. A string's data includes its terminating NUL. The value's
// type is not reported.
int32_t registry_query_value(registry_key key, const char* name, void* buffer, uint32_t* size);
void registry_close_key(registry_key key);
