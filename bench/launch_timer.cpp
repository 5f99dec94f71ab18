// bench-launch: times how long programs take from process start to their
// first visible top-level window, the same way for each of them.
//
//   bench-launch [--rounds N] [--warmup N] [--timeout S] [--out FILE] LABEL=EXE ...
//
// Each round starts every program once, in turn (the order turns round by
// round so that no program always comes first after a pause). One run:
//   1. QueryPerformanceCounter, then CreateProcessW (working folder: the
//      program's own folder, command line: its quoted path);
//   2. every millisecond, EnumWindows for a visible top-level window that
//      belongs to the new process; the time it is first seen is the result
//      (and the time its first window, hidden, was seen to exist, as
//      created_ms: what came before the window against what came after);
//   3. WM_CLOSE to that window, and up to 10 s for the process to end (then
//      TerminateProcess, which the line reports).
// Prints one JSON line per timed run:
//   {"label":"...","round":R,"ms":12.3,"created_ms":9.8,"class":"TMain","size":[500,425],"closed":true}
// and {"label":...,"error":"..."} for a run that failed. Asserts nothing: the
// caller takes the medians.
#include "host/unique_handle.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using brunvald::unique_handle;

// Where the result lines go: stdout, or the file of --out (a caller that
// must not hold a pipe open to Wine's long-lived processes reads a file).
std::FILE* g_out = stdout;

void Line(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::vfprintf(g_out, format, args);
    va_end(args);
    std::fflush(g_out);
}

struct Target {
    std::wstring label;
    std::wstring exe;
};

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return double(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / frequency;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

// Labels and class names are plain words; quotes and backslashes are dropped
// rather than escaped.
std::string JsonText(const std::wstring& text) {
    std::string out;
    for (char c : Utf8(text)) {
        if (c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out;
}

struct Search {
    DWORD pid;
    HWND any = nullptr;      // a top-level window of the process, shown or not
    HWND visible = nullptr;  // a visible one
};

BOOL CALLBACK FindWindows(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->pid) return TRUE;
    // The input method's helper window comes with the first window of a
    // thread; it is not the program's own.
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    if (lstrcmpiW(className, L"IME") == 0) return TRUE;
    if (!search->any) search->any = window;
    if (::IsWindowVisible(window)) {
        search->visible = window;
        return FALSE;
    }
    return TRUE;
}

Search WindowsOf(DWORD pid) {
    Search search{pid};
    ::EnumWindows(FindWindows, reinterpret_cast<LPARAM>(&search));
    return search;
}

std::wstring Folder(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// One run; prints its line when `round` is not negative.
void RunOnce(const Target& target, int round, double timeout) {
    std::wstring commandLine = L"\"" + target.exe + L"\"";
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    const std::wstring folder = Folder(target.exe);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};

    const double start = Now();
    if (!::CreateProcessW(target.exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        Line("{\"label\":\"%s\",\"round\":%d,\"error\":\"CreateProcess failed (%lu)\"}\n",
             JsonText(target.label).c_str(), round, ::GetLastError());
        return;
    }
    unique_handle process(info.hProcess);
    unique_handle thread(info.hThread);

    HWND window = nullptr;
    double seen = 0;
    double created = -1;  // first seen to exist (hidden): the split of the time
    for (;;) {
        const Search search = WindowsOf(info.dwProcessId);
        window = search.visible;
        seen = Now();
        if (created < 0 && search.any) created = seen;
        if (window) break;
        if (seen - start > timeout || ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) break;
        ::Sleep(1);
    }

    wchar_t className[128] = {};
    RECT rect{};
    if (window) {
        ::GetClassNameW(window, className, 128);
        ::GetWindowRect(window, &rect);
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    const bool closed = ::WaitForSingleObject(process.get(), 10000) == WAIT_OBJECT_0;
    if (!closed) {
        ::TerminateProcess(process.get(), 0xDEAD);
        ::WaitForSingleObject(process.get(), 5000);
    }
    if (round < 0) return;
    if (!window) {
        Line("{\"label\":\"%s\",\"round\":%d,\"error\":\"no visible window\"}\n",
                    JsonText(target.label).c_str(), round);
    } else {
        Line("{\"label\":\"%s\",\"round\":%d,\"ms\":%.3f,\"created_ms\":%.3f,\"class\":\"%s\","
                    "\"size\":[%ld,%ld],\"closed\":%s}\n",
                    JsonText(target.label).c_str(), round, (seen - start) * 1000.0, (created - start) * 1000.0,
                    JsonText(className).c_str(),
                    rect.right - rect.left, rect.bottom - rect.top, closed ? "true" : "false");
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int rounds = 15;
    int warmup = 2;
    double timeout = 30;
    std::vector<Target> targets;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--rounds" && i + 1 < argc) {
            rounds = _wtoi(argv[++i]);
        } else if (arg == L"--warmup" && i + 1 < argc) {
            warmup = _wtoi(argv[++i]);
        } else if (arg == L"--timeout" && i + 1 < argc) {
            timeout = _wtof(argv[++i]);
        } else if (arg == L"--out" && i + 1 < argc) {
            g_out = _wfopen(argv[++i], L"w");
            if (!g_out) return 2;
        } else if (arg.find(L'=') != std::wstring::npos) {
            const size_t eq = arg.find(L'=');
            targets.push_back({arg.substr(0, eq), arg.substr(eq + 1)});
        } else {
            std::fputs("usage: bench-launch [--rounds N] [--warmup N] [--timeout S] [--out FILE] LABEL=EXE ...\n", stderr);
            return 2;
        }
    }
    if (targets.empty() || rounds < 1) return 2;

    // Untimed runs first: the programs' files and Wine's DLLs in the cache.
    for (int w = 0; w < warmup; ++w) {
        for (const Target& t : targets) RunOnce(t, -1, timeout);
    }
    for (int round = 0; round < rounds; ++round) {
        const size_t n = targets.size();
        for (size_t k = 0; k < n; ++k) {
            RunOnce(targets[(k + size_t(round)) % n], round, timeout);
            ::Sleep(100);  // let the closed process's windows and server state go
        }
    }
    if (g_out != stdout) std::fclose(g_out);
    return 0;
}
