// The trace log: printf-style lines stamped with the program name and local time, handed to an external
// trace viewer window when one runs, and to an optional output stream; portable interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr std::size_t TRACE_NAME_SIZE = 256;
constexpr std::size_t TRACE_LINE_SIZE = 1024;
constexpr std::size_t TRACE_SEND_SIZE = 4096;
constexpr uint32_t TRACE_COPYDATA_TAG = 0x6E697774; // the bytes t, w, i, n in memory order

#if defined(__MINGW32__)
#define ZRV_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#define ZRV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ZRV_PRINTF_FORMAT(fmt, args)
#endif

// Starts tracing with `name` (may be null: no name) put in front of each line. Call once, before any
// other thread exists. Always returns 1.
int DebugPrintInit(const char* name);

// Formats and delivers one line; does nothing before DebugPrintInit or after DebugPrintExit. No line end
// is added. A line longer than TRACE_LINE_SIZE - 1 bytes is cut there.
void DebugPrint(const char* format, ...) ZRV_PRINTF_FORMAT(1, 2);

// Stops tracing and closes the output stream, if any. Call once, after every other thread has ended.
void DebugPrintExit();

// Hands an open stream to the trace log (null drops the current one): each line is also written to it
// and flushed. The trace log owns the stream from now on: it closes it at the first write or flush that
// fails, when another stream replaces it, and in DebugPrintExit. Only while tracing is active.
void DebugPrintSetStream(std::FILE* stream);
