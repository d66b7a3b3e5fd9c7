// Fuzz target: CParamFile::Load on arbitrary bytes (through a scratch file), and for every file it
// accepts, that Save and Load give the same record back.
#include "core/ParamFile.h"

#include "TestFiles.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// The scratch files of this process, removed at exit.
struct CScratchPaths {
    std::string Input = TempFilePath("fuzz-load");
    std::string Saved = TempFilePath("fuzz-save");
    CScratchPaths() = default;
    ~CScratchPaths() {
        std::remove(Input.c_str());
        std::remove(Saved.c_str());
    }
    CScratchPaths(const CScratchPaths&) = delete;
    CScratchPaths& operator=(const CScratchPaths&) = delete;
};

bool WriteBytes(const std::string& path, const uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

// A name cut at 64 characters may end in a blank that the reader trims on the next load: such records
// cannot round-trip, by the file format's rules.
bool RoundTrips(const ParamSet& set) {
    for (const ParamTarget& target : set.Target) {
        const std::size_t length = strnlen(target.Name, sizeof target.Name);
        if (length > 0 && (target.Name[length - 1] == ' ' || target.Name[length - 1] == '\t')) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const CScratchPaths paths;
    Check(WriteBytes(paths.Input, data, size));
    CParamFile loaded;
    if (!loaded.Load(paths.Input.c_str())) {
        Check(loaded.FileError == FILE_ERROR_CONTENT); // the file was just written: it opens
        return 0;
    }
    if (!RoundTrips(*loaded.GetParam())) {
        return 0;
    }
    CParamFile again;
    Check(loaded.Save(paths.Saved.c_str()) && again.Load(paths.Saved.c_str()) &&
          std::memcmp(loaded.GetParam(), again.GetParam(), sizeof(ParamSet)) == 0 && again.KeysLoaded == 36);
    return 0;
}
