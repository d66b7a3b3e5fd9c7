// The hints for a port that did not open on POSIX: errno of open, or of the lock a serial tool holds.
#include "cli/system/PortErrorHints.h"

#include <cerrno>

const PortErrorHint PORT_ERROR_HINTS[] = {
    {EACCES, PORT_HINT_FORBIDDEN},
    {EPERM, PORT_HINT_FORBIDDEN},
    {EBUSY, PORT_HINT_IN_USE},
    {EWOULDBLOCK, PORT_HINT_IN_USE},
    {0, nullptr},
};
