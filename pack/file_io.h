// Whole-file reading and writing for the builder, with paths that may hold
// any character the platform allows (wide paths on Windows).
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace brunvald::pack {

// A fault that stops the builder; its text is shown to the mission maker.
class PackError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The path as UTF-8, for messages.
std::string PathText(const std::filesystem::path& path);

// Raises PackError naming the path and the operation.
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path);

// Writes `bytes` to `target` through a temporary file beside it that then
// replaces `target` in one step: an existing `target` is only replaced by a
// complete file, and left as it was when anything fails. Raises PackError.
void ReplaceFileWith(const std::filesystem::path& target, const std::vector<std::uint8_t>& bytes);

}  // namespace brunvald::pack
