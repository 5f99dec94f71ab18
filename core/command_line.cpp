#include "core/command_line.h"

namespace brunvald {

namespace {

// Reads the unit at i, or NUL past the end: the line ends at either.
char16_t At(const Text& line, std::size_t i) { return i < line.size() ? line[i] : u'\0'; }

bool IsSeparator(char16_t unit) { return unit != u'\0' && unit <= u' '; }

// Skips separators and empty quote pairs that stand where a piece begins.
std::size_t SkipToPiece(const Text& line, std::size_t i) {
    for (;;) {
        while (IsSeparator(At(line, i))) ++i;
        if (At(line, i) != u'"' || At(line, i + 1) != u'"') return i;
        i += 2;
    }
}

// Reads one piece starting at i; returns the index after it.
std::size_t ReadPiece(const Text& line, std::size_t i, Text& piece) {
    while (At(line, i) > u' ') {
        if (At(line, i) != u'"') {
            piece.push_back(line[i++]);
            continue;
        }
        ++i;  // the opening quote
        while (At(line, i) != u'\0' && At(line, i) != u'"') piece.push_back(line[i++]);
        if (At(line, i) == u'"') ++i;  // the closing quote
    }
    return i;
}

}  // namespace

std::vector<Text> SplitCommandLine(const Text& commandLine) {
    std::vector<Text> pieces;
    std::size_t i = SkipToPiece(commandLine, 0);
    while (At(commandLine, i) != u'\0') {
        Text piece;
        i = SkipToPiece(commandLine, ReadPiece(commandLine, i, piece));
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

Text FirstArgument(const Text& commandLine) {
    const std::vector<Text> pieces = SplitCommandLine(commandLine);
    return pieces.size() > 1 ? pieces[1] : Text();
}

}  // namespace brunvald
