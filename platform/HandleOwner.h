// The owners of a Win32 kernel handle, a GDI object, a device context, a windows hook and a loaded DLL,
// and the loop that writes a whole block
// to a file handle; Windows only.
#pragma once

#include <windows.h>

#include <cstddef>

// One owned handle, closed at the end of its life. Win32 reports "no handle" as null (events, threads,
// jobs) or as INVALID_HANDLE_VALUE (files, devices): the owner takes either, and holds null for both.
class CWinHandle {
public:
    CWinHandle() = default;
    explicit CWinHandle(HANDLE handle) : m_handle(Normal(handle)) {}
    ~CWinHandle() { Close(); }
    CWinHandle(const CWinHandle&) = delete;
    CWinHandle& operator=(const CWinHandle&) = delete;

    HANDLE Get() const { return m_handle; }
    bool IsOpen() const { return m_handle != nullptr; }
    // Closes the handle held, if any, and takes `handle`.
    void Reset(HANDLE handle = nullptr) {
        Close();
        m_handle = Normal(handle);
    }
    // Gives the handle up without closing it, for a new owner.
    HANDLE Release() {
        const HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    // False when CloseHandle reports an error (a write that failed late, for instance).
    bool Close();

private:
    static HANDLE Normal(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }

    HANDLE m_handle = nullptr;
};

// One owned GDI object (a font, a brush), deleted at the end of its life. Inline: only the programs
// with windows link the GDI.
class CGdiObject {
public:
    CGdiObject() = default;
    ~CGdiObject() { Reset(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    HGDIOBJ Get() const { return m_object; }
    // Deletes the object held, if any, and takes `object`.
    void Reset(HGDIOBJ object = nullptr) {
        if (m_object != nullptr) {
            ::DeleteObject(m_object);
        }
        m_object = object;
    }

private:
    HGDIOBJ m_object = nullptr;
};

// A window's device context (the screen's for a null window), released at the end of its life. Inline:
// only the programs with windows link the GDI.
class CWindowDC {
public:
    explicit CWindowDC(HWND window) : m_window(window), m_dc(::GetDC(window)) {}
    ~CWindowDC() {
        if (m_dc != nullptr) {
            ::ReleaseDC(m_window, m_dc);
        }
    }
    CWindowDC(const CWindowDC&) = delete;
    CWindowDC& operator=(const CWindowDC&) = delete;

    HDC Get() const { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

// One installed windows hook, removed at the end of its life.
class CWindowsHook {
public:
    CWindowsHook() = default;
    ~CWindowsHook() { Reset(); }
    CWindowsHook(const CWindowsHook&) = delete;
    CWindowsHook& operator=(const CWindowsHook&) = delete;

    HHOOK Get() const { return m_hook; }
    // Removes the hook held, if any, and takes `hook`.
    void Reset(HHOOK hook = nullptr) {
        if (m_hook != nullptr) {
            ::UnhookWindowsHookEx(m_hook);
        }
        m_hook = hook;
    }

private:
    HHOOK m_hook = nullptr;
};

// One loaded DLL, freed at the end of its life. Inline: only the programs that load one need it.
class CLibraryModule {
public:
    CLibraryModule() = default;
    explicit CLibraryModule(const wchar_t* name) { Load(name); }
    ~CLibraryModule() {
        if (m_module != nullptr) {
            ::FreeLibrary(m_module);
        }
    }
    CLibraryModule(const CLibraryModule&) = delete;
    CLibraryModule& operator=(const CLibraryModule&) = delete;

    // Loads `name` unless a DLL is held already; false when none is held afterwards.
    bool Load(const wchar_t* name) {
        m_module = m_module != nullptr ? m_module : ::LoadLibraryW(name);
        return m_module != nullptr;
    }
    HMODULE Get() const { return m_module; }

private:
    HMODULE m_module = nullptr;
};

// Writes all `length` bytes to the file `file` (opened without FILE_FLAG_OVERLAPPED), again after a
// partial write. False when a write fails, with GetLastError telling why (ERROR_WRITE_FAULT for a write
// that took nothing).
bool WriteAll(HANDLE file, const char* data, std::size_t length);
