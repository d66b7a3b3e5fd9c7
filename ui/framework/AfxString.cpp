// CString: the framework's text type; Windows side (string resources).
#include "ui/framework/AfxString.h"

#include "ui/framework/AfxWin.h"

BOOL CString::LoadString(UINT id) {
    // With a zero length LoadStringA hands out a read-only pointer to the resource's UTF-16 text, so a
    // buffer grown until the text fits is the only way to the multibyte text.
    for (int size = 256; size <= 65536; size *= 4) {
        std::string buffer(static_cast<std::size_t>(size), '\0');
        const int length = ::LoadStringA(AfxGetApp()->m_hInstance, id, &buffer[0], size);
        if (length < size - 1) {
            buffer.resize(static_cast<std::size_t>(length));
            m_text = buffer;
            return length > 0;
        }
    }
    m_text.clear();
    return FALSE;
}
