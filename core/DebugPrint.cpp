// The trace log: line layout, the lock around delivery, and the optional output stream; portable.
#include "core/DebugPrint.h"

#include "core/TraceViewer.h"
#include "platform/Clock.h"
#include "platform/Lock.h"
#include "platform/StdFile.h"

#include <atomic>
#include <cstdarg>

namespace {

// Written only by DebugPrintInit and DebugPrintExit, while no other thread runs.
std::atomic<int> Active{0};
char ProgramName[TRACE_NAME_SIZE];

// Serialises delivery; guards the viewer's send buffer and Stream.
CLock DeliveryLock;
CStdFile Stream(nullptr);
// Whether Stream is set: written under DeliveryLock with it, read by DebugPrint on any thread before it
// formats a line.
std::atomic<bool> Streaming{false};

// Appends to `line` at `*used` as much of the formatted text as fits, keeping the NUL.
void AppendV(char* line, std::size_t* used, const char* format, va_list args) ZRV_PRINTF_FORMAT(3, 0);
void AppendV(char* line, std::size_t* used, const char* format, va_list args) {
    std::size_t room = TRACE_LINE_SIZE - *used;
    int written = std::vsnprintf(line + *used, room, format, args);
    if (written < 0) {
        line[*used] = '\0';
        return;
    }
    *used += static_cast<std::size_t>(written) < room ? static_cast<std::size_t>(written) : room - 1;
}

void Append(char* line, std::size_t* used, const char* format, ...) ZRV_PRINTF_FORMAT(3, 4);
void Append(char* line, std::size_t* used, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendV(line, used, format, args);
    va_end(args);
}

// The stream's copy comes after the viewer's; a stream that fails once is closed and dropped.
void WriteToStream(const char* line) {
    if (Stream.Get() != nullptr && (std::fputs(line, Stream.Get()) < 0 || std::fflush(Stream.Get()) != 0)) {
        Stream.Reset();
        Streaming = false;
    }
}

void DebugPrintOutput(const char* line) {
    CLockGuard guard(DeliveryLock);
    DebugPrintToViewer(line);
    WriteToStream(line);
}

} // namespace

int DebugPrintInit(const char* name) {
    if (name != nullptr) {
        std::snprintf(ProgramName, sizeof ProgramName, "%s", name);
    }
    Active = 1;
    return 1;
}

void DebugPrint(const char* format, ...) {
    if (Active == 0 || (!Streaming && !TraceViewerCanExist())) {
        return;
    }
    char line[TRACE_LINE_SIZE];
    std::size_t used = 0;
    line[0] = '\0';
    if (ProgramName[0] != '\0') {
        Append(line, &used, "%s: ", ProgramName);
    }
    LocalTime now;
    ReadLocalTime(&now);
    Append(line, &used, "%04d/%02d/%02d %02d:%02d:%02d  ", now.Year, now.Month, now.Day, now.Hour, now.Minute,
           now.Second);
    va_list args;
    va_start(args, format);
    AppendV(line, &used, format, args);
    va_end(args);
    DebugPrintOutput(line);
}

void DebugPrintExit() {
    if (Active == 0) {
        return;
    }
    CLockGuard guard(DeliveryLock);
    Stream.Reset();
    Active = 0;
}

void DebugPrintSetStream(std::FILE* stream) {
    CStdFile taken(stream);
    CLockGuard guard(DeliveryLock);
    Stream.Reset(Active != 0 ? taken.Release() : nullptr);
    Streaming = Stream.Get() != nullptr;
}
