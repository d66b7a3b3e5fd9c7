// The system's libpq.so.5 through dlopen, and the user's libpq folder under a $HOME of the test's own;
// Linux side of the seam.
#include "PqLibrary.h"
#include "TestFiles.h"

#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>

void* FindPqFunction(const char* name, std::string* error) {
    static void* const library = dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
    void* const function = library != nullptr ? dlsym(library, name) : nullptr;
    if (function == nullptr) {
        const char* reason = dlerror();
        *error = std::string("libpq.so.5: ") + name + ": " + (reason != nullptr ? reason : "not found");
    }
    return function;
}

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
