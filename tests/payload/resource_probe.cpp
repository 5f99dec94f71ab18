// Looks up the installer's resources through the Windows loader itself (under
// Wine in the tests), the way the installer and the platform find them:
// payload names under the type named "RT_RCDATA" in any letter case and never
// under the numeric data type, the title font under ("China", "TTF") only and
// accepted by AddFontMemResourceEx with the face the window asks for, the
// fixed file version, the icon group and the window's assets.
//
// Linked with exactly the resources of an installer (brunvald_add_installer),
// so what it sees is what Brunvald.exe carries. Exit code: number of failures.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "host/unique_handle.h"
#include "ui/resource_ids.h"

#ifndef BRUNVALD_TITLE_FACE
#error "BRUNVALD_TITLE_FACE must name the embedded font's family"
#endif
#define BRUNVALD_WIDEN2(x) L##x
#define BRUNVALD_WIDEN(x) BRUNVALD_WIDEN2(x)

namespace {

int failures = 0;

void check(bool ok, const std::wstring& what) {
    if (!ok) {
        ++failures;
        std::fwprintf(stderr, L"FAIL: %ls\n", what.c_str());
    }
}

std::wstring lower(std::wstring s) {
    for (auto& c : s)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return s;
}

std::wstring upper(std::wstring s) {
    for (auto& c : s)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return s;
}

// The manifest as the installer reads it: ASCII text, lines split at CR/LF.
std::vector<std::wstring> manifest_names() {
    std::vector<std::wstring> names;
    HRSRC res = FindResourceW(nullptr, L"RCRES", L"RT_RCDATA");
    check(res != nullptr, L"RCRES under the type named RT_RCDATA");
    if (!res) return names;
    auto* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, res)));
    DWORD size = SizeofResource(nullptr, res);
    std::wstring line;
    auto flush = [&] {
        auto blank = line.find(L' ');
        if (blank != std::wstring::npos && blank > 0) names.push_back(line.substr(0, blank));
        line.clear();
    };
    for (DWORD i = 0; i < size; ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') flush();
        else line += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
    }
    flush();
    return names;
}

void check_payload_lookups() {
    auto names = manifest_names();
    check(!names.empty(), L"the manifest lists resources");
    for (const auto& name : names) {
        for (const auto& spelled : {name, upper(name), lower(name)})
            check(FindResourceW(nullptr, spelled.c_str(), L"RT_RCDATA") != nullptr,
                  L"payload " + spelled + L" under the type named RT_RCDATA");
        check(FindResourceW(nullptr, name.c_str(), L"rt_rcdata") != nullptr,
              L"type name found in any case for " + name);
        check(FindResourceW(nullptr, name.c_str(), MAKEINTRESOURCEW(10)) == nullptr,
              L"payload " + name + L" absent under the numeric RT_RCDATA");
    }
    check(FindResourceW(nullptr, L"RCRES", MAKEINTRESOURCEW(10)) == nullptr, L"RCRES absent under numeric RT_RCDATA");
}

void check_font() {
    check(FindResourceW(nullptr, L"CHINA", L"TTF") == nullptr, L"no font under the swapped pair (type TTF, name China)");
    HRSRC res = FindResourceW(nullptr, L"TTF", L"China");
    check(res != nullptr, L"font under type China, name TTF");
    if (!res) return;
    void* data = LockResource(LoadResource(nullptr, res));
    DWORD count = 0;
    brunvald::unique_font_mem font(AddFontMemResourceEx(data, SizeofResource(nullptr, res), nullptr, &count));
    check(font && count >= 1, L"AddFontMemResourceEx accepts the title font");

    // Memory fonts are private and not enumerable: ask for the face and see
    // whether the mapper hands back that face rather than a substitute.
    const wchar_t* face = BRUNVALD_WIDEN(BRUNVALD_TITLE_FACE);
    LOGFONTW lf{};
    lf.lfHeight = -15;
    lf.lfCharSet = DEFAULT_CHARSET;
    std::wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    brunvald::unique_hfont hf(CreateFontIndirectW(&lf));
    brunvald::unique_hdc dc(CreateCompatibleDC(nullptr));
    brunvald::unique_select_object selected(dc.get(), hf.get());
    wchar_t got[LF_FACESIZE] = {};
    GetTextFaceW(dc.get(), LF_FACESIZE, got);
    check(std::wstring(got) == face, std::wstring(L"the title face is available: asked ") + face + L", got " + got);
    // And it is our font, not one of that name installed on the system: the
    // whole font file the DC uses is the resource's bytes.
    DWORD font_size = GetFontData(dc.get(), 0, 0, nullptr, 0);
    std::vector<unsigned char> file(font_size == GDI_ERROR ? 0 : font_size);
    if (!file.empty()) GetFontData(dc.get(), 0, 0, file.data(), font_size);
    check(file.size() == SizeofResource(nullptr, res) && std::memcmp(file.data(), data, file.size()) == 0,
          L"the selected font is the embedded font file (" + std::to_wstring(file.size()) + L" bytes)");
}

void check_version() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    check(size != 0, L"a version block");
    if (!size) return;
    std::vector<unsigned char> block(size);
    GetFileVersionInfoW(path, 0, size, block.data());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    check(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) && fixed, L"fixed file info");
    if (fixed) {
        check(HIWORD(fixed->dwFileVersionMS) == 1 && LOWORD(fixed->dwFileVersionMS) == 2 &&
                  HIWORD(fixed->dwFileVersionLS) == 6593 && LOWORD(fixed->dwFileVersionLS) == 38686,
              L"file version 1.2.6593.38686");
    }
    wchar_t* text = nullptr;
    check(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904E4\\ProductName", reinterpret_cast<void**>(&text), &len) &&
              text && std::wstring(text) == L"Brunvald",
          L"ProductName Brunvald in 040904E4");
}

void check_window_assets() {
    HMODULE self = GetModuleHandleW(nullptr);
    check(FindResourceW(self, MAKEINTRESOURCEW(BRUNVALD_RES_PICTURE), MAKEINTRESOURCEW(10)) != nullptr,
          L"the picture as RCDATA");
    for (int id : {BRUNVALD_RES_BTN_INSTALL, BRUNVALD_RES_BTN_UNINSTALL, BRUNVALD_RES_BTN_CLOSE}) {
        brunvald::unique_hbitmap bmp(static_cast<HBITMAP>(
            LoadImageW(self, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        BITMAP info{};
        check(bmp && GetObjectW(bmp.get(), sizeof info, &info) && info.bmWidth == 146 && info.bmHeight == 34 &&
                  info.bmBitsPixel == 24,
              L"button bitmap " + std::to_wstring(id) + L" is 146 x 34, 24 bpp");
    }
    check(FindResourceW(self, L"MAINICON", MAKEINTRESOURCEW(14)) != nullptr, L"icon group MAINICON");
    for (int side : {16, 24, 32, 48, 256}) {
        brunvald::unique_hicon icon(static_cast<HICON>(LoadImageW(self, L"MAINICON", IMAGE_ICON, side, side, 0)));
        check(static_cast<bool>(icon), L"MAINICON loads at " + std::to_wstring(side));
    }
}

}  // namespace

int wmain() {
    check_payload_lookups();
    check_font();
    check_version();
    check_window_assets();
    std::fwprintf(stderr, L"resource probe: %d failure(s)\n", failures);
    return failures;
}
