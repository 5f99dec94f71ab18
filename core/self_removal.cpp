#include "core/self_removal.h"

#include "core/handlers.h"
#include "host/host_rules.h"

namespace brunvald {

namespace {

bool IsPlainAscii(const Text& text) {
    for (char16_t unit : text)
        if (unit > 0x7F) return false;
    return true;
}

// Between quotes the interpreter still expands "%": doubled, it stands for
// itself, so a folder named "100%" is not read as a variable.
Text Quoted(const Text& path) {
    Text quoted = u"\"";
    for (char16_t unit : path) {
        if (unit == u'%') quoted.push_back(u'%');
        quoted.push_back(unit);
    }
    return quoted + u'"';
}

}  // namespace

std::vector<Text> SelfRemovalScript(const Text& exePath, const Text& scriptPath) {
    const Text exe = Quoted(exePath);
    // "ping" to the own machine is the pause that works without a console,
    // where "timeout" refuses to run; two echo requests take about a second.
    return {
        u"@echo off",
        u"set /a tries=0",
        u":fast",
        u"del " + exe,
        u"if not exist " + exe + u" goto done",
        u"set /a tries+=1",
        u"if %tries% lss " + DecimalText(kFastTries) + u" goto fast",
        u"set /a tries=0",
        u":slow",
        u"ping -n 2 127.0.0.1 >nul",
        u"del " + exe,
        u"if not exist " + exe + u" goto done",
        u"set /a tries+=1",
        u"if %tries% lss " + DecimalText(kSlowTries) + u" goto slow",
        u":done",
        u"del " + Quoted(scriptPath),
    };
}

Text ScriptPathForm(HostOps& host, const Text& path) {
    if (IsPlainAscii(path)) return path;
    const Text shortForm = host.ShortPathForm(path);
    return shortForm.empty() ? path : shortForm;
}

void StartSelfRemoval(HostOps& host, InstallerWindow& window) {
    const Text exePath = host.ProgramPath();
    const Text exeFolder = WithSeparator(FolderPart(exePath));
    const Text scriptPath = exeFolder + kScriptFileName;
    // The script does not exist yet, so its short form comes from its folder.
    const Text scriptInScript = WithSeparator(ScriptPathForm(host, exeFolder)) + kScriptFileName;
    host.WriteScriptFile(scriptPath,
                         SelfRemovalScript(ScriptPathForm(host, exePath), scriptInScript));
    host.OpenHidden(scriptPath, window.NativeHandle());
    window.Close();
}

}  // namespace brunvald
