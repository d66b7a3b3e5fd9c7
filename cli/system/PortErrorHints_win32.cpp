// The hints for a port that did not open on Windows: a COM port opens for one program at a time, and a
// second opener is told that access is denied.
#include "cli/system/PortErrorHints.h"

#include <windows.h>

const PortErrorHint PORT_ERROR_HINTS[] = {
    {ERROR_ACCESS_DENIED, PORT_HINT_IN_USE},
    {ERROR_SHARING_VIOLATION, PORT_HINT_IN_USE},
    {0, nullptr},
};
