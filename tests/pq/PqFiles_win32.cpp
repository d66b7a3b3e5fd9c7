// The Linux side's files on Wine's drive Z:, and the user's libpq folder under the application data folder;
// Windows side of the seam.
#include "PqFiles.h"

#include <windows.h>

#include <shlobj.h>

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
