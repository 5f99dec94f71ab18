// libFuzzer entry for the builder's path through a program file: the input
// is the installer program without a mission (the stub); its last byte also
// says how many files a small mission has, whose bytes are cut from the
// input. Any input must be refused with a PackError or give a program, never
// a read or write out of bounds, a leak, undefined behaviour or another
// exception (a failed bounds check of the writer throws std::logic_error).
//
// Beyond that, with the project's own reader on the output:
// - the builder's check from sizes alone refuses exactly what the writer
//   refuses;
// - the written program reads back as the stub's resources with the mission
//   in place of any it carried, its resource section starts on a page, and
//   writing the same table into it again gives the very same bytes;
// - moving the stub's resource section onto a page keeps its resources.
// Seeds: tests/fuzz/corpus/pe (tests/fuzz/make_pe_seeds.py).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pack/pe_resources.h"

namespace {

using namespace brunvald::pack;

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

ResourceId Text(const std::u16string& text) { return ResourceId{text}; }

// The stub's resources with a mission of up to three files as the builder
// adds it: type "RT_RCDATA", names in capitals, language 1031.
ResourceTable WithMission(ResourceTable table, const std::vector<std::uint8_t>& input) {
    const ResourceId payloadType = Text(u"RT_RCDATA");
    table.erase(payloadType);
    auto& payload = table[payloadType];
    const std::string manifest = "CampPak RT_RCDATA \"F.pak\"\r\nCampInI RT_RCDATA \"F.ini\"";
    payload[Text(u"RCRES")][1031] = ResourceData{std::vector<std::uint8_t>(manifest.begin(), manifest.end()), 0};
    const unsigned files = input.empty() ? 0 : input.back() % 4;
    for (unsigned i = 0; i < files; ++i) {
        const std::size_t from = std::min<std::size_t>(input.size(), 17 * i);
        const std::size_t to = std::min<std::size_t>(input.size(), from + 7 + 29 * i);
        payload[Text(u"MAPS_0" + std::u16string(1, static_cast<char16_t>(u'1' + i)))][1031] =
            ResourceData{std::vector<std::uint8_t>(input.begin() + from, input.begin() + to), 0};
    }
    return table;
}

// The section on a page: the program's own resource section is where
// PlaceResourcesOnPage leaves a program as it is.
bool ResourcesOnPage(const std::vector<std::uint8_t>& program) { return PlaceResourcesOnPage(program) == program; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> stub(data, data + size);

    bool read = false;
    ResourceTable table;
    try {
        table = ReadResources(stub);
        read = true;
    } catch (const PackError&) {
    }

    try {
        const std::vector<std::uint8_t> placed = PlaceResourcesOnPage(stub);
        if (read) Require(ReadResources(placed) == table);
        Require(ResourcesOnPage(placed));
    } catch (const PackError&) {
    }

    if (!read) return 0;
    const ResourceTable installer = WithMission(table, stub);
    bool checked = true;
    try {
        CheckReplaceResources(stub, SizesOf(installer));
    } catch (const PackError&) {
        checked = false;
    }
    std::vector<std::uint8_t> written;
    try {
        written = ReplaceResources(stub, installer);
    } catch (const PackError&) {
        Require(!checked);
        return 0;
    }
    Require(checked);
    Require(ReadResources(written) == installer);
    Require(ResourcesOnPage(written));
    Require(ReplaceResources(written, installer) == written);
    return 0;
}
