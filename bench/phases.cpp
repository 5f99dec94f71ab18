// bench-phases: the installer's start-up steps that the floor program does
// not have, each timed as the first call of its kind in a fresh process (as
// they are at start-up), so that a start-up slower than the floor can be
// taken apart.
//
//   bench-phases FONT_FILE OUT_FILE
//   bench-phases --pause MS OUT_FILE    how long Sleep(MS) really takes
//   bench-phases --write FOLDER PIECE OUT_FILE
//                                       four files of 50 MiB written from
//                                       memory with WriteFile in pieces of
//                                       PIECE bytes, as the installer writes
//
// Appends one JSON line to OUT_FILE with the milliseconds of each step:
//   font_system  the first font created and measured in the process (Wine
//                starts its font machinery there)
//   title_font   the embedded title font registered from memory
//                (AddFontMemResourceEx) and a title drawn with it
//   processes    a snapshot of the running processes, walked to the end
//   registry     the game's App Paths key opened and its "Path" read, and
//                the maker's key looked up
// The PNG decode and the region have their own benchmark
// (tests/win32/ui/region_benchmark.cpp).
#include "host/unique_handle.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace brunvald;

double Now() {
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

std::vector<char> ReadWhole(const wchar_t* path) {
    std::vector<char> bytes;
    unique_hfile file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return bytes;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return bytes;
    bytes.resize(size_t(size.QuadPart));
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data(), DWORD(bytes.size()), &read, nullptr)) read = 0;
    bytes.resize(read);
    return bytes;
}

// A font of that face measured and drawn into a memory bitmap.
void DrawWith(HDC dc, const wchar_t* face, int height, const wchar_t* text) {
    unique_hfont font(::CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                    DEFAULT_PITCH, face));
    unique_select_object selected(dc, font.get());
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
    ::TextOutW(dc, 0, 0, text, lstrlenW(text));
}

}  // namespace

// The install's progress pauses are Sleep calls; the extraction benchmark
// subtracts them from a span, so it wants their real length, not the
// nominal one. Appends {"pause_ms":N,"median_ms":M,"samples":[...]}.
int MeasurePause(DWORD ms, const wchar_t* outPath) {
    std::vector<double> samples;
    for (int i = 0; i < 21; ++i) {
        const double t = Now();
        ::Sleep(ms);
        samples.push_back(Now() - t);
    }
    std::vector<double> sorted = samples;
    for (size_t i = 1; i < sorted.size(); ++i) {  // insertion sort: 21 values
        for (size_t j = i; j > 0 && sorted[j - 1] > sorted[j]; --j) std::swap(sorted[j - 1], sorted[j]);
    }
    std::FILE* out = _wfopen(outPath, L"a");
    if (!out) return 1;
    std::fprintf(out, "{\"pause_ms\":%lu,\"median_ms\":%.3f,\"min_ms\":%.3f,\"max_ms\":%.3f}\n", ms,
                 sorted[sorted.size() / 2], sorted.front(), sorted.back());
    std::fclose(out);
    return 0;
}

// The installer's write pattern under Wine, with the piece size as the only
// variable: files created like the installer's (CREATE_ALWAYS, no sharing)
// and written from one buffer in memory. Appends {"piece":N,"ms":M}.
int MeasureWrites(const wchar_t* folder, DWORD piece, const wchar_t* outPath) {
    constexpr size_t kFileSize = 50u * 1024 * 1024;
    std::vector<unsigned char> buffer(kFileSize);
    unsigned value = 12345;
    for (unsigned char& b : buffer) {  // not zeros: nothing may treat the data as sparse
        value = value * 1103515245u + 12345u;
        b = static_cast<unsigned char>(value >> 24);
    }
    const double start = Now();
    for (int i = 1; i <= 4; ++i) {
        const std::wstring path = std::wstring(folder) + L"\\write" + std::to_wstring(i) + L".bin";
        unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return 1;
        for (size_t done = 0; done < kFileSize;) {
            const DWORD size = DWORD(std::min<size_t>(piece, kFileSize - done));
            DWORD written = 0;
            if (!::WriteFile(file.get(), buffer.data() + done, size, &written, nullptr) || written == 0) return 1;
            done += written;
        }
    }
    const double ms = Now() - start;
    std::FILE* out = _wfopen(outPath, L"a");
    if (!out) return 1;
    std::fprintf(out, "{\"piece\":%lu,\"ms\":%.3f}\n", piece, ms);
    std::fclose(out);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && lstrcmpW(argv[1], L"--write") == 0)
        return MeasureWrites(argv[2], DWORD(_wtoi(argv[3])), argv[4]);
    if (argc == 4 && lstrcmpW(argv[1], L"--pause") == 0) return MeasurePause(DWORD(_wtoi(argv[2])), argv[3]);
    if (argc != 3) {
        std::fputs("usage: bench-phases FONT_FILE OUT_FILE | --pause MS OUT_FILE | --write FOLDER PIECE OUT_FILE\n", stderr);
        return 2;
    }
    std::vector<char> fontBytes = ReadWhole(argv[1]);  // not timed: the installer maps it
    if (fontBytes.empty()) return 1;

    unique_hdc dc(::CreateCompatibleDC(nullptr));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 500;
    info.bmiHeader.biHeight = -64;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    unique_hbitmap bitmap(::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    unique_select_object selectedBitmap(dc.get(), bitmap.get());

    double t = Now();
    DrawWith(dc.get(), L"Tahoma", 13, L"Installieren");
    const double fontSystem = Now() - t;

    t = Now();
    DWORD added = 0;
    unique_font_mem titleFont(::AddFontMemResourceEx(fontBytes.data(), DWORD(fontBytes.size()), nullptr, &added));
    DrawWith(dc.get(), L"Dancing Script", 15, L"Aurelmark");
    const double title = Now() - t;

    t = Now();
    int processes = 0;
    {
        unique_hfile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
             more = ::Process32NextW(snapshot.get(), &entry)) {
            ++processes;
        }
    }
    const double walk = Now() - t;

    t = Now();
    {
        unique_hkey appPaths;
        wchar_t path[MAX_PATH] = {};
        DWORD bytes = sizeof path;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Emperor.exe",
                            0, KEY_READ | KEY_WOW64_32KEY, appPaths.put()) == ERROR_SUCCESS) {
            ::RegQueryValueExW(appPaths.get(), L"Path", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &bytes);
        }
        unique_hkey maker;
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Vantorel", 0,
                        KEY_READ | KEY_WOW64_32KEY, maker.put());
    }
    const double registry = Now() - t;

    std::FILE* out = _wfopen(argv[2], L"a");
    if (!out) return 1;
    std::fprintf(out,
                 "{\"font_system\":%.3f,\"title_font\":%.3f,\"title_font_added\":%lu,\"processes\":%.3f,"
                 "\"process_count\":%d,\"registry\":%.3f}\n",
                 fontSystem, title, added, walk, processes, registry);
    std::fclose(out);
    return 0;
}
