// Splitting the command line into the program and its arguments.
#include "core/command_line.h"

#include <gtest/gtest.h>

#include "tests/native/core/fake_host.h"

namespace brunvald {
namespace {

TEST(CommandLine, Splitting) {
    struct Case {
        Text line;
        std::vector<Text> pieces;
    };
    const Case cases[] = {
        {u"prog UNINSTALL", {u"prog", u"UNINSTALL"}},
        {u"\"C:\\Spiele Ä\\Data\\BrunVald.EXE\" UNINSTALL",
         {u"C:\\Spiele Ä\\Data\\BrunVald.EXE", u"UNINSTALL"}},
        // The unquoted command of a game folder with blanks splits at them.
        {u"C:\\Spiele Ä\\Data\\BrunVald.EXE UNINSTALL",
         {u"C:\\Spiele", u"Ä\\Data\\BrunVald.EXE", u"UNINSTALL"}},
        {u"prog \"UNINSTALL\"", {u"prog", u"UNINSTALL"}},
        {u"prog UN\"INST\"ALL", {u"prog", u"UNINSTALL"}},
        {u"prog \"a b\"c d", {u"prog", u"a bc", u"d"}},
        // Units 1 to 32 separate, all of them.
        {u"prog\t\x01\x1F UNINSTALL\r\n", {u"prog", u"UNINSTALL"}},
        // An empty pair where a piece begins is skipped, also repeatedly.
        {u"prog \"\" UNINSTALL", {u"prog", u"UNINSTALL"}},
        {u"prog \"\"\"\"UNINSTALL", {u"prog", u"UNINSTALL"}},
        {u"prog \"\"", {u"prog"}},
        // Inside a piece an empty pair is just dropped.
        {u"prog UN\"\"INSTALL", {u"prog", u"UNINSTALL"}},
        // An open quote runs to the end of the line.
        {u"prog \"UNINSTALL more", {u"prog", u"UNINSTALL more"}},
        {u"prog \"", {u"prog", u""}},
        // A NUL ends the line.
        {Text(u"prog\0UNINSTALL", 14), {u"prog"}},
        {u"", {}},
        {u"   ", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.pieces) << testing::Utf8(c.line);
}

TEST(CommandLine, FirstArgument) {
    struct Case {
        Text line, first;
    };
    const Case cases[] = {
        {u"\"C:\\Data\\Brunvald.exe\" UNINSTALL extra", u"UNINSTALL"},
        {u"\"C:\\Data\\Brunvald.exe\"", u""},
        {u"C:\\Data\\Brunvald.exe uninstall", u"uninstall"},
        {u"", u""},
    };
    for (const Case& c : cases) EXPECT_EQ(FirstArgument(c.line), c.first) << testing::Utf8(c.line);
}

}  // namespace
}  // namespace brunvald
