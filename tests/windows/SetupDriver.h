// Drives ZRVLinkSetup.exe from another process through window messages only (no synthetic input), and
// prepares the Wine prefix for it: a simulated device's registry keys, a dialog font, the screen's DPI.
// What messages cannot carry across processes, the probe reads from inside the program. Windows side.
#pragma once

#include "SetupProbe.h"
#include "TestFiles.h"
#include "core/ParamSet.h"
#include "platform/HandleOwner.h"

#include <windows.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>

// Every wait gives up after this long: a guard against a hung test, not a speed goal.
constexpr DWORD DRIVER_WAIT_MS = 15000;

// The simulated device's USB instance and the system's list of serial ports, as the detector reads them.
bool ListSerialPort(int port);
bool UnlistSerialPort(int port);
bool AttachDevice(int port); // the device's USB instance names COM<port>
bool DetachDevice();         // the instance is gone
// The dialogs' font does not exist on Linux; map it to a narrow one the system has, or to `face`.
bool SubstituteDialogFont(const char* face = "DejaVu Sans Condensed");
// The screen's DPI for programs started from now on; 0 goes back to the system's default.
bool SetScreenDpi(DWORD dpi);

// A copy of the program under a name of choice in a fresh directory, optionally with an INI file beside
// it, started and owned: ending the object ends the process and removes the directory.
class CSetupProcess {
public:
    CSetupProcess(const std::string& program, const std::string& copyName = "ZRVLinkSetup.exe",
                  const char* iniText = nullptr);
    ~CSetupProcess();

    DWORD Id() const { return m_id; }
    const std::string& Directory() const { return m_directory.Path(); }
    // The main dialog, once it is visible; null when it did not come.
    HWND MainWindow() const;
    // Waits for the process to end; false when it did not.
    bool WaitForExit(DWORD* exitCode) const;

private:
    CScratchDir m_directory;
    CWinHandle m_process;
    DWORD m_id = 0;
};

// A visible top-level dialog of process `pid` (0: any) whose caption starts with `caption` and, when
// `owner` is given, that `owner` owns; null after the wait.
HWND WaitForDialog(DWORD pid, const std::string& caption, HWND owner = nullptr);
// True once `window` no longer exists or is hidden.
bool WaitUntilGone(HWND window);
// Waits until `predicate` holds; false after the wait.
template <typename Predicate>
bool WaitFor(Predicate predicate) {
    for (const DWORD start = GetTickCount(); !predicate(); Sleep(10)) {
        if (GetTickCount() - start > DRIVER_WAIT_MS) {
            return false;
        }
    }
    return true;
}

// A message box as the user sees it.
struct MessageBoxView {
    HWND Window = nullptr;
    std::string Text;
    std::string Buttons; // of "OK", "Cancel", "Yes", "No", joined by '+'
};

// The dialog that WaitForDialog finds, as a message box.
MessageBoxView WaitForMessageBox(DWORD pid, const std::string& caption, HWND owner = nullptr);
// Answers with the button `id` (IDOK, IDCANCEL, IDYES, IDNO) and waits until the box is gone.
bool Answer(const MessageBoxView& box, int id);

std::string WindowText(HWND window);
std::string ItemText(HWND dialog, int id);
bool ItemEnabled(HWND dialog, int id);
// Clicks a button the way the user does: the dialog handles it after this call returns.
void Click(HWND dialog, int id);
// How the main window's controls differ from `expected` (the rate, the addresses and every destination),
// a line for each control; empty when they show it all.
std::string FormDifferences(HWND main, const ParamSet& expected);

// A hidden window of class `className` that collects what it is sent as WM_COPYDATA tagged `tag`, on a
// thread of its own (the sender waits until the data has been taken). It takes only what a trace viewer
// takes: no sender window, and, from a sender in this process (`inProcess`), a NUL after the bytes
// counted; from another process the system copies the counted bytes alone. As a viewer it collects the
// trace log's lines; the probe answers the driver through one.
class CCopyDataCatcher {
public:
    explicit CCopyDataCatcher(const char* className = "TraceWin TRACE Window", ULONG_PTR tag = 0x6E697774,
                              bool inProcess = false);
    ~CCopyDataCatcher();

    bool Running() const { return m_window != nullptr; }
    HWND Window() const { return m_window; }
    std::string Lines() const;
    // The first line that contains `text` is taken only once HoldAt("") lets it through: its sender, and
    // the thread it traces for, wait until then.
    void HoldAt(const std::string& text);
    // True once that line has come.
    bool WaitUntilHeld();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Run(const std::string& className);
    void Take(const std::string& line);

    const ULONG_PTR m_tag;
    const bool m_inProcess;
    std::promise<HWND> m_made; // by the thread, once its window is made (null: it was not)
    HWND m_window = nullptr;   // set once the thread has made it
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::string m_lines;    // guarded by m_lock
    std::string m_holdAt;   // guarded by m_lock; empty: nothing is held
    bool m_holding = false; // guarded by m_lock
    std::thread m_thread;   // last: it starts once the fields above are made
};

// setup_probe.dll hooked into the program's user-interface thread (see SetupProbe.h). It lies beside the
// test programs, which the system searches first.
class CSetupProbe {
public:
    bool Loaded() const { return m_module.Get() != nullptr && m_replies.Running(); }
    // Hooks the thread of `window`; its queries may then name any window of that thread.
    bool Attach(HWND window);
    // The probe's answer about `window`; empty when none came.
    std::string Ask(HWND window, ProbeQuery query, WORD argument = 0);

private:
    CLibraryModule m_module{L"setup_probe.dll"};
    CCopyDataCatcher m_replies{"ZRVLinkSetupProbeReplies", PROBE_REPLY_TAG};
    CWindowsHook m_queryHook;
};
