// The Sync Manager's result codes in words, for the HotSync log.
#pragma once

#include <cstdint>

const char* sync_error_text(int32_t code);
