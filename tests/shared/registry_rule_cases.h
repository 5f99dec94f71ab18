// The rules of Windows' registry that the runs rely on, as one table run
// against both hosts: the fake natively (tests/native/core/fake_host_test.cpp)
// and the Win32 host under Wine (tests/win32/host/registry_test.cpp), so the
// fake cannot drift from the platform unnoticed.
//
// Each case is a list of steps over RegistryAccess below an empty key (the
// case's base) and what each step must give. A step's path is taken below
// that base; for the value steps it is the value's name.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/host_ops.h"

namespace brunvald::registry_rules {

enum class Op {
    Exists,       // KeyExists(path)
    Open,         // OpenKey(path, false) held in the step's slot: true when a key came back
    Create,       // OpenKey(path, true) held in the step's slot
    Close,        // the slot's key is destroyed; always true
    Delete,       // DeleteKeyTree(path)
    WriteText,    // the slot's WriteText(path, text): true when it does not raise
    WriteNumber,  // the slot's WriteNumber(path, 7): true when it does not raise
    Read,         // the slot's ReadText(path): true gives text; false raises the message text
};

struct Step {
    Op op;
    Text path;
    bool expected;
    Text text = {};
    int slot = 0;  // which of the two keys a case holds
};

struct Case {
    const char* name;
    std::vector<Step> steps;
};

inline const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"key and value names compare without letter case",
         {{Op::Create, u"Eins\\Zwei", true},
          {Op::Exists, u"EINS\\zwei", true},
          {Op::WriteText, u"Wert", true, u"a"},
          {Op::Open, u"eins\\ZWEI", true, {}, 1},
          {Op::Read, u"WERT", true, u"a", 1}}},
        {"opening without create finds no missing key and makes none",
         {{Op::Open, u"Fehlt", false},
          {Op::Exists, u"Fehlt", false},
          {Op::Open, u"Fehlt\\Tiefer", false},
          {Op::Exists, u"Fehlt", false}}},
        {"create makes every missing key of the chain",
         {{Op::Create, u"a\\b\\c", true},
          {Op::Exists, u"a", true},
          {Op::Exists, u"A\\B", true},
          {Op::Exists, u"a\\b\\c", true},
          {Op::WriteText, u"v", true, u"unten"}}},
        {"create of an existing key opens it with its values",
         {{Op::Create, u"k", true},
          {Op::WriteText, u"v", true, u"1"},
          {Op::Close, u"", true},
          {Op::Create, u"K", true},
          {Op::Read, u"v", true, u"1"},
          {Op::Open, u"k", true, {}, 1},
          {Op::Read, u"V", true, u"1", 1}}},
        {"text reads back as stored, up to its first NUL; a number is no text",
         {{Op::Create, u"w", true},
          {Op::WriteText, u"t", true, u"C:\\Spiele\\Kaiser Ä"},
          {Op::Read, u"t", true, u"C:\\Spiele\\Kaiser Ä"},
          {Op::WriteText, u"leer", true, u""},
          {Op::Read, u"leer", true, u""},
          {Op::Read, u"fehlt", true, u""},
          {Op::WriteText, u"nul", true, Text(u"vor\0nach", 8)},
          {Op::Read, u"nul", true, u"vor"},
          {Op::WriteNumber, u"n", true},
          {Op::Read, u"n", false, u"Ungültiger Datentyp für 'n'"},
          {Op::WriteText, u"N", true, u"jetzt Text"},
          {Op::Read, u"n", true, u"jetzt Text"}}},
        {"deleting takes the key with its whole tree and nothing beside it",
         {{Op::Create, u"weg\\a\\b", true},
          {Op::WriteText, u"v", true, u"x"},
          {Op::Create, u"weg\\c", true, {}, 1},
          {Op::Close, u"", true},
          {Op::Close, u"", true, {}, 1},
          {Op::Create, u"wegda", true},
          {Op::Delete, u"WEG", true},
          {Op::Exists, u"weg\\a\\b", false},
          {Op::Exists, u"weg\\c", false},
          {Op::Exists, u"weg", false},
          {Op::Exists, u"wegda", true},
          {Op::Delete, u"weg", false},
          {Op::Delete, u"fehlt\\tief", false}}},
        {"a key held while it is deleted reads nothing and takes no write, even once created again",
         {{Op::Create, u"offen", true},
          {Op::WriteText, u"v", true, u"1"},
          {Op::Delete, u"offen", true},
          {Op::Read, u"v", true, u""},
          {Op::WriteText, u"v", false, u"2"},
          {Op::WriteNumber, u"n", false},
          {Op::Exists, u"offen", false},
          {Op::Create, u"offen", true, {}, 1},
          {Op::WriteText, u"v", false, u"3"},
          {Op::Read, u"v", true, u"", 1},
          {Op::WriteText, u"v", true, u"4", 1},
          {Op::Read, u"v", true, u"", 0},
          {Op::Read, u"v", true, u"4", 1}}},
    };
    return cases;
}

inline const char* OpName(Op op) {
    switch (op) {
    case Op::Exists: return "Exists";
    case Op::Open: return "Open";
    case Op::Create: return "Create";
    case Op::Close: return "Close";
    case Op::Delete: return "Delete";
    case Op::WriteText: return "WriteText";
    case Op::WriteNumber: return "WriteNumber";
    case Op::Read: return "Read";
    }
    return "?";
}

// Runs one case below `base` (an existing, empty key, given from the root
// without a final "\").
inline void RunCase(RegistryAccess& registry, const Text& base, const Case& c) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<RegistryKey> keys[2];
    int index = 0;
    for (const Step& step : c.steps) {
        ++index;
        SCOPED_TRACE(::testing::Message() << "step " << index << ": " << OpName(step.op));
        const Text path = base + u'\\' + step.path;
        std::unique_ptr<RegistryKey>& key = keys[step.slot];
        bool result = true;
        switch (step.op) {
        case Op::Exists: result = registry.KeyExists(path); break;
        case Op::Open: result = (key = registry.OpenKey(path, false)) != nullptr; break;
        case Op::Create: result = (key = registry.OpenKey(path, true)) != nullptr; break;
        case Op::Close: key.reset(); break;
        case Op::Delete: result = registry.DeleteKeyTree(path); break;
        case Op::WriteText:
        case Op::WriteNumber:
        case Op::Read:
            ASSERT_NE(key, nullptr) << "no key held in slot " << step.slot;
            try {
                if (step.op == Op::WriteText) key->WriteText(step.path, step.text);
                else if (step.op == Op::WriteNumber) key->WriteNumber(step.path, 7);
                else EXPECT_EQ(key->ReadText(step.path), step.text);
            } catch (const HostError& error) {
                result = false;
                if (step.op == Op::Read) {
                    EXPECT_EQ(error.message(), step.text);
                }
            }
            break;
        }
        EXPECT_EQ(result, step.expected);
    }
}

}  // namespace brunvald::registry_rules
