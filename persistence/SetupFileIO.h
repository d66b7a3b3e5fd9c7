// File access for setup files: reading with other writers shut out, and saving through a temporary file
// that replaces the target only once it is complete on disk; the seam between persistence and the OS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Opens `path` for reading in binary mode; on Windows nobody may write the file while it is open.
// Null on failure, with the system's error code in `*error`; own the stream with CStdFile.
std::FILE* OpenSetupFileForReading(const char* path, int32_t* error);

// A save that never loses the previous file: the new content goes to a temporary file beside the target,
// which takes the target's place in Replace, after everything was written and flushed. Until Replace has
// succeeded the target is untouched, and the destructor removes the temporary file, unless it holds the
// only copy of the new content (KeptFile).
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

    // The system's error code of the step that failed; 0 when none did or the system gave no code.
    int32_t Error() const;
    // After a failed Replace that may have taken the target away (Windows moves the old file aside
    // before it moves the new one in): the temporary file, kept with the new content. Empty otherwise.
    const std::string& KeptFile() const;

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
    FILE_STEP_MOVE, // Windows: moving the temporary file into the place that replacing did not fill
};

// Asked before each step; a result other than 0 makes the step fail with that system error code, as if
// the OS had returned it. Null (the default) lets every step reach the OS.
using FileFaultHook = int32_t (*)(FileStep step);
// Waits before a step is tried again, after another program held the file for a moment. Null (the
// default) sleeps.
using FilePauseHook = void (*)(unsigned milliseconds);

struct FileHooks {
    FileFaultHook Fault = nullptr;
    FilePauseHook Pause = nullptr;
};

inline FileHooks& FileHookSlots() {
    static FileHooks hooks;
    return hooks;
}

// For tests only; call while no save runs.
inline void SetFileFaultHook(FileFaultHook hook) {
    FileHookSlots().Fault = hook;
}
inline void SetFilePauseHook(FilePauseHook hook) {
    FileHookSlots().Pause = hook;
}

// The error code that the hook makes `step` fail with; 0 lets the step reach the OS.
inline int32_t FileStepFault(FileStep step) {
    const FileFaultHook hook = FileHookSlots().Fault;
    return hook != nullptr ? hook(step) : 0;
}
