// Delivery of a finished trace line to an external trace viewer window; the seam between the trace log
// and the platform (a Win32 window message on Windows, nothing elsewhere).
#pragma once

// Hands `line` (NUL-terminated) to the first viewer window found, if any; drops it otherwise.
// Called with the trace log's lock held.
void DebugPrintToViewer(const char* line);

// Whether this platform has viewer windows at all: the trace log formats no line that nobody can take.
bool TraceViewerCanExist();
