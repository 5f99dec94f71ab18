#include "pack/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#endif

namespace brunvald::pack {

namespace fs = std::filesystem;

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File Open(const fs::path& path, bool write) {
#ifdef _WIN32
    return File(_wfopen(path.c_str(), write ? L"wb" : L"rb"));
#else
    return File(std::fopen(path.c_str(), write ? "wb" : "rb"));
#endif
}

std::string Reason() { return std::strerror(errno); }

}  // namespace

std::string PathText(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::vector<std::uint8_t> ReadWholeFile(const fs::path& path) {
    File file = Open(path, false);
    if (!file) throw PackError("cannot open " + PathText(path) + ": " + Reason());
    std::vector<std::uint8_t> bytes;
    std::uint8_t piece[65536];
    std::size_t got;
    while ((got = std::fread(piece, 1, sizeof piece, file.get())) > 0) bytes.insert(bytes.end(), piece, piece + got);
    if (std::ferror(file.get())) throw PackError("cannot read " + PathText(path) + ": " + Reason());
    return bytes;
}

void ReplaceFileWith(const fs::path& target, const std::vector<std::uint8_t>& bytes) {
    fs::path temporary = target;
    temporary += ".part";
    {
        File file = Open(temporary, true);
        if (!file) throw PackError("cannot create " + PathText(temporary) + ": " + Reason());
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
        const bool flushed = std::fflush(file.get()) == 0;
        if (!written || !flushed) {
            const std::string reason = Reason();
            file.reset();
            std::error_code ignored;
            fs::remove(temporary, ignored);
            throw PackError("cannot write " + PathText(temporary) + ": " + reason);
        }
    }
#ifdef _WIN32
    const bool moved = MoveFileExW(temporary.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    const std::string reason = moved ? "" : "error " + std::to_string(GetLastError());
#else
    const bool moved = std::rename(temporary.c_str(), target.c_str()) == 0;
    const std::string reason = moved ? "" : Reason();
#endif
    if (!moved) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw PackError("cannot replace " + PathText(target) + " with " + PathText(temporary) + ": " + reason);
    }
}

}  // namespace brunvald::pack
