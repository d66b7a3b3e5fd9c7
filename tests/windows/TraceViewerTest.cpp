// The trace log's viewer delivery on Windows: real windows of the viewer classes receive WM_COPYDATA, and
// a stream, when set, the same line.
#include "core/DebugPrint.h"

#include "TestFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

struct Received {
    std::string ClassName;
    WPARAM Sender;
    ULONG_PTR Tag;
    DWORD Size;
    std::string Text; // lpData up to and including its NUL
};

std::vector<Received> Deliveries;

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        char className[64] = "";
        GetClassNameA(window, className, sizeof className);
        const char* text = static_cast<const char*>(data->lpData);
        Deliveries.push_back(
            {className, wParam, data->dwData, data->cbData, std::string(text, data->cbData + 1)});
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A top-level, hidden window of the given class, as a running viewer has; destroyed with the object.
class CViewerWindow {
public:
    explicit CViewerWindow(const char* className) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ViewerProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = className;
        RegisterClassA(&wc);
        m_window = CreateWindowExA(0, className, "viewer", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                   nullptr, wc.hInstance, nullptr);
    }
    ~CViewerWindow() { DestroyWindow(m_window); }
    CViewerWindow(const CViewerWindow&) = delete;
    CViewerWindow& operator=(const CViewerWindow&) = delete;

private:
    HWND m_window;
};

const char* const TRACEWIN = "TraceWin TRACE Window";
const char* const MFX = "MfxTraceWindow";

// The first running viewer in the order of the classes gets the line, ended by a NUL that cbData does
// not count; a stream gets the same line, whether a viewer runs or not.
TEST(TraceViewer, FirstViewerClassFoundAndTheStreamReceiveTheLine) {
    const struct {
        std::vector<const char*> Running;
        const char* Receiver; // null: nobody
    } cases[] = {
        {{TRACEWIN, MFX}, TRACEWIN},
        {{MFX, TRACEWIN}, TRACEWIN},
        {{MFX}, MFX},
        {{}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Receiver != nullptr ? c.Receiver : "no viewer");
        Deliveries.clear();
        std::vector<std::unique_ptr<CViewerWindow>> windows;
        for (const char* className : c.Running) {
            windows.push_back(std::make_unique<CViewerWindow>(className));
        }
        const std::string line =
            CaptureTrace("ZRVLinkSetup", [] { DebugPrint("WARNING: cannot open COM%d\n", 3); });
        EXPECT_TRUE(std::regex_match(
            line,
            std::regex(R"(ZRVLinkSetup: \d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}  WARNING: cannot open COM3\n)")))
            << line;
        if (c.Receiver == nullptr) {
            EXPECT_TRUE(Deliveries.empty());
            continue;
        }
        ASSERT_EQ(1u, Deliveries.size());
        const Received& r = Deliveries[0];
        EXPECT_EQ(c.Receiver, r.ClassName);
        EXPECT_EQ(0u, r.Sender);
        EXPECT_EQ(0x6E697774u, r.Tag);
        EXPECT_EQ(line, r.Text.substr(0, r.Size)) << "cbData counts the line without its NUL";
        EXPECT_EQ('\0', r.Text.back()) << "the NUL follows the line in lpData";
    }
}

} // namespace
