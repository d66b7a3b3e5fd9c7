// Scratch files for tests.
#include "TestFiles.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

std::string TempFilePath(const char* stem) {
    // Test cases run as parallel processes: a random run tag keeps their files apart.
    static const unsigned long long runTag = std::random_device{}();
    static std::atomic<int> counter{0};
    auto name = std::string("zrv-") + stem + "-" + std::to_string(runTag) + "-" + std::to_string(counter++);
    auto path = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove(path);
    return path.string();
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

#ifdef _WIN32
const char* NullDevicePath() {
    return "NUL";
}
#else
const char* NullDevicePath() {
    return "/dev/null";
}
#endif
