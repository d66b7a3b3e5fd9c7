// Scratch files and folders, trace captures and small text helpers, for every test tier and the
// benchmarks; portable.
#pragma once

#include <functional>
#include <set>
#include <string>

// A path for a file that does not exist yet, unique within this process run.
std::string TempFilePath(const char* stem);

// The platform's null device ("/dev/null", "NUL"): it opens like a file but is none.
const char* NullDevicePath();

// The whole content of the file at `path`; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// A folder of its own in the temporary directory, removed with everything in it.
class CScratchDir {
public:
    CScratchDir();
    ~CScratchDir();
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    bool IsMade() const { return m_made; }
    const std::string& Path() const { return m_path; }
    std::string File(const char* name) const;
    std::string operator/(const std::string& name) const { return File(name.c_str()); }
    // Writes `bytes` as the whole of file `name` and returns its path.
    std::string Write(const char* name, const std::string& bytes) const;
    // The names of the entries in the folder now.
    std::set<std::string> Names() const;

private:
    std::string m_path;
    bool m_made = false;
};

// `text` `times` times over.
std::string Repeat(const std::string& text, int times);

// The value of the environment variable `name`; empty when it is not set.
std::string EnvironmentText(const char* name);

// What the trace received while `body` ran, tracing under `name`.
std::string CaptureTrace(const char* name, const std::function<void()>& body);
// The same without the time stamps that open each line.
std::string CaptureTraceUnstamped(const std::function<void()>& body);
