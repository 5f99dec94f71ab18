// The host test program. Besides running the tests it serves as its own
// helper process for the tests that need a second one:
//   --child-wait              stays alive (up to a minute) until killed
//   --child-preload strict|loose NAME...
//                             preloads the system DLLs as the installer does
//                             with the strict search order in force or not;
//                             the exit code is how many NAMEs are then loaded
#include <gtest/gtest.h>

#include <string>

#include "host/win32/dll_search.h"

namespace {

int PreloadChild(int argc, wchar_t** argv) {
    brunvald::win32::PreloadSystemDlls(std::wstring(argv[2]) == L"strict");
    int loaded = 0;
    for (int i = 3; i < argc; ++i) loaded += ::GetModuleHandleW(argv[i]) != nullptr;
    return loaded;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]) == L"--child-wait") {
        ::Sleep(60000);
        return 0;
    }
    if (argc > 2 && std::wstring(argv[1]) == L"--child-preload") return PreloadChild(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
