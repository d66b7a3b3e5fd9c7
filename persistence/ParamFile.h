// CParamFile: the owner of one configuration record, with its construction defaults and its setup files;
// portable.
#pragma once

#include "core/ParamSet.h"

#include <cstdint>

// Result of the last setup-file operation.
enum FileErrorCode : int32_t {
    FILE_ERROR_NONE = 0,
    FILE_ERROR_OPEN = 1,    // the file could not be opened for reading
    FILE_ERROR_WRITE = 2,   // the file could not be written
    FILE_ERROR_CONTENT = 3, // the file's content was rejected
};

class CParamFile {
public:
    // The record holds the key table's defaults: BaudRate 115200, every address 0.0.0.0, every
    // destination disabled and unnamed.
    CParamFile();
    virtual ~CParamFile() = default;

    // Records move between owners as whole ParamSets (*a.GetParam() = *b.GetParam()), which leaves
    // FileError where it was; owners themselves are not copied.
    CParamFile(const CParamFile&) = delete;
    CParamFile& operator=(const CParamFile&) = delete;

    // Setup files (ParamFileIO.cpp). Each sets FileError and SystemError; Load also sets KeysLoaded.
    bool Load(const char* path);
    bool Save(const char* path);

    ParamSet* GetParam() { return &m_param; }
    const ParamSet* GetParam() const { return &m_param; }

    int32_t FileError = FILE_ERROR_NONE;
    // The operating system's error code behind FILE_ERROR_OPEN or FILE_ERROR_WRITE (errno,
    // GetLastError()); 0 when the system reported none (an empty path, a rejected content, success).
    int32_t SystemError = 0;
    // How many lines of the last successful Load set a key. A file without any (empty, or only comments
    // and text without '=') loads as an all-zero record, which a caller may not want to send anywhere.
    int32_t KeysLoaded = 0;

private:
    ParamSet m_param;
};
