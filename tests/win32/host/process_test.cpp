// The process walk, the program's own path and end, and message boxes.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "host/win32/win32_host.h"
#include "test_support.h"

namespace brunvald::test {
namespace {

using win32::Win32Host;

// A copy of this program, started under a name in odd letter case, counts as
// running for the name in any case, and no longer once it has ended.
TEST(IsProcessRunning, MatchesTheFileNameInAnyLetterCase) {
    Win32Host host;
    TempFolder folder;
    const Text copy = folder / u"bRuNvAlDkInD.exe";
    unique_handle child = StartSelf(L"--child-wait", copy);

    EXPECT_TRUE(host.IsProcessRunning(u"BrunvaldKind.exe"));
    EXPECT_TRUE(host.IsProcessRunning(u"BRUNVALDKIND.EXE"));
    EXPECT_FALSE(host.IsProcessRunning(u"runvaldKind.exe"));
    EXPECT_FALSE(host.IsProcessRunning(u"BrunvaldKind.ex"));
    EXPECT_FALSE(host.IsProcessRunning(u"Emperor.exe"));

    ::TerminateProcess(child.get(), 0);
    ASSERT_EQ(::WaitForSingleObject(child.get(), 10000), WAIT_OBJECT_0);
    child.reset();
    // The entry may linger until the last handle to the process is gone.
    bool stillSeen = true;
    for (int attempt = 0; attempt < 50 && stillSeen; ++attempt) {
        stillSeen = host.IsProcessRunning(u"BrunvaldKind.exe");
        if (stillSeen) ::Sleep(100);
    }
    EXPECT_FALSE(stillSeen);
}

TEST(IsProcessRunning, FindsThisProgramItself) {
    Win32Host host;
    const Text own = OwnPath();
    const Text name = own.substr(own.find_last_of(u'\\') + 1);
    EXPECT_TRUE(host.IsProcessRunning(name));
}

TEST(ProgramPath, IsTheFullPathOfTheRunningExecutable) {
    Win32Host host;
    const Text path = host.ProgramPath();
    ASSERT_GT(path.size(), 3u);
    EXPECT_EQ(path[1], u':');
    EXPECT_TRUE(::GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES);
    const Text tail = u"brunvald_host_win32_tests.exe";
    EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
}

TEST(CommandLineText, IsThePlatformsCommandLine) {
    Win32Host host;
    EXPECT_EQ(host.CommandLineText(), T(::GetCommandLineW()));
}

// What another thread sees of the message box while it is shown.
struct SeenBox {
    std::wstring text;
    std::wstring caption;
    HWND owner = nullptr;
    bool ownerEnabled = true;
    bool found = false;
};

BOOL CALLBACK FindOwnBox(HWND window, LPARAM param) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    if (process == ::GetCurrentProcessId() && std::wstring(className) == L"#32770" &&
        ::IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }
    return TRUE;
}

// Watches for the box, records it and presses OK.
std::thread Watch(SeenBox& seen, HWND mainWindow) {
    return std::thread([&seen, mainWindow] {
        for (int attempt = 0; attempt < 200; ++attempt) {
            HWND box = nullptr;
            ::EnumWindows(FindOwnBox, reinterpret_cast<LPARAM>(&box));
            if (box) {
                wchar_t buffer[512] = {};
                ::GetDlgItemTextW(box, 0xFFFF, buffer, 512);
                seen.text = buffer;
                ::GetWindowTextW(box, buffer, 512);
                seen.caption = buffer;
                seen.owner = ::GetWindow(box, GW_OWNER);
                seen.ownerEnabled = mainWindow ? ::IsWindowEnabled(mainWindow) != FALSE : true;
                seen.found = true;
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            ::Sleep(50);
        }
    });
}

TEST(ShowMessageBox, IsOwnedByTheActiveWindowAndShowsTextAndCaption) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"BrunvaldBoxOwnerProbe";
    ASSERT_NE(::RegisterClassExW(&windowClass), 0);
    unique_hwnd window(::CreateWindowExW(0, windowClass.lpszClassName, L"Besitzer", WS_OVERLAPPEDWINDOW,
                                         10, 10, 200, 100, nullptr, nullptr, windowClass.hInstance, nullptr));
    ASSERT_TRUE(window);
    ::ShowWindow(window.get(), SW_SHOW);
    ::SetActiveWindow(window.get());
    ASSERT_EQ(::GetActiveWindow(), window.get());

    Win32Host host;
    SeenBox seen;
    std::thread watcher = Watch(seen, window.get());
    const int pressed = host.ShowMessageBox(u"Die Mission wurde installiert.", u"Brunvald", 48);
    watcher.join();

    EXPECT_EQ(pressed, IDOK);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, L"Die Mission wurde installiert.");
    EXPECT_EQ(seen.caption, L"Brunvald");
    EXPECT_EQ(seen.owner, window.get());
    EXPECT_FALSE(seen.ownerEnabled) << "the owner took input while the box was shown";
    EXPECT_TRUE(::IsWindowEnabled(window.get()));
    ::UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
}

TEST(ShowMessageBox, WithoutAnyWindowStillShowsAndReturns) {
    Win32Host host;
    SeenBox seen;
    std::thread watcher = Watch(seen, nullptr);
    const int pressed = host.ShowMessageBox(u"Fehler", u"Brunvald", 16);
    watcher.join();
    EXPECT_EQ(pressed, IDOK);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, L"Fehler");
    EXPECT_EQ(seen.owner, nullptr);
}

int g_received = 0;

LRESULT CALLBACK CountingWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_APP) ++g_received;
    return ::DefWindowProcW(w, m, wp, lp);
}

TEST(ProcessPendingMessages, DispatchesWhatIsQueuedAndLeavesQuitForTheMainLoop) {
    g_received = 0;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = CountingWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"BrunvaldQueueProbe";
    ASSERT_NE(::RegisterClassExW(&windowClass), 0);
    unique_hwnd window(::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 1, 1, HWND_MESSAGE,
                                         nullptr, windowClass.hInstance, nullptr));
    ASSERT_TRUE(window);
    ::PostMessageW(window.get(), WM_APP, 0, 0);
    ::PostMessageW(window.get(), WM_APP, 0, 0);
    Win32Host host;
    host.ProcessPendingMessages();
    EXPECT_EQ(g_received, 2);

    ::PostQuitMessage(5);
    host.ProcessPendingMessages();
    MSG message;
    ASSERT_TRUE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 5u);
    window.reset();
    ::UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
}

}  // namespace
}  // namespace brunvald::test
