// Message and complaint channel of the test support library.
//
// Every native library that links this module writes to the test log through
// it: flushed prints, trace lines gated by a mask, and "# ERROR: " complaints
// limited in number, with a fake Java stack trace in front of the first one.
// The state (complaint count, verbose flag, trace mask) belongs to the library
// image that links the module.
#ifndef ZOL_TOOLS_H
#define ZOL_TOOLS_H

#include <cstdarg>

#define ZOL_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))

// Trace modes: just before (">>") and just after ("<<") a traced action.
enum { ZOL_TRACE_CALL = 1, ZOL_TRACE_RETURN = 2 };

// Formatted print to stdout, flushed; returns the character count of the write.
int zol_vprintf(const char* format, va_list args) ZOL_PRINTF_LIKE(1, 0);
int zol_printf(const char* format, ...) ZOL_PRINTF_LIKE(1, 2);

// Trace line "- <base>, <line>: <marker> " plus the caller's text, printed only
// when mode shares a bit with the trace mask.
void zol_lvtrace(int mode, const char* file, int line, const char* format, va_list args) ZOL_PRINTF_LIKE(4, 0);
void zol_ltrace(int mode, const char* file, int line, const char* format, ...) ZOL_PRINTF_LIKE(4, 5);

// Complaint "# ERROR: <base>, <line>: " plus the message; file may be null.
void zol_lvcomplain(const char* file, int line, const char* format, va_list args) ZOL_PRINTF_LIKE(3, 0);
void zol_lcomplain(const char* file, int line, const char* format, ...) ZOL_PRINTF_LIKE(3, 4);

#endif  // ZOL_TOOLS_H
