// brunvald-driver: drives a Windows GUI program from outside, the way a user
// would, and reports what it saw as JSON lines (UTF-8) on stdout.
//
//   brunvald-driver run   [options] EXE      start EXE and watch it
//   brunvald-driver watch [options] NAME     wait for a process whose file
//                                            name is NAME (any letter case),
//                                            started by someone else, and
//                                            watch it
//   brunvald-driver sleep SECONDS [FILE]     do nothing for that long (a
//                                            stand-in process under any name);
//                                            FILE is created once it runs
//   brunvald-driver hold FILE SECONDS READY  open FILE for reading and writing
//                                            with no sharing (as a program
//                                            that has it open would), create
//                                            READY once it is held, keep it
//                                            for SECONDS; exit 5 when FILE
//                                            cannot be opened
//   brunvald-driver message CODE             the platform's text for a system
//                                            error code (FormatMessageW), in
//                                            the user's language
//   brunvald-driver deny-key KEY             create HKLM\KEY (or reset its
//                                            security) so that everyone may
//                                            only read and delete it: opening
//                                            it with full access is refused
//   brunvald-driver short-path PATH          the short (8.3) form of an
//                                            existing path (GetShortPathNameW)
//
// Options of run and watch:
//   --timeout S        give up after S seconds (default 60): the program is
//                      terminated and the report says timed_out
//   --args TEXT        (run) the command line after the quoted program path,
//                      exactly as given
//   --cwd DIR          (run) the working folder of the program
//   --main-class NAME  the main window's class (default TMain)
//   --hold CAPTION     a message box with this caption is left open until a
//                      line arrives on stdin (to take a screenshot of it)
//   --leave-boxes      never press OK on a message box
//   --trace-calls      (run) start EXE under the driver as its debugger and
//                      report a "call" event for every call of a watched
//                      file or registry function (CreateFileW, WriteFile,
//                      NtWriteFile, MoveFileW, MoveFileExW, CopyFileW,
//                      DeleteFileW, CreateDirectoryW, RemoveDirectoryW,
//                      RegCreateKeyExW, RegSetValueExW, RegDeleteKeyW,
//                      RegDeleteKeyExW) made after the first --click, with its
//                      arguments
//   --kill-at FN:N     (run) as --trace-calls, and end EXE hard
//                      (TerminateProcess) when it enters the Nth call of FN
//                      counted from the first --click: the call never runs
//   --kill-after MS    end EXE hard MS milliseconds after the first --click
// Actions, done in order once the main window has become visible:
//   --click TEXT       press the visible, enabled button whose window text is
//                      TEXT (BM_CLICK posted to it)
//   --close            post WM_CLOSE to the main window
//   --after-box CAPTION  wait until a box with this caption has come and
//                      gone (the window is back to waiting for the user)
//   --wait-input       report "waiting" and wait for a line on stdin
//   --sleep MS         wait MS milliseconds (nothing is watched meanwhile)
//
// Every event is one JSON object on its own line, flushed at once, so a test
// can react while the program runs. The last line is {"event":"report",...}
// with the whole record: every top-level window of the process, every message
// box (caption, text, icon kind, buttons), the main window's first visible
// rectangle, its region (rectangles and pixel count), its child windows, and
// the exit code.
#include "host/unique_handle.h"
#include "tests/driver/json_writer.h"

#include <sddl.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using brunvald::unique_handle;
using brunvald::unique_hfile;
using brunvald::unique_hkey;
using brunvald::unique_hlocal;
using brunvald::unique_hrgn;
using driver::Json;

// ---------------------------------------------------------------------------
// Output: one JSON line per event on stdout.
// ---------------------------------------------------------------------------
DWORD g_start_tick = 0;

void emit_line(const std::string& line) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    std::string data = line + "\n";
    DWORD written = 0;
    ::WriteFile(out, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    ::FlushFileBuffers(out);
}

Json event(const char* name) {
    Json json;
    json.begin_object().field("event", name).field("t", static_cast<std::int64_t>(::GetTickCount() - g_start_tick));
    return json;
}

void emit(Json& json) {
    json.end_object();
    emit_line(json.str());
}

// Reads one line from stdin (a test's "go on"); false at its end.
bool read_stdin_line() {
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    char ch = 0;
    DWORD got = 0;
    bool any = false;
    while (::ReadFile(in, &ch, 1, &got, nullptr) && got == 1) {
        any = true;
        if (ch == '\n') return true;
    }
    return any;
}

// ---------------------------------------------------------------------------
// Window helpers
// ---------------------------------------------------------------------------
// The text the window system keeps for a window (its caption, a button's
// label). InternalGetWindowText sends no message: a window of a thread that is
// busy or ending (Wine's IME window while the program exits) cannot stall the
// driver.
std::wstring window_text(HWND window) {
    wchar_t buffer[4096];
    const int length = ::InternalGetWindowText(window, buffer, 4096);
    return std::wstring(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::wstring class_name(HWND window) {
    wchar_t buffer[256];
    const int length = ::GetClassNameW(window, buffer, 256);
    return std::wstring(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

void write_rect(Json& json, const char* name, const RECT& r) {
    json.key(name).begin_array().value(r.left).value(r.top).value(r.right).value(r.bottom).end_array();
}

struct WindowSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_of_process(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->pid) search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK collect_all(HWND window, LPARAM param) {
    reinterpret_cast<WindowSearch*>(param)->found.push_back(window);
    return TRUE;
}

std::vector<HWND> top_level_windows(DWORD pid) {
    WindowSearch search{pid, {}};
    ::EnumWindows(collect_of_process, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> descendants(HWND parent) {
    WindowSearch search{0, {}};
    ::EnumChildWindows(parent, collect_all, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The child windows of the main window, in its client coordinates.
void write_children(Json& json, HWND main) {
    json.key("children").begin_array();
    for (HWND child : descendants(main)) {
        RECT r{};
        ::GetWindowRect(child, &r);
        ::MapWindowPoints(HWND_DESKTOP, main, reinterpret_cast<POINT*>(&r), 2);
        json.begin_object()
            .field("class", class_name(child).c_str())
            .field("text", window_text(child).c_str())
            .field("id", ::GetDlgCtrlID(child))
            .field("visible", ::IsWindowVisible(child) != FALSE)
            .field("enabled", ::IsWindowEnabled(child) != FALSE);
        write_rect(json, "rect", r);
        json.end_object();
    }
    json.end_array();
}

// The window's region, rectangle by rectangle, as the platform hands it back.
void write_region(Json& json, HWND window) {
    json.key("region");
    unique_hrgn region(::CreateRectRgn(0, 0, 0, 0));
    if (!region || ::GetWindowRgn(window, region.get()) == ERROR) {
        json.null();
        return;
    }
    const DWORD size = ::GetRegionData(region.get(), 0, nullptr);
    std::vector<std::uint8_t> buffer(size);
    if (size == 0 || ::GetRegionData(region.get(), size, reinterpret_cast<RGNDATA*>(buffer.data())) != size) {
        json.null();
        return;
    }
    const auto* data = reinterpret_cast<const RGNDATA*>(buffer.data());
    const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
    std::int64_t pixels = 0;
    json.begin_object();
    write_rect(json, "bounds", data->rdh.rcBound);
    json.key("rects").begin_array();
    for (DWORD i = 0; i < data->rdh.nCount; ++i) {
        const RECT& r = rects[i];
        pixels += static_cast<std::int64_t>(r.right - r.left) * (r.bottom - r.top);
        json.begin_array().value(r.left).value(r.top).value(r.right).value(r.bottom).end_array();
    }
    json.end_array();
    json.field("count", static_cast<std::int64_t>(data->rdh.nCount)).field("pixels", pixels);
    json.end_object();
}

// The icon a message box shows. The box's icon is a static control with the
// SS_ICON style; its icon is compared with the system's stock icons. Where the
// platform hands out per-process icon handles the comparison finds nothing,
// and the icon's screen rectangle lets a test classify it from a screenshot.
struct BoxIcon {
    const char* kind = "none";
    RECT rect{};
};

BoxIcon box_icon(HWND box) {
    BoxIcon result;
    for (HWND child : descendants(box)) {
        if (_wcsicmp(class_name(child).c_str(), L"Static") != 0) continue;
        const LONG style = ::GetWindowLongW(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) != SS_ICON) continue;
        ::GetWindowRect(child, &result.rect);
        DWORD_PTR icon = 0;
        ::SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 500, &icon);
        if (icon == 0) {
            result.kind = ::IsWindowVisible(child) ? "unknown" : "none";
            return result;
        }
        struct Stock {
            LPCWSTR id;
            const char* kind;
        };
        static const Stock stock[] = {
            {IDI_HAND, "error"},
            {IDI_EXCLAMATION, "exclamation"},
            {IDI_ASTERISK, "information"},
            {IDI_QUESTION, "question"},
        };
        result.kind = "unknown";
        for (const Stock& s : stock) {
            if (reinterpret_cast<HICON>(icon) == ::LoadIconW(nullptr, s.id)) result.kind = s.kind;
        }
        return result;
    }
    return result;
}

// ---------------------------------------------------------------------------
// Options
// ---------------------------------------------------------------------------
struct Action {
    enum Kind { Click, Close, WaitInput, SleepMs, AfterBox } kind;
    std::wstring text;
    DWORD ms = 0;
};

struct Options {
    DWORD timeout_ms = 60000;
    std::wstring args;
    std::wstring cwd;
    std::wstring main_class = L"TMain";
    std::vector<std::wstring> hold;
    bool accept_boxes = true;
    std::vector<Action> actions;
    std::wstring target;  // EXE for run, image name for watch
    bool trace_calls = false;
    std::string kill_function;  // --kill-at: watched function and call number
    unsigned kill_call = 0;
    DWORD kill_after_ms = 0;
    bool kill_after = false;

    bool debug() const { return trace_calls || !kill_function.empty(); }
};

bool parse_options(int argc, wchar_t** argv, int first, Options& options) {
    for (int i = first; i < argc; ++i) {
        const std::wstring arg = argv[i];
        auto next = [&](std::wstring& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::wstring value;
        if (arg == L"--timeout") {
            if (!next(value)) return false;
            options.timeout_ms = static_cast<DWORD>(_wtof(value.c_str()) * 1000.0);
        } else if (arg == L"--args") {
            if (!next(options.args)) return false;
        } else if (arg == L"--cwd") {
            if (!next(options.cwd)) return false;
        } else if (arg == L"--main-class") {
            if (!next(options.main_class)) return false;
        } else if (arg == L"--hold") {
            if (!next(value)) return false;
            options.hold.push_back(value);
        } else if (arg == L"--leave-boxes") {
            options.accept_boxes = false;
        } else if (arg == L"--trace-calls") {
            options.trace_calls = true;
        } else if (arg == L"--kill-at") {
            if (!next(value)) return false;
            const std::size_t colon = value.find(L':');
            if (colon == std::wstring::npos || colon == 0) return false;
            options.kill_function = Json::to_utf8(value.substr(0, colon));
            options.kill_call = static_cast<unsigned>(_wtoi(value.c_str() + colon + 1));
            if (options.kill_call == 0) return false;
        } else if (arg == L"--kill-after") {
            if (!next(value)) return false;
            options.kill_after = true;
            options.kill_after_ms = static_cast<DWORD>(_wtoi(value.c_str()));
        } else if (arg == L"--click") {
            if (!next(value)) return false;
            options.actions.push_back({Action::Click, value});
        } else if (arg == L"--close") {
            options.actions.push_back({Action::Close, {}});
        } else if (arg == L"--after-box") {
            if (!next(value)) return false;
            options.actions.push_back({Action::AfterBox, value});
        } else if (arg == L"--wait-input") {
            options.actions.push_back({Action::WaitInput, {}});
        } else if (arg == L"--sleep") {
            if (!next(value)) return false;
            options.actions.push_back({Action::SleepMs, {}, static_cast<DWORD>(_wtoi(value.c_str()))});
        } else if (arg.size() > 2 && arg.compare(0, 2, L"--") == 0) {
            return false;
        } else if (options.target.empty()) {
            options.target = arg;
        } else {
            return false;
        }
    }
    return !options.target.empty();
}

// ---------------------------------------------------------------------------
// Calls watched from outside (--trace-calls, --kill-at)
// ---------------------------------------------------------------------------
// The driver debugs the program and puts a breakpoint (int3) on the first
// instruction of each watched function. Every hit is counted and can be
// reported with its arguments; the chosen hit ends the program hard while it
// stands on that instruction, so "the Nth call" names one exact moment of a
// run however fast or slow the machine is. Hits that go on are stepped over:
// the original byte comes back for one single step, then the int3 again.
//
// The system DLLs sit at the same address in every process of a session, so
// the driver's own GetProcAddress gives the address in the program; the first
// bytes are compared before any breakpoint goes in, and a function that does
// not match is reported as not watched instead of being patched blindly.
struct WatchedFunction {
    const wchar_t* module;
    const char* name;
    const char* args;  // per argument: S a UTF-16 text, N a number, - skipped
};

const WatchedFunction kWatched[] = {
    {L"kernel32.dll", "CreateFileW", "SN--N"},  // path, access, disposition
    {L"kernel32.dll", "WriteFile", "N-N"},      // handle, byte count
    // Below WriteFile: also the pieces that CopyFileW writes.
    {L"ntdll.dll", "NtWriteFile", "N-----N"},   // handle, byte count
    {L"kernel32.dll", "MoveFileW", "SS"},
    {L"kernel32.dll", "MoveFileExW", "SSN"},  // the journal's replace
    {L"kernel32.dll", "CopyFileW", "SS"},
    {L"kernel32.dll", "DeleteFileW", "S"},
    {L"kernel32.dll", "CreateDirectoryW", "S"},
    {L"kernel32.dll", "RemoveDirectoryW", "S"},  // the campaign folder, when empty
    {L"advapi32.dll", "RegCreateKeyExW", "NS"},  // parent key, subkey
    {L"advapi32.dll", "RegSetValueExW", "NS"},   // key, value name
    {L"advapi32.dll", "RegDeleteKeyW", "NS"},
    {L"advapi32.dll", "RegDeleteKeyExW", "NS"},  // what the uninstall calls
};

// The exit code of a program ended by --kill-at or --kill-after.
constexpr UINT kKilledExitCode = 9;

class CallWatch {
public:
    CallWatch(HANDLE process, const Options& options) : process_(process), options_(options) {}

    bool killed() const { return killed_; }

    // Ends the program at once, as a crash or Task Manager would: no code of
    // it runs any more, nothing of it is flushed or cleaned up.
    void kill(const std::string& at) {
        if (killed_) return;
        killed_ = true;
        Json json = event("killed");
        json.field("at", at.c_str());
        emit(json);
        ::TerminateProcess(process_, kKilledExitCode);
    }

    // Puts the breakpoints in; calls are counted from here on.
    void arm() {
        if (armed_ || !options_.debug()) return;
        armed_ = true;
        for (const WatchedFunction& fn : kWatched) {
            HMODULE module = ::GetModuleHandleW(fn.module);
            if (!module) {
                loaded_.emplace_back(::LoadLibraryW(fn.module));
                module = loaded_.back().get();
            }
            const auto* own = reinterpret_cast<const std::uint8_t*>(
                module ? reinterpret_cast<const void*>(::GetProcAddress(module, fn.name)) : nullptr);
            std::uint8_t theirs[16] = {};
            SIZE_T got = 0;
            if (!own || !::ReadProcessMemory(process_, own, theirs, sizeof theirs, &got) || got != sizeof theirs ||
                std::memcmp(own, theirs, sizeof theirs) != 0 || !write_byte(own, 0xCC)) {
                Json json = event("not_watched");
                json.field("function", fn.name);
                emit(json);
                continue;
            }
            breakpoints_.push_back({&fn, reinterpret_cast<std::uintptr_t>(own), theirs[0], 0});
        }
        Json json = event("armed");
        json.field("breakpoints", static_cast<std::int64_t>(breakpoints_.size()));
        emit(json);
    }

    // Handles the debug events that are waiting, the first for up to wait_ms.
    // The program is never left stopped on return: the window checks that
    // follow may send it messages.
    void drain(DWORD wait_ms) {
        DEBUG_EVENT ev;
        DWORD wait = wait_ms;
        while (::WaitForDebugEvent(&ev, wait)) {
            DWORD status = DBG_CONTINUE;
            if (ev.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
                unique_hfile image(ev.u.CreateProcessInfo.hFile);
            } else if (ev.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
                unique_hfile image(ev.u.LoadDll.hFile);
            } else if (ev.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
                status = on_exception(ev);
            }
            ::ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
            // A thread stepping over a breakpoint reports back at once; wait
            // for it rather than leave it stopped.
            wait = stepping_.empty() ? 0 : 2000;
        }
    }

private:
    struct Breakpoint {
        const WatchedFunction* fn;
        std::uintptr_t address;
        std::uint8_t original;
        unsigned hits;
    };
    struct Stepping {
        DWORD thread;
        Breakpoint* breakpoint;
    };

    bool write_byte(const void* address, std::uint8_t byte) {
        void* target = const_cast<void*>(address);
        DWORD old = 0;
        if (!::VirtualProtectEx(process_, target, 1, PAGE_EXECUTE_READWRITE, &old)) return false;
        SIZE_T put = 0;
        const bool ok = ::WriteProcessMemory(process_, target, &byte, 1, &put) && put == 1;
        DWORD ignored = 0;
        ::VirtualProtectEx(process_, target, 1, old, &ignored);
        ::FlushInstructionCache(process_, target, 1);
        return ok;
    }

    std::wstring read_text(std::uintptr_t address) {
        std::wstring text;
        wchar_t piece[64];
        while (address != 0 && text.size() < 1024) {
            SIZE_T got = 0;
            if (!::ReadProcessMemory(process_, reinterpret_cast<const void*>(address), piece, sizeof piece, &got) ||
                got < sizeof(wchar_t))
                break;
            const std::size_t count = got / sizeof(wchar_t);
            for (std::size_t i = 0; i < count; ++i) {
                if (piece[i] == L'\0') return text;
                text += piece[i];
            }
            address += count * sizeof(wchar_t);
        }
        return text;
    }

    Breakpoint* breakpoint_at(std::uintptr_t address) {
        for (Breakpoint& bp : breakpoints_) {
            if (bp.address == address) return &bp;
        }
        return nullptr;
    }

    DWORD on_exception(const DEBUG_EVENT& ev) {
        const EXCEPTION_RECORD& record = ev.u.Exception.ExceptionRecord;
        const auto address = reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
        if (record.ExceptionCode == EXCEPTION_SINGLE_STEP) {
            for (std::size_t i = 0; i < stepping_.size(); ++i) {
                if (stepping_[i].thread != ev.dwThreadId) continue;
                write_byte(reinterpret_cast<const void*>(stepping_[i].breakpoint->address), 0xCC);
                stepping_.erase(stepping_.begin() + static_cast<std::ptrdiff_t>(i));
                return DBG_CONTINUE;
            }
            return DBG_EXCEPTION_NOT_HANDLED;
        }
        if (record.ExceptionCode != EXCEPTION_BREAKPOINT) return DBG_EXCEPTION_NOT_HANDLED;
        // Platforms differ in whether the address is that of the int3 or the
        // one after it.
        Breakpoint* bp = breakpoint_at(address);
        if (!bp) bp = breakpoint_at(address - 1);
        if (!bp) return DBG_CONTINUE;  // the loader's own breakpoint
        ++bp->hits;

        unique_handle thread(
            ::OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, ev.dwThreadId));
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
        if (!thread || !::GetThreadContext(thread.get(), &context)) {
            kill(std::string("lost thread at ") + bp->fn->name);
            return DBG_CONTINUE;
        }
        if (options_.trace_calls) report_call(*bp, context);
        if (bp->fn->name == options_.kill_function && bp->hits == options_.kill_call) {
            kill(options_.kill_function + ":" + std::to_string(options_.kill_call));
            return DBG_CONTINUE;
        }
        // Run the original first instruction once, then the int3 goes back.
        write_byte(reinterpret_cast<const void*>(bp->address), bp->original);
#ifdef _WIN64
        context.Rip = bp->address;
#else
        context.Eip = static_cast<DWORD>(bp->address);
#endif
        context.EFlags |= 0x100;  // trap flag: one instruction, then a single-step event
        ::SetThreadContext(thread.get(), &context);
        stepping_.push_back({ev.dwThreadId, bp});
        return DBG_CONTINUE;
    }

    // The call's arguments at the function's first instruction: on i386 all
    // sit above the return address on the stack; on x86-64 the first four are
    // in RCX, RDX, R8 and R9 and the rest above the return address and the
    // callee's 32 bytes of register home space.
    void report_call(const Breakpoint& bp, const CONTEXT& context) {
        std::uintptr_t args[8] = {};
        SIZE_T got = 0;
#ifdef _WIN64
        args[0] = context.Rcx;
        args[1] = context.Rdx;
        args[2] = context.R8;
        args[3] = context.R9;
        ::ReadProcessMemory(process_, reinterpret_cast<const void*>(context.Rsp + 8 + 32), args + 4,
                            4 * sizeof args[0], &got);
#else
        DWORD stack[8] = {};
        ::ReadProcessMemory(process_, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(context.Esp) + 4),
                            stack, sizeof stack, &got);
        for (std::size_t i = 0; i < 8; ++i) args[i] = stack[i];
#endif
        Json json = event("call");
        json.field("function", bp.fn->name).field("n", static_cast<std::int64_t>(bp.hits));
        json.key("args").begin_array();
        for (std::size_t i = 0; bp.fn->args[i] != '\0' && i < 8; ++i) {
            if (bp.fn->args[i] == 'S') {
                json.value(read_text(args[i]).c_str());
            } else if (bp.fn->args[i] == 'N') {
                // Numbers are 32-bit (flags, milliseconds); the upper half of a
                // 64-bit register holding one is not defined.
                json.value(static_cast<std::int64_t>(static_cast<std::uint32_t>(args[i])));
            }
        }
        json.end_array();
        emit(json);
    }

    HANDLE process_;
    const Options& options_;
    bool armed_ = false;
    bool killed_ = false;
    std::vector<Breakpoint> breakpoints_;
    std::vector<Stepping> stepping_;
    std::vector<brunvald::unique_hmodule> loaded_;
};

// ---------------------------------------------------------------------------
// Watching one process
// ---------------------------------------------------------------------------
struct SeenWindow {
    HWND window;
    std::wstring cls;
    std::wstring text;
    bool ever_visible = false;
    RECT first_visible_rect{};
};

struct SeenBox {
    HWND window;
    std::wstring caption;
    std::string json;  // the box as reported
};

class Observer {
public:
    Observer(HANDLE process, DWORD pid, const Options& options)
        : process_(process), pid_(pid), options_(options), watch_(process, options) {}

    int run() {
        const DWORD deadline = ::GetTickCount() + options_.timeout_ms;
        bool timed_out = false;
        for (;;) {
            pump_own_messages();
            sample();
            if (::WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) break;
            if (static_cast<LONG>(::GetTickCount() - deadline) >= 0) {
                timed_out = true;
                Json json = event("timeout");
                emit(json);
                ::TerminateProcess(process_, 0xDEAD);
                ::WaitForSingleObject(process_, 5000);
                break;
            }
            if (clicked_ && options_.kill_after &&
                ::GetTickCount() - click_tick_ >= options_.kill_after_ms)
                watch_.kill("after " + std::to_string(options_.kill_after_ms) + " ms");
            if (options_.debug()) {
                watch_.drain(10);
            } else {
                ::Sleep(10);
            }
        }
        DWORD exit_code = 0;
        const bool have_code = ::GetExitCodeProcess(process_, &exit_code) != FALSE;
        report(timed_out, have_code, exit_code);
        return timed_out ? 3 : 0;
    }

private:
    static void pump_own_messages() {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    SeenWindow& seen(HWND window) {
        for (SeenWindow& w : windows_) {
            if (w.window == window) return w;
        }
        windows_.push_back({window, class_name(window), window_text(window)});
        Json json = event("window");
        json.field("class", windows_.back().cls.c_str()).field("text", windows_.back().text.c_str());
        emit(json);
        return windows_.back();
    }

    void sample() {
        for (HWND window : top_level_windows(pid_)) {
            SeenWindow& w = seen(window);
            const bool visible = ::IsWindowVisible(window) != FALSE;
            if (!visible) continue;
            if (!w.ever_visible) {
                w.ever_visible = true;
                ::GetWindowRect(window, &w.first_visible_rect);
            }
            if (w.cls == L"#32770") {
                handle_box(window);
            } else if (w.cls == options_.main_class) {
                handle_main(window);
            }
        }
    }

    static bool has_button(HWND box) {
        for (HWND child : descendants(box)) {
            if (_wcsicmp(class_name(child).c_str(), L"Button") == 0) return true;
        }
        return false;
    }

    bool box_answered(const std::wstring& caption) const {
        for (const SeenBox& b : boxes_) {
            if (b.caption == caption && !::IsWindow(b.window)) return true;
        }
        return false;
    }

    bool box_seen(HWND box) const {
        for (const SeenBox& b : boxes_) {
            if (b.window == box) return true;
        }
        return false;
    }

    void handle_box(HWND box) {
        if (box_seen(box)) return;
        // A box counts once it is complete: its text control and a button
        // exist. One that is still being built, or already going, is looked
        // at again in the next round.
        RECT probe{};
        if (!::GetWindowRect(box, &probe) || !::GetDlgItem(box, 0xFFFF) || !has_button(box)) return;
        wchar_t text[4096] = {};
        ::GetDlgItemTextW(box, 0xFFFF, text, 4096);
        const std::wstring caption = window_text(box);
        const BoxIcon icon = box_icon(box);
        RECT rect{};
        ::GetWindowRect(box, &rect);
        // Gone while it was read (its owner closed it): it never was a box
        // the user could see and answer.
        if (!::IsWindow(box)) return;
        bool held = false;
        for (const std::wstring& h : options_.hold) held = held || h == caption;

        Json json;
        json.begin_object().field("caption", caption.c_str()).field("text", text).field("icon", icon.kind);
        write_rect(json, "icon_rect", icon.rect);
        write_rect(json, "rect", rect);
        json.key("buttons").begin_array();
        for (HWND child : descendants(box)) {
            if (_wcsicmp(class_name(child).c_str(), L"Button") == 0 && ::IsWindowVisible(child)) {
                json.value(window_text(child).c_str());
            }
        }
        json.end_array();
        json.field("held", held).end_object();
        boxes_.push_back({box, caption, json.str()});

        Json ev = event("box");
        ev.key("box");
        ev.end_object();  // close the event header, then splice the box in
        std::string line = ev.str();
        line.pop_back();
        line += json.str() + "}";
        emit_line(line);

        if (held) read_stdin_line();
        if (options_.accept_boxes) {
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            Json ok = event("box_ok");
            ok.field("caption", caption.c_str());
            emit(ok);
        }
    }

    void handle_main(HWND main) {
        if (!main_) {
            main_ = main;
            ::GetWindowRect(main, &main_rect_);
            RECT client{};
            ::GetClientRect(main, &client);
            ::MapWindowPoints(main, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
            main_client_ = client;
            Json json = event("main_visible");
            write_rect(json, "rect", main_rect_);
            write_rect(json, "client", main_client_);
            write_region(json, main);
            write_children(json, main);
            main_json_ = json.str();  // kept for the report (still open)
            emit(json);
        }
        if (main != main_) return;
        while (next_action_ < options_.actions.size()) {
            const Action& action = options_.actions[next_action_];
            if (action.kind == Action::Click) {
                HWND button = find_button(main, action.text);
                if (!button) return;  // not there yet: try again next round
                Json json = event("click");
                json.field("text", action.text.c_str());
                write_children(json, main);
                emit(json);
                if (!clicked_) {
                    // Calls and delays are counted from the first click on.
                    clicked_ = true;
                    click_tick_ = ::GetTickCount();
                    watch_.arm();
                }
                ::PostMessageW(button, BM_CLICK, 0, 0);
            } else if (action.kind == Action::Close) {
                Json json = event("close");
                emit(json);
                ::PostMessageW(main, WM_CLOSE, 0, 0);
            } else if (action.kind == Action::AfterBox) {
                if (!box_answered(action.text)) return;  // not yet: next round
            } else if (action.kind == Action::WaitInput) {
                Json json = event("waiting");
                emit(json);
                read_stdin_line();
            } else {
                ::Sleep(action.ms);
            }
            ++next_action_;
            if (action.kind == Action::Click || action.kind == Action::Close) return;
        }
    }

    static HWND find_button(HWND main, const std::wstring& text) {
        for (HWND child : descendants(main)) {
            if (::IsWindowVisible(child) && ::IsWindowEnabled(child) && window_text(child) == text) return child;
        }
        return nullptr;
    }

    void report(bool timed_out, bool have_code, DWORD exit_code) {
        Json json = event("report");
        json.field("timed_out", timed_out).field("killed", watch_.killed()).key("exit_code");
        if (have_code && !timed_out) {
            json.value(static_cast<std::int64_t>(exit_code));
        } else {
            json.null();
        }
        json.field("main_ever_visible", main_ != nullptr);
        json.field("actions_done", static_cast<std::int64_t>(next_action_));
        json.field("actions_total", static_cast<std::int64_t>(options_.actions.size()));
        json.key("windows").begin_array();
        for (const SeenWindow& w : windows_) {
            json.begin_object()
                .field("class", w.cls.c_str())
                .field("text", w.text.c_str())
                .field("ever_visible", w.ever_visible);
            write_rect(json, "first_visible_rect", w.first_visible_rect);
            json.end_object();
        }
        json.end_array();
        std::string line = json.str();
        line += ",\"boxes\":[";
        for (std::size_t i = 0; i < boxes_.size(); ++i) {
            if (i) line += ',';
            line += boxes_[i].json;
        }
        line += "],\"main\":";
        if (main_json_.empty()) {
            line += "null";
        } else {
            // The main_visible event's fields, as an object of their own.
            line += main_json_ + "}";
        }
        line += "}";
        emit_line(line);
    }

    HANDLE process_;
    DWORD pid_;
    const Options& options_;
    std::vector<SeenWindow> windows_;
    std::vector<SeenBox> boxes_;
    HWND main_ = nullptr;
    RECT main_rect_{};
    RECT main_client_{};
    std::string main_json_;
    std::size_t next_action_ = 0;
    CallWatch watch_;
    bool clicked_ = false;
    DWORD click_tick_ = 0;
};

int usage() {
    emit_line("{\"event\":\"usage\",\"text\":\"brunvald-driver run|watch [options] EXE|NAME, or sleep SECONDS\"}");
    return 2;
}

int command_run(const Options& options) {
    std::wstring command_line = L"\"" + options.target + L"\"";
    if (!options.args.empty()) command_line += L" " + options.args;
    std::vector<wchar_t> buffer(command_line.begin(), command_line.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const DWORD flags = options.debug() ? DEBUG_ONLY_THIS_PROCESS : 0;
    if (!::CreateProcessW(options.target.c_str(), buffer.data(), nullptr, nullptr, FALSE, flags, nullptr,
                          options.cwd.empty() ? nullptr : options.cwd.c_str(), &startup, &info)) {
        Json json = event("start_failed");
        json.field("error", static_cast<std::int64_t>(::GetLastError()));
        emit(json);
        return 4;
    }
    unique_handle process(info.hProcess);
    unique_handle thread(info.hThread);
    Json json = event("started");
    json.field("pid", static_cast<std::int64_t>(info.dwProcessId)).field("command_line", command_line.c_str());
    emit(json);
    return Observer(process.get(), info.dwProcessId, options).run();
}

std::vector<DWORD> processes_named(const std::wstring& name) {
    std::vector<DWORD> found;
    unique_hfile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, name.c_str()) == 0) found.push_back(entry.th32ProcessID);
    }
    return found;
}

// Waits for a new process of that name (one that did not run when the watch
// began), then observes it like a started one.
int command_watch(const Options& options) {
    const std::vector<DWORD> before = processes_named(options.target);
    Json ready = event("watching");
    ready.field("name", options.target.c_str());
    emit(ready);
    const DWORD deadline = ::GetTickCount() + options.timeout_ms;
    while (static_cast<LONG>(::GetTickCount() - deadline) < 0) {
        for (DWORD pid : processes_named(options.target)) {
            bool old = false;
            for (DWORD b : before) old = old || b == pid;
            if (old) continue;
            unique_handle process(
                ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid));
            if (!process) continue;
            Json json = event("attached");
            json.field("pid", static_cast<std::int64_t>(pid));
            emit(json);
            Options rest = options;
            rest.timeout_ms = static_cast<DWORD>(deadline - ::GetTickCount());
            return Observer(process.get(), pid, rest).run();
        }
        ::Sleep(20);
    }
    Json json = event("report");
    json.field("timed_out", true).field("attached", false);
    emit(json);
    return 3;
}


// A file kept open the way another program keeps it: every other opening,
// renaming or deletion of it fails with a sharing violation meanwhile.
int command_hold(const std::wstring& file, double seconds, const std::wstring& ready) {
    unique_hfile held(::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held) {
        Json json = event("hold_failed");
        json.field("error", static_cast<std::int64_t>(::GetLastError()));
        emit(json);
        return 5;
    }
    { unique_hfile marker(::CreateFileW(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)); }
    ::Sleep(static_cast<DWORD>(seconds * 1000.0));
    return 0;
}

// A registry key that may be read and deleted by everyone, and nothing more:
// a program that opens it with full access is refused (access denied), while
// the test can still see it and remove it afterwards.
int command_deny_key(const std::wstring& key) {
    // KR: read; SD: delete. Protected, so nothing is inherited from above.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KRSD;;;WD)", SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        Json json = event("deny_failed");
        json.field("step", "descriptor").field("error", static_cast<std::int64_t>(::GetLastError()));
        emit(json);
        return 6;
    }
    unique_hlocal owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    unique_hkey created;
    LONG status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    WRITE_DAC | KEY_READ, &attributes, created.put(), nullptr);
    // A key that existed already keeps its old security: set it now.
    if (status == ERROR_SUCCESS)
        status = ::RegSetKeySecurity(created.get(), DACL_SECURITY_INFORMATION, descriptor);
    Json json = event(status == ERROR_SUCCESS ? "denied" : "deny_failed");
    json.field("status", static_cast<std::int64_t>(status));
    emit(json);
    return status == ERROR_SUCCESS ? 0 : 6;
}

int command_message(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    unique_hlocal owned(buffer);
    Json json = event("message");
    json.field("code", static_cast<std::int64_t>(code))
        .field("text", length ? std::wstring(buffer, length).c_str() : L"");
    emit(json);
    return length ? 0 : 7;
}

int command_short_path(const std::wstring& path) {
    std::wstring buffer(32768, L'\0');
    const DWORD length = ::GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    Json json = event("short_path");
    json.field("path", length && length < buffer.size() ? buffer.substr(0, length).c_str() : L"")
        .field("error", static_cast<std::int64_t>(length ? 0 : ::GetLastError()));
    emit(json);
    return length ? 0 : 8;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    g_start_tick = ::GetTickCount();
    if (argc < 2) return usage();
    const std::wstring command = argv[1];
    if (command == L"sleep") {
        const double seconds = argc > 2 ? _wtof(argv[2]) : 60.0;
        if (argc > 3) {
            unique_hfile ready(::CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        }
        ::Sleep(static_cast<DWORD>(seconds * 1000.0));
        return 0;
    }
    if (command == L"hold" && argc > 4) return command_hold(argv[2], _wtof(argv[3]), argv[4]);
    if (command == L"message" && argc > 2) return command_message(static_cast<DWORD>(_wtol(argv[2])));
    if (command == L"deny-key" && argc > 2) return command_deny_key(argv[2]);
    if (command == L"short-path" && argc > 2) return command_short_path(argv[2]);
    Options options;
    if (!parse_options(argc, argv, 2, options)) return usage();
    if (command == L"run") return command_run(options);
    if (command == L"watch") return command_watch(options);
    return usage();
}
