// brunvald-resources-on-page: the build's last step for every program it links
// with resources (see brunvald_resources_on_page in payload/CMakeLists.txt).
//
//   brunvald-resources-on-page PROGRAM.exe
//
// Moves the program's resource section in the file so that it starts on a page
// (PlaceResourcesOnPage in pe_resources.h), replacing the file; leaves a
// program whose section starts on a page as it is. Built for the machine that
// runs the build, like the manifest check.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "pack/file_io.h"
#include "pack/pe_resources.h"

namespace fs = std::filesystem;
using namespace brunvald::pack;

namespace {

int Run(const std::vector<fs::path>& args) {
    if (args.size() != 1) {
        std::fputs("usage: brunvald-resources-on-page PROGRAM.exe\n", stderr);
        return 2;
    }
    const fs::path& program = args[0];
    try {
        const std::vector<std::uint8_t> bytes = ReadWholeFile(program);
        const std::vector<std::uint8_t> placed = PlaceResourcesOnPage(bytes);
        if (placed == bytes) return 0;
        const fs::perms permissions = fs::status(program).permissions();
        ReplaceFileWith(program, placed);
        fs::permissions(program, permissions);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "brunvald-resources-on-page: %s: %s\n", PathText(program).c_str(), error.what());
        return 1;
    }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Run(std::vector<fs::path>(argv + 1, argv + argc)); }
#else
int main(int argc, char** argv) { return Run(std::vector<fs::path>(argv + 1, argv + argc)); }
#endif
