// CString: the framework's text type, multibyte text in the system's ANSI code page; Windows side.
#pragma once

#include <windows.h>

#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text != nullptr ? text : "") {}
    CString(const std::string& text) : m_text(text) {}

    operator const char*() const { return m_text.c_str(); }
    const std::string& Str() const { return m_text; }
    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }

    // The text of string resource `id` of the program; false (and empty text) when there is none.
    BOOL LoadString(UINT id);

private:
    std::string m_text;
};
