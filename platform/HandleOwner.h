// The owners of a Win32 kernel handle, a GDI object, a device context, a windows hook and a loaded DLL,
// and the loop that writes a whole block to a file handle; Windows only.
#pragma once

#include "platform/FreedHandle.h"

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

struct GdiObjectRelease {
    static void Free(HGDIOBJ object) { ::DeleteObject(object); }
};
struct WindowsHookRelease {
    static void Free(HHOOK hook) { ::UnhookWindowsHookEx(hook); }
};
struct LibraryModuleRelease {
    static void Free(HMODULE module) { ::FreeLibrary(module); }
};

// A GDI object (a font, a brush), deleted at the end of its life.
using CGdiObject = CFreedHandle<HGDIOBJ, GdiObjectRelease>;
// An installed windows hook, removed at the end of its life.
using CWindowsHook = CFreedHandle<HHOOK, WindowsHookRelease>;

// A loaded DLL, freed at the end of its life.
class CLibraryModule : public CFreedHandle<HMODULE, LibraryModuleRelease> {
public:
    CLibraryModule() = default;
    explicit CLibraryModule(const wchar_t* name) { Load(name); }

    // Loads `name` unless a DLL is held already; false when none is held afterwards.
    bool Load(const wchar_t* name) {
        if (Get() == nullptr) {
            Reset(::LoadLibraryW(name));
        }
        return Get() != nullptr;
    }

    // The DLL's export `name` as a `Function`; null when it has none (an older system).
    template <typename Function>
    Function Export(const char* name) const {
        const FARPROC found = Get() != nullptr ? ::GetProcAddress(Get(), name) : nullptr;
        // Through void (*)(): the one function type that converts to any other without a warning.
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
    }
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

// Writes all `length` bytes to the file `file` (opened without FILE_FLAG_OVERLAPPED), again after a
// partial write. False when a write fails, with GetLastError telling why (ERROR_WRITE_FAULT for a write
// that took nothing).
bool WriteAll(HANDLE file, const char* data, std::size_t length);
