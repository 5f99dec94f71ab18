// The rules of Windows' file system that the runs rely on, as one table run
// against both hosts: the fake natively (tests/native/core/fake_host_test.cpp)
// and the Win32 host under Wine (tests/win32/host/files_test.cpp). The fake
// stands in for Windows in every test of the runs; this table is what keeps it
// from drifting away from the platform unnoticed.
//
// Each case is a list of steps over HostOps in an empty folder, with one
// resource "SHORTTEXT" of type "RT_RCDATA" holding the 4 bytes "kurz", and
// what each step must give.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "host/host_ops.h"
#include "host/host_rules.h"

namespace brunvald::host_rules {

enum class Op {
    Write,       // ExtractResource("SHORTTEXT", path): true when it does not raise
    Holds,       // FileHoldsResource("SHORTTEXT", path)
    Stamp,       // StampOfFile(path) gives the 4 bytes' size; `other` "same" or
                 // "changed": the stamp equals, or differs from, the last Stamp step's
    Rename,      // RenameFile(path, other)
    RenameOver,  // RenameFileOver(path, other)
    RemoveEmpty, // RemoveEmptyFolder(path)
    Lists,       // FileNamesMatching(case folder, path as the pattern) is
                 // exactly `other`, in any letter case (empty: no name)
    Remove,      // RemoveFile(path)
    File,        // FileIsPresent(path)
    Folder,      // FolderIsPresent(path)
    Make,        // MakeFolders(path)
    ReadOnly,    // the test's own way to mark the file read-only; always true
    Reset,       // ResetAttributes(path), a folder ending in "\"; always true
    Pause,       // Pause(20): file times of the platform have steps; always true
};

struct Step {
    Op op;
    Text path;  // below the case's folder
    bool expected;
    Text other = {};  // Rename, RenameOver: the new name, below the case's folder
};

struct Case {
    const char* name;
    std::vector<Step> steps;
};

inline const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"names compare without letter case",
         {{Op::Write, u"Datei.txt", true},
          {Op::File, u"DATEI.TXT", true},
          {Op::File, u"datei.txt", true},
          {Op::Holds, u"dAtEi.TxT", true},
          {Op::Stamp, u"DATEI.txt", true},
          {Op::Stamp, u"fehlt.txt", false},
          {Op::Make, u"Karten\\", true},
          {Op::Folder, u"KARTEN", true},
          {Op::Write, u"karten\\A.map", true},
          {Op::File, u"KARTEN\\a.MAP", true}}},
        {"a rename onto an existing name fails and leaves both",
         {{Op::Write, u"a.txt", true},
          {Op::Write, u"b.txt", true},
          {Op::Rename, u"a.txt", false, u"b.txt"},
          {Op::Rename, u"a.txt", false, u"B.TXT"},
          {Op::File, u"a.txt", true},
          {Op::Holds, u"b.txt", true}}},
        {"a rename moves the file to a free name in an existing folder only",
         {{Op::Write, u"a.txt", true},
          {Op::Rename, u"a.txt", false, u"fehlt\\a.txt"},
          {Op::Rename, u"fehlt.txt", false, u"neu.txt"},
          {Op::File, u"neu.txt", false},
          {Op::Rename, u"a.txt", true, u"c.txt"},
          {Op::File, u"a.txt", false},
          {Op::Holds, u"c.txt", true}}},
        {"a file needs its folder, and MakeFolders makes every missing level",
         {{Op::Write, u"fehlt\\x.txt", false},
          {Op::Folder, u"fehlt", false},
          {Op::File, u"fehlt\\x.txt", false},
          {Op::Make, u"fehlt\\tief\\", true},
          {Op::Folder, u"fehlt\\", true},
          {Op::Folder, u"fehlt\\tief", true},
          {Op::Write, u"fehlt\\tief\\x.txt", true},
          {Op::Make, u"fehlt\\tief\\", true},
          {Op::File, u"fehlt\\tief\\x.txt", true}}},
        {"a folder is no file and a file no folder",
         {{Op::Make, u"Ordner\\", true},
          {Op::File, u"Ordner", false},
          {Op::Write, u"Ordner", false},
          {Op::Remove, u"Ordner", false},
          {Op::Stamp, u"Ordner", false},
          {Op::Folder, u"Ordner", true},
          {Op::Write, u"f.txt", true},
          {Op::Folder, u"f.txt", false},
          {Op::Make, u"f.txt\\unter\\", false},
          {Op::Folder, u"f.txt\\unter", false},
          {Op::Holds, u"f.txt", true}}},
        {"a read-only file is not replaced until its folder's attributes are reset",
         {{Op::Write, u"r.txt", true},
          {Op::ReadOnly, u"r.txt", true},
          {Op::Write, u"r.txt", false},
          {Op::File, u"r.txt", true},
          {Op::Reset, u"", true},
          {Op::Write, u"r.txt", true}}},
        {"a rename over a name replaces its file in one step, never a read-only one or a folder",
         {{Op::Write, u"a.txt", true},
          {Op::RenameOver, u"a.txt", true, u"b.txt"},
          {Op::File, u"a.txt", false},
          {Op::Holds, u"b.txt", true},
          {Op::Write, u"c.txt", true},
          {Op::RenameOver, u"C.TXT", true, u"b.txt"},
          {Op::File, u"c.txt", false},
          {Op::RenameOver, u"fehlt.txt", false, u"b.txt"},
          {Op::Holds, u"b.txt", true},
          {Op::Make, u"Ordner\\", true},
          {Op::RenameOver, u"b.txt", false, u"Ordner"},
          {Op::Write, u"r.txt", true},
          {Op::ReadOnly, u"r.txt", true},
          {Op::RenameOver, u"b.txt", false, u"r.txt"},
          {Op::File, u"b.txt", true}}},
        {"only an empty folder is removed, also named with a final dot",
         {{Op::Make, u"leer\\", true},
          {Op::RemoveEmpty, u"LEER\\", true},
          {Op::Folder, u"leer", false},
          {Op::RemoveEmpty, u"leer\\", false},
          {Op::Make, u"voll\\", true},
          {Op::Write, u"voll\\x.txt", true},
          {Op::RemoveEmpty, u"voll\\", false},
          {Op::Holds, u"voll\\x.txt", true},
          {Op::Make, u"tief\\unter\\", true},
          {Op::RemoveEmpty, u"tief\\", false},
          {Op::Folder, u"tief\\unter", true},
          {Op::Make, u"Kampagne.\\", true},
          {Op::Folder, u"Kampagne", true},
          {Op::RemoveEmpty, u"Kampagne.\\", true},
          {Op::Folder, u"Kampagne", false},
          {Op::Write, u"f.txt", true},
          {Op::RemoveEmpty, u"f.txt", false},
          {Op::File, u"f.txt", true}}},
        {"files are listed by a pattern, folders and longer names left out",
         {{Op::Lists, u"Brunvald-*.journal", true, u""},
          {Op::Write, u"Brunvald-ARMK.journal", true},
          {Op::Write, u"Brunvald-ARMK.journal.new", true},
          {Op::Write, u"Brunvald.exe", true},
          {Op::Make, u"Brunvald-Ordner.journal\\", true},
          {Op::Lists, u"Brunvald-*.journal", true, u"brunvald-armk.JOURNAL"},
          {Op::Lists, u"fehlt\\*.journal", true, u""}}},
        {"a rename keeps the stamp of the file, writing it again changes it",
         {{Op::Write, u"s.txt", true},
          {Op::Stamp, u"s.txt", true},
          {Op::Rename, u"s.txt", true, u"t.txt"},
          {Op::Stamp, u"t.txt", true, u"same"},
          {Op::Pause, u"", true},
          {Op::Write, u"t.txt", true},
          {Op::Stamp, u"t.txt", true, u"changed"}}},
        {"removing takes a file once; a missing one fails",
         {{Op::Remove, u"fehlt.txt", false},
          {Op::Write, u"weg.txt", true},
          {Op::Remove, u"WEG.TXT", true},
          {Op::File, u"weg.txt", false},
          {Op::Remove, u"weg.txt", false},
          {Op::Holds, u"weg.txt", false}}},
    };
    return cases;
}

inline const char* OpName(Op op) {
    switch (op) {
    case Op::Write: return "Write";
    case Op::Holds: return "Holds";
    case Op::Stamp: return "Stamp";
    case Op::Rename: return "Rename";
    case Op::RenameOver: return "RenameOver";
    case Op::RemoveEmpty: return "RemoveEmpty";
    case Op::Lists: return "Lists";
    case Op::Remove: return "Remove";
    case Op::File: return "File";
    case Op::Folder: return "Folder";
    case Op::Make: return "Make";
    case Op::ReadOnly: return "ReadOnly";
    case Op::Reset: return "Reset";
    case Op::Pause: return "Pause";
    }
    return "?";
}

// Runs one case in `folder` (empty, ending in "\"). `markReadOnly` is the
// host's own way of setting the read-only attribute of a file, which HostOps
// has no operation for.
inline void RunCase(HostOps& host, const Text& folder, const Case& c,
                    const std::function<void(const Text& path)>& markReadOnly) {
    SCOPED_TRACE(c.name);
    int index = 0;
    FileStamp lastStamp;
    for (const Step& step : c.steps) {
        ++index;
        const Text path = folder + step.path;
        bool result = true;
        switch (step.op) {
        case Op::Write:
            try {
                host.ExtractResource(u"SHORTTEXT", path);
            } catch (const HostError&) {
                result = false;
            }
            break;
        case Op::Holds: result = host.FileHoldsResource(u"SHORTTEXT", path); break;
        case Op::Stamp: {
            FileStamp stamp;
            result = host.StampOfFile(path, stamp) && stamp.size == 4 &&
                     (step.other.empty() || (step.other == u"same") == (stamp == lastStamp));
            lastStamp = stamp;
            break;
        }
        case Op::Rename: result = host.RenameFile(path, folder + step.other); break;
        case Op::RenameOver: result = host.RenameFileOver(path, folder + step.other); break;
        case Op::RemoveEmpty: result = host.RemoveEmptyFolder(path); break;
        case Op::Lists: {
            const Text pattern = path.substr(path.find_last_of(u'\\') + 1);
            const std::vector<Text> names = host.FileNamesMatching(path.substr(0, path.size() - pattern.size()), pattern);
            result = step.other.empty() ? names.empty()
                                        : names.size() == 1 && SamePathText(names[0], step.other);
            break;
        }
        case Op::Remove: result = host.RemoveFile(path); break;
        case Op::File: result = host.FileIsPresent(path); break;
        case Op::Folder: result = host.FolderIsPresent(path); break;
        case Op::Make: result = host.MakeFolders(path); break;
        case Op::ReadOnly: markReadOnly(path); break;
        case Op::Reset: host.ResetAttributes(path); break;
        case Op::Pause: host.Pause(20); break;
        }
        EXPECT_EQ(result, step.expected) << "step " << index << ": " << OpName(step.op);
    }
}

}  // namespace brunvald::host_rules
