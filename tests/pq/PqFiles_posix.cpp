// The user's libpq folder under a $HOME of the test's own; Linux side of the seam.
#include "PqFiles.h"
#include "TestFiles.h"

#include <cstdlib>
#include <sys/stat.h>

std::string ProgramPath(const std::string& path) {
    return path;
}

// libpq takes the user's folder from $HOME: a scratch one, so that the user's own files play no part.
std::string UserPqFolder() {
    static const CScratchDir home;
    const std::string folder = home / ".postgresql";
    if (!home.IsMade() || setenv("HOME", home.Path().c_str(), 1) != 0 || mkdir(folder.c_str(), 0700) != 0) {
        return "";
    }
    return folder;
}
