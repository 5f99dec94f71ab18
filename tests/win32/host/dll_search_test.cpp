// Preloading of system DLLs, each case in a fresh process (this program
// started as its own child), since a module once loaded stays for the
// process.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace brunvald::test {
namespace {

// How many of the names are loaded in a child after it preloaded.
DWORD LoadedAfterPreload(const std::wstring& mode, const std::wstring& names) {
    unique_handle child = StartSelf(L"--child-preload " + mode + L" " + names);
    if (::WaitForSingleObject(child.get(), 30000) != WAIT_OBJECT_0) return ~DWORD{0};
    DWORD code = ~DWORD{0};
    if (!::GetExitCodeProcess(child.get(), &code)) return ~DWORD{0};
    return code;
}

// What Wine's built-in DLLs load as delay-loaded imports beside the program:
// loaded whatever the search order.
const std::wstring kAlways = L"uxtheme.dll msimg32.dll rpcrt4.dll combase.dll ole32.dll";
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
        {L"strict", &kAlways, 5},
        {L"strict", &kWithoutStrictSearch, 0},  // found in the system folder alone: not worth start-up time
        {L"loose", &kAlways, 5},
        {L"loose", &kWithoutStrictSearch, 5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LoadedAfterPreload(c.mode, *c.names), c.loaded) << Utf8(T(c.mode)) << ": " << Utf8(T(*c.names));
}

}  // namespace
}  // namespace brunvald::test
