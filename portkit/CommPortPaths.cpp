// The table of device paths behind port numbers; portable.
#include "portkit/CommPortPaths.h"

#include "platform/Lock.h"

#include <cstring>

namespace {

CLock TableLock;
// Guarded by TableLock: written by RegisterCommPortPath, read by GetCommPortPath, on any thread. Entry 0
// stays empty so that numbers start at 1, as COM ports do.
char Paths[MAX_COMM_PATHS + 1][COMM_PATH_SIZE];

} // namespace

int32_t RegisterCommPortPath(const char* path) {
    if (path == nullptr || path[0] == '\0' || std::strlen(path) >= COMM_PATH_SIZE) {
        return -1;
    }
    CLockGuard guard(TableLock);
    for (int32_t number = 1; number <= MAX_COMM_PATHS; ++number) {
        if (Paths[number][0] == '\0') {
            std::memcpy(Paths[number], path, std::strlen(path) + 1);
            return number;
        }
        if (std::strcmp(Paths[number], path) == 0) {
            return number;
        }
    }
    return -1;
}

bool GetCommPortPath(int32_t portNumber, char (&path)[COMM_PATH_SIZE]) {
    if (portNumber < 1 || portNumber > MAX_COMM_PATHS) {
        return false;
    }
    CLockGuard guard(TableLock);
    std::memcpy(path, Paths[portNumber], COMM_PATH_SIZE);
    return path[0] != '\0';
}
