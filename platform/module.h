// The library's own module, as the system knows it.
#pragma once

#include <cstdint>

// The calling convention of the system's callbacks into a library.
#if defined(_WIN32) && !defined(_WIN64)
#define QV_STDCALL __stdcall
#else
#define QV_STDCALL
#endif

// What our HotSync Manager's libraries give its program beyond what the
// conduit imports: exported by the library that defines it, which is built
// with QV_HOST_EXPORTS. Elsewhere every function of a library is exported.
#if defined(_WIN32) && defined(QV_HOST_EXPORTS)
#define QV_HOST_API __declspec(dllexport)
#else
#define QV_HOST_API
#endif

// What separates folders in the module's file name.
#if defined(_WIN32)
constexpr char kModulePathSeparator = '\\';
#else
constexpr char kModulePathSeparator = '/';
#endif

// The handle the system gives a loaded library: its base address.
using module_handle = void*;

// Reasons for the library's entry function.
constexpr uint32_t kModuleProcessDetach = 0;
constexpr uint32_t kModuleProcessAttach = 1;
