// CParamFile::Load and CParamFile::Save: setup files read line by line and saved without ever losing the
// previous file; portable (file access goes through the SetupFileIO seam).
#include "core/DebugPrint.h"
#include "core/ParamFile.h"
#include "persistence/SetupFileIO.h"
#include "persistence/SetupLines.h"
#include "persistence/StdFile.h"

#include <cstring>

namespace {

bool WriteSetupLines(const ParamSet& set, CReplacingFile* file) {
    char line[SETUP_LINE_SIZE];
    for (int i = 0; i < SetupLineCount(); ++i) {
        if (!FormatSetupLine(set, i, line, sizeof line) || !file->Write(line, std::strlen(line))) {
            return false;
        }
    }
    return true;
}

} // namespace

bool CParamFile::Load(const char* path) {
    FileError = FILE_ERROR_NONE;
    const char* name = path != nullptr ? path : "";
    CStdFile file(OpenSetupFileForReading(name));
    if (file.Get() == nullptr) {
        DebugPrint("WARNING: cannot open file %s\n", name);
        FileError = FILE_ERROR_OPEN;
        return false;
    }
    // Not the construction defaults: what the file does not name stays zero.
    std::memset(&m_param, 0, sizeof m_param);
    char line[SETUP_LINE_SIZE];
    while (std::fgets(line, sizeof line, file.Get()) != nullptr) {
        if (!ApplySetupLine(&m_param, line)) {
            FileError = FILE_ERROR_CONTENT;
            return false;
        }
    }
    // A read error is not the end of the file: the record would be incomplete.
    if (std::ferror(file.Get())) {
        DebugPrint("WARNING: cannot read file %s\n", name);
        FileError = FILE_ERROR_OPEN;
        return false;
    }
    return true;
}

bool CParamFile::Save(const char* path) {
    FileError = FILE_ERROR_NONE;
    if (path == nullptr || path[0] == '\0') {
        FileError = FILE_ERROR_WRITE;
        return false;
    }
    CReplacingFile file;
    if (!file.Create(path)) {
        DebugPrint("WARNING: cannot open file %s\n", path);
        FileError = FILE_ERROR_WRITE;
        return false;
    }
    if (!WriteSetupLines(m_param, &file) || !file.Finish()) {
        FileError = FILE_ERROR_WRITE;
        return false;
    }
    // A target that refuses to be replaced is one that cannot be opened for writing.
    if (!file.Replace()) {
        DebugPrint("WARNING: cannot open file %s\n", path);
        FileError = FILE_ERROR_WRITE;
        return false;
    }
    return true;
}
