// The resource table of a Windows program file (PE32 or PE32+), read and
// written without the platform's resource functions, so that the builder runs
// the same on Windows and on the build machine.
//
// ReplaceResources writes a whole new resource section in place of the old
// one. It takes programs whose resource section is the last section, or is
// followed only by sections the loader may discard (base relocations, debug
// information), which it moves along: nothing addresses them at run time but
// the relocation directory, which it updates. Either file alignment the
// linker uses (512 or a page of 4096) is kept. A signed program is refused:
// its signature could not stay valid.
//
// The resource section it writes starts on a page (kResourcePage) in the
// file, whatever the file alignment: Wine maps a section of a program
// straight from its file only when the section starts on a page, and reads
// any other into the process's private memory when the process starts, which
// for an installer would be its whole payload. The other sections need not
// start on pages: what Wine copies of them is the size of the code.
//
// A program is read as hostile input: every offset and size in its headers,
// its section table and its resource table is checked against the file and
// against the others before anything is built, and a program that does not
// hold together is refused with a PackError that names the structure and its
// place in the file. Sections must lie in the file after the headers and
// share no bytes, in the file or in memory; the resource table's directories,
// names and data entries must lie in the resource section, its first two
// levels lead to directories and its last to data (the directory bit), no
// directory or data entry may be reached twice (a table leading back into
// itself is refused, not walked again), and the data of two resources share
// no bytes. A table that the format cannot hold is refused before anything is
// written: more than 65,535 named or 65,535 numbered entries in one
// directory, a name of more than 65,535 characters, a section of more than
// kMaxResourceSection bytes, or a program whose offsets or sizes would pass
// 32 bits. All of this is worked out in 64 bits.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "pack/file_io.h"

namespace brunvald::pack {

// A type or a name: a number, or a text (held in upper case by convention of
// the resource compilers; looked up without regard to case).
struct ResourceId {
    std::variant<std::u16string, std::uint16_t> value;

    // The order of a resource directory: texts first, by code unit, then
    // numbers, ascending. Lookups search the entries in this order.
    std::strong_ordering operator<=>(const ResourceId& other) const;
    bool operator==(const ResourceId& other) const = default;
};

struct ResourceData {
    std::vector<std::uint8_t> bytes;
    std::uint32_t codePage = 0;
    bool operator==(const ResourceData& other) const = default;
};

// type -> name -> language -> data
using ResourceTable = std::map<ResourceId, std::map<ResourceId, std::map<std::uint16_t, ResourceData>>>;

// Raises PackError when the file is not a program with a readable resource
// table. A program without resources gives an empty table.
ResourceTable ReadResources(const std::vector<std::uint8_t>& program);

inline constexpr std::uint32_t kResourcePage = 4096;

// The most bytes a resource section may take (2 GiB): an entry addresses
// names and directories inside it with 31 bits.
inline constexpr std::uint64_t kMaxResourceSection = 0x80000000u;

// The size of each resource's data, in the shape of a table: enough to know
// whether a table fits before its data are read.
using ResourceSizes = std::map<ResourceId, std::map<ResourceId, std::map<std::uint16_t, std::uint64_t>>>;

ResourceSizes SizesOf(const ResourceTable& table);

// The size of the resource section for a table of these sizes. Raises
// PackError when no section can hold it (see above).
std::uint64_t ResourceSectionSize(const ResourceSizes& sizes);

// Raises PackError exactly when ReplaceResources would refuse `program` with
// a table of these sizes, without the data: the builder asks before it reads
// a mission's files.
void CheckReplaceResources(const std::vector<std::uint8_t>& program, const ResourceSizes& sizes);

// The program with `table` as its resources; everything else is kept.
// Raises PackError when the program's layout does not allow it (see above).
std::vector<std::uint8_t> ReplaceResources(const std::vector<std::uint8_t>& program, const ResourceTable& table);

// The program with its resource section moved in the file to start on a page,
// its bytes and its place in memory unchanged (the sections after it move
// along in the file); the program itself when the section starts on a page
// already. The build does this to every program it links with resources.
// Raises PackError as ReplaceResources does.
std::vector<std::uint8_t> PlaceResourcesOnPage(const std::vector<std::uint8_t>& program);

}  // namespace brunvald::pack
