// Preloading of system DLLs, each case in a fresh process (this program
// started as its own child), since a module once loaded stays for the
// process.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace brunvald::test {
namespace {

// The exit code of this program started as a child with the arguments.
DWORD ChildResult(const std::wstring& arguments) {
    unique_handle child = StartSelf(arguments);
    if (::WaitForSingleObject(child.get(), 30000) != WAIT_OBJECT_0) return ~DWORD{0};
    DWORD code = ~DWORD{0};
    if (!::GetExitCodeProcess(child.get(), &code)) return ~DWORD{0};
    return code;
}

// How many of the names are loaded in a child after it preloaded.
DWORD LoadedAfterPreload(const std::wstring& mode, const std::wstring& names) {
    return ChildResult(L"--child-preload " + mode + L" " + names);
}

// What Wine's built-in DLLs load as delay-loaded imports beside the program,
// whatever the search order: while the window is made and shown, and COM.
const std::wstring kByTheWindow = L"uxtheme.dll msimg32.dll";
const std::wstring kCom = L"rpcrt4.dll combase.dll ole32.dll";
// Of what Windows' own DLLs load by name, those that Wine has and that no
// process loads at its start: needed only without the strict search order.
const std::wstring kWithoutStrictSearch = L"dwmapi.dll oleacc.dll userenv.dll propsys.dll setupapi.dll";

TEST(PreloadSystemDlls, LoadsWhatTheSearchOrderLeavesOpen) {
    struct Case {
        const wchar_t* mode;
        const std::wstring* names;
        DWORD loaded;
    };
    const Case cases[] = {
        {L"strict", &kByTheWindow, 2},
        {L"strict", &kWithoutStrictSearch, 0},  // found in the system folder alone: not worth start-up time
        {L"strict", &kCom, 0},                  // loaded once the window is shown
        {L"loose", &kByTheWindow, 2},
        {L"loose", &kWithoutStrictSearch, 5},
        {L"com", &kCom, 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LoadedAfterPreload(c.mode, *c.names), c.loaded) << Utf8(T(c.mode)) << ": " << Utf8(T(*c.names));
}

// What lets COM be preloaded after the window is shown: with the input method
// on, Wine loads COM at the first activation of a window (by a delay-loaded
// import looked for beside the program); turned off, it does not.
TEST(DisableInputMethod, ShowingAWindowThenLoadsNoCom) {
    EXPECT_EQ(ChildResult(L"--child-show-window on"), 1u) << "control: the input method no longer loads COM";
    EXPECT_EQ(ChildResult(L"--child-show-window off"), 0u);
}

}  // namespace
}  // namespace brunvald::test
