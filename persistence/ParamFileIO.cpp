// CParamFile::Load and CParamFile::Save: setup files read line by line and saved without ever losing the
// previous file; portable (file access goes through the SetupFileIO seam).
#include "core/DebugPrint.h"
#include "persistence/ByteOrderMark.h"
#include "persistence/ParamFile.h"
#include "persistence/SetupFileIO.h"
#include "persistence/SetupLines.h"
#include "platform/StdFile.h"
#include "platform/SystemError.h"

#include <cstring>
#include <string_view>

namespace {

enum PieceResult : int {
    PIECE_READ,
    PIECE_END,      // the file has no more bytes
    PIECE_NUL_BYTE, // no setup file holds one: the text is binary or UTF-16
    PIECE_FAILED,   // the system could not read the file
};

// The next piece of a line: its bytes up to and including LF, at most size - 1 of them, terminated.
PieceResult ReadLinePiece(std::FILE* file, char* line, std::size_t size) {
    std::size_t length = 0;
    while (length + 1 < size) {
        const int c = std::getc(file);
        if (c == EOF) {
            break;
        }
        if (c == '\0') {
            return PIECE_NUL_BYTE;
        }
        line[length++] = static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    line[length] = '\0';
    // A read error is not the end of the file: the record would be incomplete.
    if (std::ferror(file)) {
        return PIECE_FAILED;
    }
    return length > 0 ? PIECE_READ : PIECE_END;
}

// Leaves `file` after a UTF-8 byte order mark, or at its start. FILE_ERROR_CONTENT for a UTF-16 mark,
// FILE_ERROR_OPEN when the start could not be read.
int32_t SkipByteOrderMark(std::FILE* file) {
    char head[BOM_PROBE_SIZE];
    const std::size_t length = std::fread(head, 1, sizeof head, file);
    if (std::ferror(file)) {
        return FILE_ERROR_OPEN;
    }
    const std::string_view start(head, length);
    if (StartsWithUtf16Bom(start)) {
        return FILE_ERROR_CONTENT;
    }
    return std::fseek(file, static_cast<long>(Utf8BomLength(start)), SEEK_SET) == 0 ? FILE_ERROR_NONE
                                                                                    : FILE_ERROR_OPEN;
}

// Reads the lines of `file` into `set` and counts those that set a key. Returns the FileError.
int32_t ReadSetupLines(std::FILE* file, ParamSet* set, int32_t* keys) {
    const int32_t start = SkipByteOrderMark(file);
    if (start != FILE_ERROR_NONE) {
        return start;
    }
    char line[SETUP_LINE_SIZE];
    for (;;) {
        switch (ReadLinePiece(file, line, sizeof line)) {
        case PIECE_END:
            return FILE_ERROR_NONE;
        case PIECE_FAILED:
            return FILE_ERROR_OPEN;
        case PIECE_NUL_BYTE:
            return FILE_ERROR_CONTENT;
        default:
            break;
        }
        const SetupLineResult applied = ApplySetupLine(set, line);
        if (applied == SETUP_LINE_REJECTED) {
            return FILE_ERROR_CONTENT;
        }
        *keys += applied == SETUP_LINE_APPLIED ? 1 : 0;
    }
}

bool WriteSetupLines(const ParamSet& set, CReplacingFile* file) {
    char line[SETUP_LINE_SIZE];
    for (int i = 0; i < SetupLineCount(); ++i) {
        if (!FormatSetupLine(set, i, line, sizeof line) || !file->Write(line, std::strlen(line))) {
            return false;
        }
    }
    return true;
}

unsigned long TracedCode(int32_t code) {
    return static_cast<unsigned long>(static_cast<uint32_t>(code));
}

} // namespace

bool CParamFile::Load(const char* path) {
    FileError = FILE_ERROR_NONE;
    SystemError = 0;
    KeysLoaded = 0;
    const char* name = path != nullptr ? path : "";
    CStdFile file(OpenSetupFileForReading(name, &SystemError));
    if (file.Get() == nullptr) {
        DebugPrint("WARNING: cannot open file %s: error %lu\n", name, TracedCode(SystemError));
        FileError = FILE_ERROR_OPEN;
        return false;
    }
    // Not the construction defaults: what the file does not name stays zero.
    std::memset(&m_param, 0, sizeof m_param);
    FileError = ReadSetupLines(file.Get(), &m_param, &KeysLoaded);
    if (FileError == FILE_ERROR_OPEN) {
        SystemError = LastSystemError(); // of the read that failed: nothing ran since
        DebugPrint("WARNING: cannot read file %s: error %lu\n", name, TracedCode(SystemError));
    }
    return FileError == FILE_ERROR_NONE;
}

bool CParamFile::Save(const char* path) {
    FileError = FILE_ERROR_NONE;
    SystemError = 0;
    if (path == nullptr || path[0] == '\0') {
        FileError = FILE_ERROR_WRITE;
        return false;
    }
    CReplacingFile file;
    bool saved = file.Create(path);
    if (!saved) {
        DebugPrint("WARNING: cannot open file %s: error %lu\n", path, TracedCode(file.Error()));
    } else if (!WriteSetupLines(m_param, &file) || !file.Finish()) {
        saved = false;
    } else if (!file.Replace()) {
        // A target that refuses to be replaced is one that cannot be opened for writing.
        saved = false;
        if (file.KeptFile().empty()) {
            DebugPrint("WARNING: cannot open file %s: error %lu\n", path, TracedCode(file.Error()));
        } else {
            DebugPrint("WARNING: cannot open file %s: error %lu; the new content is kept in %s\n", path,
                       TracedCode(file.Error()), file.KeptFile().c_str());
        }
    }
    if (!saved) {
        FileError = FILE_ERROR_WRITE;
        SystemError = file.Error();
    }
    return saved;
}
