// CParamFile: the owner of one configuration record, with its construction defaults; portable.
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

    // Setup files: defined in persistence/ (link zrv_persistence to use them). Each sets FileError.
    bool Load(const char* path);
    bool Save(const char* path);

    ParamSet* GetParam() { return &m_param; }
    const ParamSet* GetParam() const { return &m_param; }

    int32_t FileError = FILE_ERROR_NONE;

private:
    ParamSet m_param;
};
