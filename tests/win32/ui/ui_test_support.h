// Shared pieces of the window tests under Wine: a host that serves the
// program's own resources and records message boxes, message pumping, and
// rendering into memory DIBs (GetPixel on a window DC reads 0 under Xvfb).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/host_ops.h"
#include "host/win32/win32_text.h"
#include "ui/gdi_util.h"
#include "ui/main_window.h"

namespace brunvald::ui::test {

struct MessageBoxCall {
    Text text;
    Text caption;
    unsigned flags;
};

// Only what the window itself uses is real; the start-up and run procedures
// of the tests are recorders and never reach the rest.
class WindowHost final : public HostOps {
public:
    std::vector<MessageBoxCall> boxes;
    std::vector<Text> traces;
    std::set<Text> missing;               // resources to report as not found
    std::vector<std::uint8_t> fontBytes;  // served instead of the real "China"/"TTF" when not empty

    Bytes LoadResourceData(const Text& typeName, const Text& name) override {
        if (missing.count(name)) throw HostError(u"Ressource " + name + u" nicht gefunden");
        if (name == u"TTF" && !fontBytes.empty()) return {fontBytes.data(), fontBytes.size()};
        const HRSRC found = ::FindResourceW(nullptr, win32::W(name), win32::W(typeName));
        const HGLOBAL loaded = found ? ::LoadResource(nullptr, found) : nullptr;
        if (!loaded) throw HostError(u"Ressource " + name + u" nicht gefunden");
        return {static_cast<const std::uint8_t*>(::LockResource(loaded)), ::SizeofResource(nullptr, found)};
    }
    Text ProgramPath() override { return u"C:\\Spiele\\BRUNVALD.Setup.exe"; }
    void WriteTrace(const Text& line) override { traces.push_back(line); }
    int ShowMessageBox(const Text& text, const Text& caption, unsigned flags) override {
        boxes.push_back({text, caption, flags});
        return 1;
    }

    [[noreturn]] static void Unused() { throw std::logic_error("not used by the window tests"); }
    void ExtractResource(const Text&, const Text&) override { Unused(); }
    bool FileHoldsResource(const Text&, const Text&) override { Unused(); }
    bool StampOfFile(const Text&, FileStamp&) override { Unused(); }
    bool RenameFile(const Text&, const Text&) override { Unused(); }
    bool RenameFileOver(const Text&, const Text&) override { Unused(); }
    bool RemoveFile(const Text&) override { Unused(); }
    bool FileIsPresent(const Text&) override { Unused(); }
    bool FolderIsPresent(const Text&) override { Unused(); }
    FileRead ReadWholeFile(const Text&, std::vector<std::uint8_t>&) override { Unused(); }
    void ReplaceFileAtomically(const Text&, Bytes, Flush) override { Unused(); }
    bool MakeFolders(const Text&) override { Unused(); }
    bool RemoveEmptyFolder(const Text&) override { Unused(); }
    std::vector<Text> FileNamesMatching(const Text&, const Text&) override { Unused(); }
    bool CopyInstaller(const Text&, const Text&) override { Unused(); }
    void ResetAttributes(const Text&) override { Unused(); }
    bool IsProcessRunning(const Text&) override { Unused(); }
    Text CommandLineText() override { Unused(); }
    void ProcessPendingMessages() override { Unused(); }
    void Pause(unsigned) override { Unused(); }
    std::unique_ptr<RegistryAccess> StartRegistryAccess() override { Unused(); }
    Text DecodeAnsi(Bytes) override { Unused(); }
    Text BuildVersionText() override { Unused(); }
    void WriteScriptFile(const Text&, const std::vector<Text>&) override { Unused(); }
    void OpenHidden(const Text&, std::uintptr_t) override { Unused(); }
    Text ShortPathForm(const Text&) override { Unused(); }
};

// Dispatches what is waiting for this thread (a WM_QUIT left by a closed
// window of an earlier test is dropped).
inline void PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// A memory DC with a 32-bit DIB selected, filled with one colour.
class Canvas {
public:
    Canvas(std::int32_t width, std::int32_t height, COLORREF fill = RGB(255, 0, 255))
        : dib_(CreateDib32(width, height)), dc_(::CreateCompatibleDC(nullptr)), select_(dc_.get(), dib_.bitmap.get()) {
        Fill(fill);
    }
    HDC dc() const { return dc_.get(); }
    void Fill(COLORREF colour) {
        ::GdiFlush();
        for (std::int32_t i = 0; i < dib_.width * dib_.height; ++i) dib_.bits[i] = DibPixel(colour);
    }
    // The colour at (x, y) as a COLORREF.
    COLORREF At(std::int32_t x, std::int32_t y) const {
        ::GdiFlush();
        return FromDibPixel(dib_.bits[y * dib_.width + x] & 0x00FFFFFF);
    }
    std::int32_t width() const { return dib_.width; }
    std::int32_t height() const { return dib_.height; }

private:
    Dib dib_;
    unique_hdc dc_;
    unique_select_object select_;
};

// Start-up and run procedures that only count their calls.
struct Calls {
    int formCreate = 0, install = 0, uninstall = 0;
};
inline Calls g_calls;
inline AfterHandler CountFormCreate(HostOps&, InstallerWindow&, ProgramState&) {
    ++g_calls.formCreate;
    return AfterHandler::KeepWindow;
}
inline AfterHandler CountInstall(HostOps&, InstallerWindow&, ProgramState&) {
    ++g_calls.install;
    return AfterHandler::KeepWindow;
}
inline AfterHandler CountUninstall(HostOps&, InstallerWindow&, ProgramState&) {
    ++g_calls.uninstall;
    return AfterHandler::KeepWindow;
}
inline WindowHandlers CountingHandlers() { return {&CountFormCreate, &CountInstall, &CountUninstall}; }

// Puts a test's window procedure in front of a window's own for a scope.
// The test procedure calls Subclass::Forward for what it does not take.
class Subclass {
public:
    Subclass(HWND window, WNDPROC proc) : window_(window) {
        original_ = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
        ::SetPropW(window, L"BrunvaldTestOriginal", reinterpret_cast<HANDLE>(original_));
    }
    ~Subclass() {
        if (::IsWindow(window_)) {
            ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
            ::RemovePropW(window_, L"BrunvaldTestOriginal");
        }
    }
    Subclass(const Subclass&) = delete;
    Subclass& operator=(const Subclass&) = delete;

    static LRESULT Forward(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        const auto original = reinterpret_cast<WNDPROC>(::GetPropW(window, L"BrunvaldTestOriginal"));
        return ::CallWindowProcW(original, window, message, wParam, lParam);
    }

private:
    HWND window_;
    WNDPROC original_;
};

// A test with one window of its own, made hidden with counting procedures;
// the state is ready for a run unless the test says otherwise.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls = {};
        state.readyForRun = true;
    }
    void TearDown() override {
        window.reset();
        PumpMessages();
    }
    MainWindow& Make(WindowHandlers handlers = CountingHandlers()) {
        window = std::make_unique<MainWindow>(host, state, handlers, ::GetModuleHandleW(nullptr));
        EXPECT_TRUE(window->Create());
        return *window;
    }

    WindowHost host;
    ProgramState state;
    std::unique_ptr<MainWindow> window;
};

// The fixture directory of the build tree, seen through Wine's Z: drive.
inline std::string FixturePath(const char* name) { return std::string("Z:") + BRUNVALD_UI_FIXTURES + "/" + name; }

}  // namespace brunvald::ui::test
