// File access for setup files: reading with other writers shut out, and saving through a temporary file
// that replaces the target only once it is complete on disk; the seam between persistence and the OS.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

// Opens `path` for reading in binary mode; on Windows nobody may write the file while it is open.
// Null on failure; own the stream with CStdFile.
std::FILE* OpenSetupFileForReading(const char* path);

// A save that never loses the previous file: the new content goes to a temporary file beside the target,
// which takes the target's place in Replace, after everything was written and flushed. Until Replace has
// succeeded the target is untouched, and the destructor removes the temporary file.
class CReplacingFile {
public:
    CReplacingFile();
    ~CReplacingFile();
    CReplacingFile(const CReplacingFile&) = delete;
    CReplacingFile& operator=(const CReplacingFile&) = delete;

    // Creates the temporary file for `target`. Fails when the target exists but is not a writable
    // regular file (a symbolic link is followed to its file).
    bool Create(const char* target);
    bool Write(const char* data, std::size_t length);
    // Flushes the temporary file to disk and closes it.
    bool Finish();
    // Puts the finished temporary file in the target's place.
    bool Replace();

private:
    struct State; // per backend
    std::unique_ptr<State> m_state;
};

// The steps of a save at which tests make the OS fail, as a refused file, a full disk or a refused
// rename would.
enum FileStep : int {
    FILE_STEP_CREATE,
    FILE_STEP_WRITE,
    FILE_STEP_FLUSH,
    FILE_STEP_REPLACE,
};

// Asked before each step; true makes the step fail. Null (the default) lets every step reach the OS.
using FileFaultHook = bool (*)(FileStep step);

inline FileFaultHook& FileFaultHookSlot() {
    static FileFaultHook hook = nullptr;
    return hook;
}

// For tests only; call while no save runs.
inline void SetFileFaultHook(FileFaultHook hook) {
    FileFaultHookSlot() = hook;
}

inline bool FileStepFails(FileStep step) {
    const FileFaultHook hook = FileFaultHookSlot();
    return hook != nullptr && hook(step);
}
