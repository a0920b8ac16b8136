// The library's load and unload: the module handle kept for the dialog's help
// file, and the count of process attaches.
#pragma once

#include <cstdint>

#include "platform/module.h"

extern module_handle g_module;
extern int32_t g_attach_count;

extern "C" int32_t QV_STDCALL DllMain(module_handle module, uint32_t reason, void* reserved);
