// Drives ZRVLinkSetup.exe from another process through window messages, and prepares the Wine prefix
// for it. Windows side.
#include "SetupDriver.h"
#include "core/NameCodec.h"
#include "provisioning/Plan.h"
#include "ui/logic/ControlIds.h"
#include "ui/resource.h"

#include <chrono>
#include <cstring>

namespace {

constexpr const char* USB_INSTANCE_KEY =
    "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_FE5A&PID_0016\\ZRVSIM0001";
constexpr const char* SERIAL_MAP_KEY = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char* DESKTOP_KEY = "Control Panel\\Desktop";
constexpr int MESSAGE_TEXT = 0xFFFF;

bool SetString(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
    return RegSetKeyValueA(root, key.c_str(), name.c_str(), REG_SZ, value.c_str(),
                           static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

// A deletion that found nothing to delete has still left the system as asked.
bool Deleted(LSTATUS status) {
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// The catcher whose thread this is: its window's messages come to that thread.
thread_local CCopyDataCatcher* t_catcher = nullptr;

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

// Of no window, an empty view.
MessageBoxView WaitForMessageBox(DWORD pid, const std::string& caption, HWND owner) {
    MessageBoxView view{WaitForDialog(pid, caption, owner), "", ""};
    view.Text = ItemText(view.Window, MESSAGE_TEXT);
    const std::pair<int, const char*> buttons[] = {
        {IDOK, "OK"}, {IDCANCEL, "Cancel"}, {IDYES, "Yes"}, {IDNO, "No"}};
    for (const auto& [id, name] : buttons) {
        if (IsWindowVisible(GetDlgItem(view.Window, id))) {
            view.Buttons += (view.Buttons.empty() ? "" : "+") + std::string(name);
        }
    }
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

bool SubstituteDialogFont(const char* substitute) {
    // "ＭＳ Ｐゴシック", the dialogs' font.
    const wchar_t face[] = {0xFF2D, 0xFF33, 0x0020, 0xFF30, 0x30B4, 0x30B7, 0x30C3, 0x30AF, 0};
    const std::wstring value(substitute, substitute + std::strlen(substitute)); // an ASCII name
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE,
                           L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes", face, REG_SZ,
                           value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

CCopyDataCatcher::CCopyDataCatcher(const char* className, ULONG_PTR tag, bool inProcess)
    : m_tag(tag), m_inProcess(inProcess), m_thread(&CCopyDataCatcher::Run, this, className) {
    m_window = m_made.get_future().get();
}

CCopyDataCatcher::~CCopyDataCatcher() {
    HoldAt("");
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
    m_changed.notify_all();
}

bool CCopyDataCatcher::WaitUntilHeld() {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, std::chrono::milliseconds(DRIVER_WAIT_MS), [&] { return m_holding; });
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
    t_catcher = this;
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "catcher", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    m_made.set_value(window);
    MSG message;
    while (window != nullptr && GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
}

LRESULT CALLBACK CCopyDataCatcher::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CCopyDataCatcher* catcher = t_catcher;
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
    return m_process.IsOpen() ? WaitForDialog(m_id, "ZRV-Link Setup") : nullptr;
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

bool ItemEnabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

void Click(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

std::string FormDifferences(HWND main, const ParamSet& expected) {
    std::string differences;
    const auto compare = [&](int id, const std::string& wanted, bool checkBox = false) {
        const std::string shown =
            checkBox ? (IsDlgButtonChecked(main, id) == BST_CHECKED ? "checked" : "unchecked")
                     : ItemText(main, id);
        if (shown != wanted) {
            differences += std::to_string(id) + ": \"" + shown + "\" instead of \"" + wanted + "\"\n";
        }
    };
    compare(IDC_BAUDRATE, std::to_string(expected.BaudRate));
    compare(IDC_IPADDRESS, AddressText(expected.IPAddress));
    compare(IDC_SUBNETMASK, AddressText(expected.SubnetMask));
    compare(IDC_GATEWAY, AddressText(expected.Gateway));
    for (int i = 0; i < TARGET_COUNT; ++i) {
        const TargetRowIds& row = TARGET_ROW_IDS.Rows[i];
        compare(row.Check, expected.Target[i].Enable != 0 ? "checked" : "unchecked", true);
        compare(row.Name, DecodeName(expected.Target[i].Name));
        compare(row.Address, AddressText(expected.Target[i].Address));
    }
    return differences;
}

// The hook of `window`'s thread replaces the one before.
bool CSetupProbe::Attach(HWND window) {
    m_queryHook.Reset();
    const HOOKPROC hook = Loaded() ? m_module.Export<HOOKPROC>(PROBE_QUERY_HOOK) : nullptr;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    m_queryHook.Reset(hook != nullptr && thread != 0
                          ? SetWindowsHookExA(WH_GETMESSAGE, hook, m_module.Get(), thread)
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
