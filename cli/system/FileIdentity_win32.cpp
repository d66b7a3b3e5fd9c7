// Which file a path leads to, on Windows: the volume serial number and file index of the file that
// opens (links followed). The Win32 side of the file-identity seam.
#include "cli/system/FileIdentity.h"

#include "platform/HandleOwner.h"

#include <windows.h>

namespace {

// Opened for its attributes only, sharing everything, so that no user of the file is disturbed.
bool IdentifyFile(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    const CWinHandle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.IsOpen() && GetFileInformationByHandle(file.Get(), info) != 0;
}

} // namespace

bool IsSameFile(const std::string& first, const std::string& second) {
    BY_HANDLE_FILE_INFORMATION one{};
    BY_HANDLE_FILE_INFORMATION other{};
    return IdentifyFile(first, &one) && IdentifyFile(second, &other) &&
           one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}
