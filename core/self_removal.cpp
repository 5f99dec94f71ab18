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

// One loop of tries: delete, leave when the file is gone, else count and go
// again until the tries are used up. `wait` runs before each try.
void AppendTries(std::vector<Text>& lines, const Text& label, const Text& wait, unsigned tries,
                 const Text& exe) {
    lines.push_back(u"set /a tries=0");
    lines.push_back(u":" + label);
    if (!wait.empty()) lines.push_back(wait);
    lines.push_back(u"del " + exe);
    lines.push_back(u"if not exist " + exe + u" goto done");
    lines.push_back(u"set /a tries+=1");
    lines.push_back(u"if %tries% lss " + DecimalText(tries) + u" goto " + label);
}

}  // namespace

std::vector<Text> SelfRemovalScript(const Text& exePath, const Text& scriptPath) {
    const Text exe = Quoted(exePath);
    std::vector<Text> lines = {u"@echo off"};
    // Right after the program ends its file is released: try at full speed.
    AppendTries(lines, u"fast", u"", kFastTries, exe);
    // Then a try about every second. "ping" to the own machine is a pause
    // that works without a console, where "timeout" refuses to run; two echo
    // requests take about a second.
    AppendTries(lines, u"slow", u"ping -n 2 127.0.0.1 >nul", kSlowTries, exe);
    lines.push_back(u":done");
    lines.push_back(u"del " + Quoted(scriptPath));
    return lines;
}

Text ScriptPathForm(HostOps& host, const Text& path) {
    if (IsPlainAscii(path)) return path;
    const Text shortForm = host.ShortPathForm(path);
    return shortForm.empty() ? path : shortForm;
}

Text WriteSelfRemovalScript(HostOps& host) {
    const Text exePath = host.ProgramPath();
    const Text exeFolder = WithSeparator(FolderPart(exePath));
    const Text scriptPath = exeFolder + kScriptFileName;
    // The script does not exist yet, so its short form comes from its folder.
    const Text scriptInScript = WithSeparator(ScriptPathForm(host, exeFolder)) + kScriptFileName;
    host.WriteScriptFile(scriptPath,
                         SelfRemovalScript(ScriptPathForm(host, exePath), scriptInScript));
    return scriptPath;
}

void StartSelfRemoval(HostOps& host, const Text& scriptPath, InstallerWindow& window) {
    host.OpenHidden(scriptPath, window.NativeHandle());
}

}  // namespace brunvald
