// What a PC's reply framer keeps of the bytes a device sends; test side of the simulated serial link.
#pragma once

#include <string>

// CR, LF and 0x20 to 0x7F; every other byte is dropped on the PC's side.
inline std::string KeptByFramer(const std::string& bytes) {
    std::string kept;
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b == '\r' || b == '\n' || (b >= 0x20 && b <= 0x7F)) {
            kept += c;
        }
    }
    return kept;
}
