// The debug trace: every diagnostic message of the conduit goes here. It is
// deliberately silent: it prints, stores and logs nothing.
#pragma once

#if defined(__GNUC__)
#define QV_PRINTF_LIKE(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))
#else
#define QV_PRINTF_LIKE(fmt_index, first_arg)
#endif

void trace(const char* format, ...) QV_PRINTF_LIKE(1, 2);
