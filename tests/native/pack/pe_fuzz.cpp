// libFuzzer entry for the builder's path through a program file: the input
// is the installer program without a mission (the stub); its last byte also
// says how many files a small mission has, whose bytes are cut from the
// input, and the byte before it how large the first of them is (up to
// 64 KB, so that the resource section grows by pages and the sections after
// it move). Any input must be refused with a PackError or give a program, never
// a read or write out of bounds, a leak, undefined behaviour or another
// exception (a failed bounds check of the writer throws std::logic_error).
//
// Beyond that, with the project's own reader on the output:
// - the builder's check from sizes alone refuses exactly what the writer
//   refuses;
// - the written program reads back as the stub's resources with the mission
//   in place of any it carried, its resource section starts on a page, and
//   writing the same table into it again gives the very same bytes;
// - moving the stub's resource section onto a page keeps its resources;
// - in both, every data directory but the resources' that starts in the
//   data of a section of the stub points at the same bytes as in the stub (the
//   relocations move with their section), read here by a few lines of
//   their own.
// Seeds: tests/fuzz/corpus/pe (tests/fuzz/make_pe_seeds.py).
#include <cstddef>
#include <cstdint>
#include <optional>
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
        std::vector<std::uint8_t> bytes(input.begin() + from, input.begin() + to);
        if (i == 0 && input.size() >= 2) bytes.resize(std::size_t{input[input.size() - 2]} * 256, 0x5A);
        payload[Text(u"MAPS_0" + std::u16string(1, static_cast<char16_t>(u'1' + i)))][1031] = ResourceData{std::move(bytes), 0};
    }
    return table;
}

std::uint32_t Field(const std::vector<std::uint8_t>& bytes, std::uint64_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | (at + i < bytes.size() ? bytes[at + i] : 0);
    return value;
}

// The bytes of data directory `index` that lie in the data of the section
// in the file where it starts (the seeds cut sections short); nothing when
// it starts in none.
std::optional<std::vector<std::uint8_t>> DirectoryBytes(const std::vector<std::uint8_t>& program, int index) {
    const std::uint64_t pe = Field(program, 0x3C, 4), optional = pe + 24;
    const std::uint64_t fixed = Field(program, optional, 2) == 0x10B ? 96 : 112;
    if (static_cast<std::uint32_t>(index) >= Field(program, optional + fixed - 4, 4)) return std::nullopt;
    const std::uint32_t rva = Field(program, optional + fixed + 8 * index, 4);
    const std::uint32_t size = Field(program, optional + fixed + 8 * index + 4, 4);
    if (rva == 0) return std::nullopt;
    const std::uint64_t table = optional + Field(program, pe + 20, 2);
    for (std::uint32_t i = 0; i < Field(program, pe + 6, 2); ++i) {
        const std::uint64_t h = table + 40 * i;
        const std::uint32_t va = Field(program, h + 12, 4), rawSize = Field(program, h + 16, 4);
        const std::uint32_t rawPointer = Field(program, h + 20, 4);
        if (std::uint64_t{rawPointer} + rawSize > program.size()) continue;
        if (rva >= va && rva - va < rawSize) {
            const auto from = program.begin() + rawPointer + (rva - va);
            return std::vector<std::uint8_t>(from, from + std::min<std::uint64_t>(size, rawSize - (rva - va)));
        }
    }
    return std::nullopt;
}

void RequireDirectoriesKept(const std::vector<std::uint8_t>& stub, const std::vector<std::uint8_t>& written) {
    for (int index = 0; index < 16; ++index) {
        if (index == 2) continue;  // the resources, rewritten
        const auto before = DirectoryBytes(stub, index);
        if (before) Require(DirectoryBytes(written, index) == before);
    }
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
        RequireDirectoriesKept(stub, placed);
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
    RequireDirectoriesKept(stub, written);
    Require(ResourcesOnPage(written));
    Require(ReplaceResources(written, installer) == written);
    return 0;
}
