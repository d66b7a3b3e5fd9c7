// The libpq.dll beside the program through LoadLibrary (what it needs found beside it too), and the
// user's libpq folder under the application data folder; Windows side of the seam.
#include "PqLibrary.h"

#include <windows.h>

#include <shlobj.h>

namespace {

// The folder of this program, with its final backslash.
std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string program(path, length < sizeof path ? length : 0);
    return program.substr(0, program.find_last_of('\\') + 1);
}

} // namespace

void* FindPqFunction(const char* name, std::string* error) {
    static const std::string file = ProgramFolder() + "libpq.dll";
    static const HMODULE library = LoadLibraryExA(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    static const DWORD loadError = GetLastError();
    void* const function =
        library != nullptr ? reinterpret_cast<void*>(GetProcAddress(library, name)) : nullptr;
    if (function == nullptr) {
        const DWORD code = library != nullptr ? GetLastError() : loadError;
        *error = file + ": " + name + ": Windows error " + std::to_string(code);
    }
    return function;
}

// Wine shows the Linux file system as drive Z:.
std::string ProgramPath(const std::string& path) {
    return "Z:" + path;
}

std::string UserPqFolder() {
    char appData[MAX_PATH];
    if (SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, appData) != S_OK) {
        return "";
    }
    const std::string folder = std::string(appData) + "/postgresql";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}
