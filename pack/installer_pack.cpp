#include "pack/installer_pack.h"

#include <filesystem>

#include "pack/pe_resources.h"

namespace brunvald::pack {

namespace {

constexpr std::uint16_t kGerman = 1031;

ResourceId UpperName(const std::string& ascii) {
    std::u16string name;
    for (char c : ascii) name.push_back(static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
    return ResourceId{name};
}

std::uint64_t FileSize(const std::filesystem::path& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) throw PackError("cannot read the size of " + PathText(path) + ": " + error.message());
    return size;
}

}  // namespace

std::vector<std::uint8_t> BuildInstaller(const std::vector<std::uint8_t>& stub, const Mission& mission) {
    ResourceTable table = ReadResources(stub);
    const ResourceId payloadType{std::u16string(u"RT_RCDATA")};
    if (table.count(payloadType))
        throw PackError("the installer program already carries a mission (it has resources of the type RT_RCDATA)");

    // Whether the installer can hold the mission is known from the sizes of
    // its files: a mission too large for it is refused before they are read.
    ResourceSizes sizes = SizesOf(table);
    auto& payloadSizes = sizes[payloadType];
    payloadSizes[UpperName("RCRES")][kGerman] = mission.manifest.size();
    for (const MissionFile& file : mission.files) payloadSizes[UpperName(file.statement.name)][kGerman] = FileSize(file.path);
    CheckReplaceResources(stub, sizes);

    auto& payload = table[payloadType];
    payload[UpperName("RCRES")][kGerman] = ResourceData{mission.manifest, 0};
    for (const MissionFile& file : mission.files)
        payload[UpperName(file.statement.name)][kGerman] = ResourceData{ReadWholeFile(file.path), 0};
    return ReplaceResources(stub, table);
}

}  // namespace brunvald::pack
