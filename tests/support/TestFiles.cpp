// Scratch files and folders, and trace captures, for tests; portable.
#include "TestFiles.h"

#include "core/DebugPrint.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

std::string TempFilePath(const char* stem) {
    // Test cases run as parallel processes: a random run tag keeps their files apart.
    static const unsigned long long runTag = std::random_device{}();
    static std::atomic<int> counter{0};
    const auto path = fs::temp_directory_path() / (std::string("zrv-") + stem + "-" + std::to_string(runTag) +
                                                   "-" + std::to_string(counter++));
    fs::remove(path);
    return path.string();
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

CScratchDir::CScratchDir() : m_path(TempFilePath("dir")) {
    std::error_code error;
    m_made = fs::create_directory(m_path, error);
}

CScratchDir::~CScratchDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

std::string CScratchDir::File(const char* name) const {
    return (fs::path(m_path) / name).string();
}

std::string CScratchDir::Write(const char* name, const std::string& bytes) const {
    std::ofstream(File(name), std::ios::binary) << bytes;
    return File(name);
}

std::set<std::string> CScratchDir::Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_path)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string CaptureTrace(const char* name, const std::function<void()>& body) {
    const std::string path = TempFilePath("trace");
    DebugPrintInit(name);
    DebugPrintSetStream(std::fopen(path.c_str(), "wb"));
    body();
    DebugPrintExit();
    std::string text = ReadWholeFile(path);
    std::remove(path.c_str());
    return text;
}

std::string CaptureTraceUnstamped(const std::function<void()>& body) {
    static const std::regex stamp(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}  )");
    return std::regex_replace(CaptureTrace("", body), stamp, "");
}

const char* NullDevicePath() {
#ifdef _WIN32
    return "NUL";
#else
    return "/dev/null";
#endif
}
