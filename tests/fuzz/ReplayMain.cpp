// Replays inputs through a fuzz target's LLVMFuzzerTestOneInput without libFuzzer, so that every build
// exercises the seed corpus: every file below the folder given.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    std::error_code error; // a folder that is not there replays nothing, which fails below
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argc == 2 ? argv[1] : "", error)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::ifstream file(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const std::size_t size = bytes.size();
        bytes.push_back(0); // a valid pointer even for an empty input
        LLVMFuzzerTestOneInput(bytes.data(), size);
        ++replayed;
    }
    std::printf("%zu inputs replayed\n", replayed);
    return replayed == 0 ? 1 : 0;
}
