// Reading a stream or a file whole; portable.
#include "platform/StdFile.h"

bool ReadWholeStream(std::FILE* file, std::string* text, std::size_t limit) {
    char block[8192];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        if (text->size() > limit || got > limit - text->size()) {
            return false;
        }
        text->append(block, got);
    }
    return std::ferror(file) == 0;
}

bool ReadWholeFile(const char* path, std::string* text) {
    const CStdFile file(std::fopen(path, "rb"));
    text->clear();
    return file.Get() != nullptr && ReadWholeStream(file.Get(), text);
}
