// Counts with their nouns; portable.
#include "core/Counted.h"

std::string Counted(std::size_t count, const char* noun, const char* plural) {
    const std::string word = count == 1 ? noun : plural != nullptr ? plural : std::string(noun) + "s";
    return std::to_string(count) + " " + word;
}
