// Trace viewer delivery on POSIX: there is no viewer window; lines reach only the trace stream.
#include "core/TraceViewer.h"

void DebugPrintToViewer(const char*) {}

bool TraceViewerCanExist() {
    return false;
}
