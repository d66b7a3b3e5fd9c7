// Text in the system's multibyte code page: how code that walks it tells the first byte of a
// double-byte character; portable (the code page comes as a test function).
#pragma once

// True for a byte that starts a double-byte character in the code page the text is in.
using LeadByteTest = bool (*)(unsigned char);

// A code page without double-byte characters.
inline bool NoLeadBytes(unsigned char) {
    return false;
}
