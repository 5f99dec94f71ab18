// libFuzzer entry for the command line: its split into program and
// arguments, and the start-up's choice of mode from the first argument (a
// full FormCreate against the fake host with a game and the example mission,
// so the line travels the way the program reads it).
//
// Input: after the mark FF FE the rest is UTF-16 LE units (a lone last byte
// is dropped); otherwise each byte is one unit, so plain-text seeds stay
// readable. Beyond memory safety the checks hold properties that do not
// depend on how the split is computed: pieces keep no quote and no NUL and
// never hold more units than the line, quoting the pieces again splits back
// to the same pieces, and the mode is Uninstall exactly when the first
// argument is "UNINSTALL".
// Seeds: tests/fuzz/corpus/command_line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/command_line.h"
#include "core/handlers.h"
#include "tests/native/core/scene.h"

namespace {

using brunvald::Text;

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

Text LineFromBytes(const std::uint8_t* data, std::size_t size) {
    Text line;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        for (std::size_t i = 2; i + 1 < size; i += 2)
            line.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    } else {
        line.assign(data, data + size);
    }
    return line;
}

// The pieces joined again, each in quotes, so that blanks inside stay inside.
// Empty pieces are left out: a quote pair where a piece begins is skipped.
Text Requoted(const std::vector<Text>& pieces) {
    Text line;
    for (const Text& piece : pieces) {
        if (piece.empty()) continue;
        line += u"\t\"" + piece + u"\" ";
    }
    return line;
}

std::vector<Text> WithoutEmpty(const std::vector<Text>& pieces) {
    std::vector<Text> kept;
    for (const Text& piece : pieces)
        if (!piece.empty()) kept.push_back(piece);
    return kept;
}

// The mode FormCreate picks for this command line, on a machine where
// nothing refuses the start.
brunvald::InstallerMode StartUpMode(const Text& commandLine) {
    using namespace brunvald::testing;
    FakeHost host;
    FakeWindow window;
    brunvald::ProgramState state;
    // The smallest scene that starts: the game's key and folders, a mission
    // of one line. Start-up reads no more of either.
    AddGame(host, 0);
    AddMission(host, {{u"CampPak", u"Aurelmark.pak", u"Campaigns\\Aurelmark.pak"}});
    AddInstaller(host);
    host.commandLine = commandLine;
    Require(StartUp(host, window, state));
    Require(state.readyForRun && window.setUpMode == state.mode);
    return state.mode;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Text line = LineFromBytes(data, size);
    const std::vector<Text> pieces = brunvald::SplitCommandLine(line);

    // Nothing past a NUL is read, and every piece's units come from the line.
    const std::size_t end = std::min(line.find(u'\0'), line.size());
    std::size_t units = 0;
    for (const Text& piece : pieces) {
        Require(piece.find_first_of(std::u16string_view(u"\"\0", 2)) == Text::npos);
        units += piece.size();
    }
    Require(units <= end);
    Require(brunvald::SplitCommandLine(line.substr(0, end)) == pieces);

    const std::vector<Text> kept = WithoutEmpty(pieces);
    Require(brunvald::SplitCommandLine(Requoted(pieces)) == kept);

    const Text argument = brunvald::FirstArgument(line);
    Require(argument == (pieces.size() > 1 ? pieces[1] : Text()));

    const bool uninstall = StartUpMode(line) == brunvald::InstallerMode::Uninstall;
    Require(uninstall == (argument == u"UNINSTALL"));
    if (uninstall) Require(line.find(u"UNINSTALL") != Text::npos || line.find(u'"') != Text::npos);
    return 0;
}
