// Drives ZRVLinkSetup.exe from another process through window messages, and prepares the Wine prefix
// for it. Windows side.
#include "SetupDriver.h"

#include <commctrl.h>

#include <chrono>

namespace {

constexpr const char* USB_INSTANCE_KEY =
    "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_FE5A&PID_0016\\ZRVSIM0001";
constexpr const char* SERIAL_MAP_KEY = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char* DESKTOP_KEY = "Control Panel\\Desktop";
constexpr int FILE_NAME_COMBO = 0x47C;
constexpr int FILE_NAME_EDIT = 0x480;
constexpr int MESSAGE_TEXT = 0xFFFF;

bool SetString(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
    return RegSetKeyValueA(root, key.c_str(), name.c_str(), REG_SZ, value.c_str(),
                           static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

// A deletion that found nothing to delete has still left the system as asked.
bool Deleted(LSTATUS status) {
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// The value that lists COM<port> in the system's serial-port map.
std::string SerialMapName(int port) {
    return "\\Device\\ZrvSim" + std::to_string(port);
}

} // namespace

// Top-level dialogs are of the class "#32770".
HWND WaitForDialog(DWORD pid, const std::string& caption, HWND owner) {
    HWND found = nullptr;
    WaitFor([&] {
        for (found = FindWindowExA(nullptr, nullptr, "#32770", nullptr); found != nullptr;
             found = FindWindowExA(nullptr, found, "#32770", nullptr)) {
            DWORD id = 0;
            GetWindowThreadProcessId(found, &id);
            if ((pid == 0 || id == pid) && IsWindowVisible(found) &&
                (owner == nullptr || GetWindow(found, GW_OWNER) == owner) &&
                WindowText(found).rfind(caption, 0) == 0) {
                return true;
            }
        }
        return false;
    });
    return found;
}

MessageBoxView WaitForMessageBox(DWORD pid, const std::string& caption, HWND owner) {
    const HWND box = WaitForDialog(pid, caption, owner);
    MessageBoxView view;
    view.Window = box;
    const std::pair<int, const char*> buttons[] = {
        {IDOK, "OK"}, {IDCANCEL, "Cancel"}, {IDYES, "Yes"}, {IDNO, "No"}};
    for (const auto& [id, name] : buttons) {
        if (box != nullptr && ItemVisible(box, id)) {
            view.Buttons += (view.Buttons.empty() ? "" : "+") + std::string(name);
        }
    }
    view.Text = box != nullptr ? ItemText(box, MESSAGE_TEXT) : "";
    return view;
}

bool ListSerialPort(int port) {
    return SetString(HKEY_LOCAL_MACHINE, SERIAL_MAP_KEY, SerialMapName(port), "COM" + std::to_string(port));
}

bool UnlistSerialPort(int port) {
    return Deleted(RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SERIAL_MAP_KEY, SerialMapName(port).c_str()));
}

bool AttachDevice(int port) {
    return SetString(HKEY_LOCAL_MACHINE, std::string(USB_INSTANCE_KEY) + "\\Device Parameters", "PortName",
                     "COM" + std::to_string(port));
}

bool DetachDevice() {
    return Deleted(RegDeleteTreeA(HKEY_LOCAL_MACHINE, USB_INSTANCE_KEY));
}

bool SetScreenDpi(DWORD dpi) {
    if (dpi == 0) {
        return Deleted(RegDeleteKeyValueA(HKEY_CURRENT_USER, DESKTOP_KEY, "LogPixels"));
    }
    return RegSetKeyValueA(HKEY_CURRENT_USER, DESKTOP_KEY, "LogPixels", REG_DWORD, &dpi, sizeof dpi) ==
           ERROR_SUCCESS;
}

bool SubstituteDialogFont(const wchar_t* substitute) {
    // "ＭＳ Ｐゴシック", the dialogs' font.
    const wchar_t face[] = {0xFF2D, 0xFF33, 0x0020, 0xFF30, 0x30B4, 0x30B7, 0x30C3, 0x30AF, 0};
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE,
                           L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes", face, REG_SZ,
                           substitute,
                           static_cast<DWORD>((wcslen(substitute) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The system names the font it made for a face it does not have after the one it took instead.
bool FontInstalled(const wchar_t* face) {
    LOGFONTW description = {};
    description.lfHeight = -12;
    description.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(description.lfFaceName, face, LF_FACESIZE);
    CGdiObject font;
    font.Reset(CreateFontIndirectW(&description));
    const CWindowDC dc(nullptr);
    const HGDIOBJ old = SelectObject(dc.Get(), font.Get());
    wchar_t made[LF_FACESIZE] = {};
    GetTextFaceW(dc.Get(), LF_FACESIZE, made);
    SelectObject(dc.Get(), old);
    return lstrcmpiW(made, face) == 0;
}

CCopyDataCatcher::CCopyDataCatcher(const char* className, ULONG_PTR tag, bool inProcess)
    : m_tag(tag), m_inProcess(inProcess), m_thread(&CCopyDataCatcher::Run, this, className) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [&] { return m_ready; });
}

CCopyDataCatcher::~CCopyDataCatcher() {
    Release();
    if (m_window != nullptr) {
        PostMessageA(m_window, WM_CLOSE, 0, 0);
    }
    m_thread.join();
}

std::string CCopyDataCatcher::Lines() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_lines;
}

void CCopyDataCatcher::HoldAt(const std::string& text) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_holdAt = text;
    m_holding = false;
}

bool CCopyDataCatcher::WaitUntilHeld() {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, std::chrono::milliseconds(DRIVER_WAIT_MS), [&] { return m_holding; });
}

void CCopyDataCatcher::Release() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_holdAt.clear();
    m_changed.notify_all();
}

// On the catcher's thread, while the sender waits for the line to be taken.
void CCopyDataCatcher::Take(const std::string& line) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_lines += line;
    const bool held = !m_holdAt.empty() && line.find(m_holdAt) != std::string::npos;
    m_holding = m_holding || held;
    m_changed.notify_all();
    if (held) {
        m_changed.wait(hold, [&] { return m_holdAt.empty(); });
    }
}

void CCopyDataCatcher::Run(const std::string& className) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className.c_str();
    RegisterClassA(&windowClass); // already registered by an earlier catcher: fine
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "catcher", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                  nullptr, windowClass.hInstance, this);
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_window = window;
        m_ready = true;
        m_changed.notify_all();
    }
    MSG message;
    while (window != nullptr && GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
}

LRESULT CALLBACK CCopyDataCatcher::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrA(
            window, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    }
    auto* catcher = reinterpret_cast<CCopyDataCatcher*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (message == WM_COPYDATA && catcher != nullptr && data->dwData == catcher->m_tag && wParam == 0) {
        const char* text = static_cast<const char*>(data->lpData);
        if (catcher->m_inProcess && text[data->cbData] != '\0') {
            return FALSE;
        }
        catcher->Take(std::string(text, data->cbData));
        return TRUE;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

CSetupProcess::CSetupProcess(const std::string& program, const std::string& copyName, const char* iniText) {
    const std::string copy = m_directory.File(copyName.c_str());
    if (!m_directory.IsMade() || !CopyFileA(program.c_str(), copy.c_str(), FALSE)) {
        return;
    }
    if (iniText != nullptr) {
        m_directory.Write("ZRVLinkSetup.ini", iniText);
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string commandLine = "\"" + copy + "\"";
    // The program's current directory is the test's, so the file dialogs start somewhere known.
    if (CreateProcessA(copy.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                       m_directory.Path().c_str(), &startup, &info)) {
        CWinHandle(info.hThread).Close();
        m_process.Reset(info.hProcess);
        m_id = info.dwProcessId;
    }
}

// The process ends before its folder goes.
CSetupProcess::~CSetupProcess() {
    if (m_process.IsOpen() && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_process.Get(), 99);
        WaitForSingleObject(m_process.Get(), DRIVER_WAIT_MS);
    }
}

HWND CSetupProcess::MainWindow() const {
    return Started() ? WaitForDialog(m_id, "ZRV-Link Setup") : nullptr;
}

bool CSetupProcess::WaitForExit(DWORD* exitCode) const {
    return m_process.IsOpen() && WaitForSingleObject(m_process.Get(), DRIVER_WAIT_MS) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(m_process.Get(), exitCode) != 0;
}

bool WaitUntilGone(HWND window) {
    return WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

bool Answer(const MessageBoxView& box, int id) {
    PostMessageA(box.Window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    return WaitUntilGone(box.Window);
}

std::string WindowText(HWND window) {
    char text[1024] = {};
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string ItemText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
}

void SetItemText(HWND dialog, int id, const std::string& text) {
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool ItemVisible(HWND dialog, int id) {
    return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE;
}

// Across processes the system converts no item text between code pages: ask for it in UTF-16, the
// common dialogs' own.
std::vector<std::string> ListItems(HWND dialog, int id) {
    HWND list = GetDlgItem(dialog, id);
    std::vector<std::string> items;
    for (LRESULT i = 0, count = SendMessageW(list, CB_GETCOUNT, 0, 0); i < count; ++i) {
        wchar_t text[256] = {};
        char bytes[512] = {};
        if (SendMessageW(list, CB_GETLBTEXTLEN, i, 0) < 256) {
            SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        }
        WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof bytes - 1, nullptr, nullptr);
        items.push_back(bytes);
    }
    return items;
}

bool ItemEnabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

bool ItemChecked(HWND dialog, int id) {
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetItemChecked(HWND dialog, int id, bool checked) {
    SendMessageA(GetDlgItem(dialog, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool SelectItem(HWND dialog, int id, const std::string& text) {
    HWND list = GetDlgItem(dialog, id);
    if (SendMessageA(list, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(text.c_str())) == CB_ERR) {
        return false;
    }
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return true;
}

void SetAddress(HWND dialog, int id, uint32_t address) {
    SendMessageA(GetDlgItem(dialog, id), IPM_SETADDRESS, 0, static_cast<LPARAM>(address));
}

void ClearAddress(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), IPM_CLEARADDRESS, 0, 0);
}

void Click(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void TypeText(HWND control, const std::string& text) {
    for (char character : text) {
        SendMessageA(control, WM_CHAR, static_cast<unsigned char>(character), 0);
    }
}

HWND FocusedWindow(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

RECT ClientOnScreen(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    return client;
}

RECT WorkAreaOf(HWND window) {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

bool Contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// Wine starts a Linux program without giving a handle to wait on: it writes the picture under another name
// and renames it when done, and the rename is what is waited for.
bool SaveScreenshot(const std::string& pngName) {
    const std::string folder = EnvironmentText("ZRV_ARTIFACTS");
    if (folder.empty()) {
        return false;
    }
    const std::string done = folder + "/" + pngName;
    const std::string writing = folder + "/." + pngName;
    const std::string doneHere = "Z:" + done; // Wine's drive Z: is the Linux root
    DeleteFileA(doneHere.c_str());
    std::string commandLine =
        "/bin/sh -c \"import -window root '" + writing + "' && mv '" + writing + "' '" + done + "'\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return false;
    }
    CWinHandle(info.hThread).Close();
    CWinHandle(info.hProcess).Close();
    return WaitFor([&] { return GetFileAttributesA(doneHere.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

// The file-name box is a combo whose text is its edit's, or a plain edit.
bool ChooseFile(HWND fileDialog, const std::string& path) {
    HWND name = nullptr;
    if (!WaitFor([&] {
            name = GetDlgItem(fileDialog, FILE_NAME_COMBO);
            name = name != nullptr ? name : GetDlgItem(fileDialog, FILE_NAME_EDIT);
            return name != nullptr;
        })) {
        return false;
    }
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageA(fileDialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return true;
}

// The hook of `window`'s thread replaces the one before.
bool CSetupProbe::Attach(HWND window) {
    m_queryHook.Reset();
    const FARPROC hook = Loaded() ? GetProcAddress(m_module.Get(), PROBE_QUERY_HOOK) : nullptr;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    m_queryHook.Reset(hook != nullptr && thread != 0
                          ? SetWindowsHookExA(WH_GETMESSAGE,
                                              reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(hook)),
                                              m_module.Get(), thread)
                          : nullptr);
    return m_queryHook.Get() != nullptr;
}

std::string CSetupProbe::Ask(HWND window, ProbeQuery query, WORD argument) {
    const std::size_t before = m_replies.Lines().size();
    if (m_queryHook.Get() == nullptr || !PostMessageA(window, ProbeMessage(), MAKEWPARAM(query, argument),
                                                      reinterpret_cast<LPARAM>(m_replies.Window()))) {
        return std::string();
    }
    std::string replies;
    WaitFor([&] {
        replies = m_replies.Lines();
        return replies.size() > before;
    });
    return replies.substr(before);
}
