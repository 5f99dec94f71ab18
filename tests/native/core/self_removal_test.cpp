// The self-removal script: its text, the path forms the command interpreter
// reads right, and the steps that write and start it.
#include "core/self_removal.h"

#include <gtest/gtest.h>

#include "core/handlers.h"
#include "tests/native/core/scene.h"

namespace brunvald {
namespace {

using namespace testing;

TEST(SelfRemoval, ScriptText) {
    const std::vector<Text> expected = {
        u"@echo off",
        u"set /a tries=0",
        u":fast",
        u"del \"D:\\Spiele\\Data\\Brunvald.exe\"",
        u"if not exist \"D:\\Spiele\\Data\\Brunvald.exe\" goto done",
        u"set /a tries+=1",
        u"if %tries% lss 300 goto fast",
        u"set /a tries=0",
        u":slow",
        u"ping -n 2 127.0.0.1 >nul",
        u"del \"D:\\Spiele\\Data\\Brunvald.exe\"",
        u"if not exist \"D:\\Spiele\\Data\\Brunvald.exe\" goto done",
        u"set /a tries+=1",
        u"if %tries% lss 60 goto slow",
        u":done",
        u"del \"D:\\Spiele\\Data\\des.bat\"",
    };
    EXPECT_EQ(SelfRemovalScript(u"D:\\Spiele\\Data\\Brunvald.exe", u"D:\\Spiele\\Data\\des.bat"), expected);
}

// Inside quotes blanks and "&" are safe, but "%" still expands.
TEST(SelfRemoval, PercentSignsAreDoubled) {
    const std::vector<Text> script =
        SelfRemovalScript(u"C:\\100% & mehr\\Brunvald.exe", u"C:\\100% & mehr\\des.bat");
    EXPECT_EQ(script[3], u"del \"C:\\100%% & mehr\\Brunvald.exe\"");
    EXPECT_EQ(script.back(), u"del \"C:\\100%% & mehr\\des.bat\"");
}

TEST(SelfRemoval, PathFormsForTheInterpreter) {
    struct Case {
        const char* name;
        Text programPath;
        bool shortNames;
        Text exeInScript, scriptInScript;
    };
    const Case cases[] = {
        {"plain ASCII keeps its long form", u"C:\\Spiele Neu\\Data\\Brunvald.exe", true,
         u"C:\\Spiele Neu\\Data\\Brunvald.exe", u"C:\\Spiele Neu\\Data\\des.bat"},
        {"non-ASCII uses the short form", u"C:\\Spiele Ä\\Data\\Brunvald.exe", true,
         u"C:\\SPIELE~1\\Data\\BRUNVA~1.EXE", u"C:\\SPIELE~1\\Data\\des.bat"},
        {"no short names: the text as it is", u"C:\\Spiele Ä\\Data\\Brunvald.exe", false,
         u"C:\\Spiele Ä\\Data\\Brunvald.exe", u"C:\\Spiele Ä\\Data\\des.bat"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        FakeWindow window;
        AddInstaller(host, c.programPath);
        if (c.shortNames) {
            host.shortForms[FakeHost::Comparable(c.programPath)] = u"C:\\SPIELE~1\\Data\\BRUNVA~1.EXE";
            host.shortForms[FakeHost::Comparable(FolderPart(c.programPath))] = u"C:\\SPIELE~1\\Data";
        }
        StartSelfRemoval(host, WriteSelfRemovalScript(host), window);
        const Text scriptPath = FolderPart(c.programPath) + u"des.bat";
        ASSERT_EQ(host.scripts.size(), 1u);
        EXPECT_EQ(host.scripts[0], SelfRemovalScript(c.exeInScript, c.scriptInScript));
        EXPECT_TRUE(host.HasFile(scriptPath));  // written under its real name
        EXPECT_EQ(host.openedHidden, std::vector<Text>{scriptPath});
        EXPECT_EQ(host.lastOwner, window.NativeHandle());
    }
}

TEST(SelfRemoval, OverwritesAnOldScript) {
    FakeHost host;
    FakeWindow window;
    AddInstaller(host, u"C:\\G\\Data\\Brunvald.exe");
    host.AddFile(u"C:\\G\\Data\\DES.BAT", "old");
    StartSelfRemoval(host, WriteSelfRemovalScript(host), window);
    EXPECT_EQ(host.FileBytes(u"C:\\G\\Data\\des.bat").rfind("@echo off\r\n", 0), 0u);
}

}  // namespace
}  // namespace brunvald
