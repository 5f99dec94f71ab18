// Nothing of the game lost on any path: the install journal, the faults it
// mends (each of these cases failed before it), and the process killed at
// every moment of an install or an uninstall.
#include <gtest/gtest.h>

#include "core/install_journal.h"
#include "host/host_rules.h"
#include "tests/native/core/scene.h"

namespace brunvald {
namespace {

using namespace testing;

const Text kJournal = InGame(u"Data\\Brunvald-ARMK.journal");

// A game whose own files hold exactly the bytes the mission carries for them
// (a reset tree image of zeros, an unchanged building-model list).
void MakeGameFilesEqualToTheMissions(Machine& machine) {
    for (const MissionFile& file : AurelmarkFiles())
        if (*file.installedAt && machine.host.HasFile(InGame(file.installedAt)))
            machine.host.AddFile(InGame(file.installedAt), MissionBytes(file.resource));
}

std::vector<JournalRecord> StoredRecords(const FakeHost& host) {
    const std::string bytes = host.FileBytes(kJournal);
    JournalContent content;
    EXPECT_TRUE(DecodeJournal(AsBytes(bytes), kGame, content));
    return content.records;
}

std::vector<std::uint8_t> Utf16(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

TEST(InstallJournal, EncodesAndRefusesWhatIsNotWhole) {
    const JournalContent content = {
        u"Aurelmark",
        {
            {JournalMark::FolderMade, u"C:\\G\\Campaigns\\A.\\", u"", u""},
            {JournalMark::Saved, u"C:\\G\\Model\\T.Index", u"C:\\G\\Model\\ARMK-T.Index", u"CampTR1"},
            {JournalMark::Writing, u"C:\\G\\Cities\\\u00c4 b.map", u"", u"Maps\t1:\n"},
            {JournalMark::Written, u"D:\\Elsewhere\\x", u"", u"", 0x0123456789abcdefu},
        }};
    const std::vector<std::uint8_t> bytes = EncodeJournal(content, u"C:\\G\\");
    JournalContent decoded;
    ASSERT_TRUE(DecodeJournal(Bytes(bytes.data(), bytes.size()), u"C:\\G\\", decoded));
    EXPECT_EQ(decoded.missionName, content.missionName);
    EXPECT_EQ(decoded.records, content.records);

    // Stored relative to the game's folder: read for the same game found
    // elsewhere, every path under the game lands in the new place.
    ASSERT_TRUE(DecodeJournal(Bytes(bytes.data(), bytes.size()), u"E:\\Neu\\", decoded));
    EXPECT_EQ(decoded.records[1].path, u"E:\\Neu\\Model\\T.Index");
    EXPECT_EQ(decoded.records[1].backup, u"E:\\Neu\\Model\\ARMK-T.Index");
    EXPECT_EQ(decoded.records[0].path, u"E:\\Neu\\Campaigns\\A.\\");
    EXPECT_EQ(decoded.records[3].path, u"D:\\Elsewhere\\x");
    EXPECT_EQ(decoded.records[2].backup, u"");

    const std::vector<std::uint8_t> empty = EncodeJournal({}, u"C:\\G\\");
    ASSERT_TRUE(DecodeJournal(Bytes(empty.data(), empty.size()), u"C:\\G\\", decoded));
    EXPECT_TRUE(decoded.records.empty());

    // Every cut of the stored form, and anything after its end, is refused
    // as a whole.
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        JournalContent out = content;
        EXPECT_FALSE(DecodeJournal(Bytes(bytes.data(), cut), u"C:\\G\\", out)) << cut;
        EXPECT_TRUE(out.records.empty());
    }
    std::vector<std::uint8_t> extra = bytes;
    extra.push_back(u'x');
    extra.push_back(0);
    EXPECT_FALSE(DecodeJournal(Bytes(extra.data(), extra.size()), u"C:\\G\\", decoded));
}

// A journal of the first form, written by the build before, holds whole
// paths: read as they are, and stored relative to the game's folder from then
// on, where they lie under it.
TEST(InstallJournal, ReadsTheFirstFormAndStoresItRelative) {
    const auto field = [](const std::u16string& text) {
        return DecimalText(static_cast<std::uint32_t>(text.size())) + u":" + text;
    };
    const std::vector<std::uint8_t> first =
        Utf16(u"Brunvald install journal 1\n"
              u"S" + field(InGame(u"EmperorText.eng")) + field(InGame(u"ARMK-EmperorText.eng")) + field(u"CampEng") + u"\n"
              u"W" + field(u"D:\\Anderswo\\x.map") + field(u"") + field(u"Maps_01") + u"\n"
              u"end 2\n");
    JournalContent content;
    ASSERT_TRUE(DecodeJournal(Bytes(first.data(), first.size()), kGame, content));
    ASSERT_EQ(content.records.size(), 2u);
    EXPECT_EQ(content.records[0].path, InGame(u"EmperorText.eng"));
    EXPECT_EQ(content.missionName, u"");

    FakeHost host;
    host.AddFolder(InGame(u"Data"));
    host.AddFile(kJournal, std::string(first.begin(), first.end()));
    InstallJournal journal(host, kJournal, kGame, u"Aurelmark");
    ASSERT_EQ(journal.condition(), InstallJournal::Condition::Valid);
    journal.Forget(u"D:\\Anderswo\\x.map");
    const std::string stored = host.FileBytes(kJournal);
    const std::vector<std::uint8_t> expected = Utf16(
        u"Brunvald install journal 2\nmission 9:Aurelmark\n"
        u"S15:EmperorText.eng20:ARMK-EmperorText.eng7:CampEng0:\n"
        u"end 1\n");
    EXPECT_EQ(stored, std::string(expected.begin(), expected.end()));
}

// Fault 1: a second install, or the rerun after a failed install, used to
// save the mission's own file from the first attempt under the backup name
// wherever the game lacked the file; the uninstall then "restored" it, and
// the mission's file stayed in the game for good.
TEST(InstallJournal, SecondInstallAndRerunNeverSaveTheMissionsOwnFile) {
    struct Case {
        const char* name;
        unsigned gameFiles;
        const char16_t* failingWrite;  // first attempt breaks off here ("" none)
    };
    const Case cases[] = {
        {"second install, no TreeImage.Index", kAllGameFiles & ~kTree, u""},
        {"second install, no tree images", kAllGameFiles & ~(kTree | kResetTree), u""},
        {"second install, no replaced file", 0, u""},
        {"rerun after a failed write, no TreeImage.Index", kAllGameFiles & ~kTree,
         u"EmperorText.eng"},
        // The broken file of the first attempt sits where the game had none.
        {"rerun after a half-written file the game lacked", kAllGameFiles & ~kText,
         u"EmperorText.eng"},
        {"rerun after a half-written tree image", kAllGameFiles & ~(kTree | kResetTree),
         u"Model\\ResetTreeImage.Index"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine(c.gameFiles);
        const std::vector<std::string> before = machine.GameListing();
        if (*c.failingWrite) {
            machine.host.streamFailures.insert(FakeHost::Comparable(InGame(c.failingWrite)));
            ASSERT_EQ(machine.Install(), "Stream-Schreibfehler");
            machine.host.streamFailures.clear();
        } else {
            ASSERT_EQ(machine.Install(), "ended");
        }
        ASSERT_EQ(machine.Install(), "ended");
        for (const char16_t* name : {u"Model\\ARMK-TreeImage.Index", u"Model\\ARMK-ResetTreeImage.Index",
                                     u"ARMK-EmperorText.eng"})
            EXPECT_EQ(machine.host.FileBytes(InGame(name)).rfind("mission", 0), std::string::npos)
                << Utf8(name);
        ASSERT_EQ(machine.Uninstall(), "ended");
        EXPECT_EQ(machine.GameListing(), before);
    }
}

// Fault 2: byte equality is not ownership. The game's files that equal the
// mission's must survive an uninstall of a mission never installed, the
// retry after an uninstall that stopped at a held file, and the second press
// after the self-removal script could not be written.
TEST(InstallJournal, GameFilesEqualToTheMissionsAreNeverTakenForItsOwn) {
    struct Case {
        const char* name;
        const char16_t* held;  // a file that cannot be removed at the first press
        bool scriptFails;
        bool installed;
    };
    const Case cases[] = {
        {"never installed", u"", false, false},
        {"retry after a held file", u"EmperorText.eng", false, true},
        {"retry after a held tree image", u"Model\\TreeImage.Index", false, true},
        {"second press after the script failed", u"", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine;
        MakeGameFilesEqualToTheMissions(machine);
        const std::vector<std::string> before = machine.GameListing();
        if (c.installed) {
            ASSERT_EQ(machine.Install(), "ended");
        }

        AddInstaller(machine.host, kCopy, u"UNINSTALL");
        if (c.scriptFails) machine.host.AddFile(InGame(u"Data\\des.bat"), "locked");
        FakeWindow window;
        ProgramState state;
        ASSERT_TRUE(StartUp(machine.host, window, state));
        if (*c.held) machine.host.SetReadOnly(InGame(c.held), true);
        if (c.scriptFails) machine.host.SetReadOnly(InGame(u"Data\\des.bat"), true);
        const std::string first = RunToEnd(machine.host, window, [&] { return UninstallRun(machine.host, window, state); });
        EXPECT_EQ(first == "ended", !*c.held && !c.scriptFails) << first;

        if (*c.held) machine.host.SetReadOnly(InGame(c.held), false);
        if (c.scriptFails) {
            machine.host.SetReadOnly(InGame(u"Data\\des.bat"), false);
            machine.host.RemoveFile(InGame(u"Data\\des.bat"));
        }
        machine.host.log.clear();
        EXPECT_EQ(RunToEnd(machine.host, window, [&] { return UninstallRun(machine.host, window, state); }), "ended");
        EXPECT_EQ(machine.GameListing(), before);
        // Fault 7: the campaign folder the first press deleted is not asked
        // for again.
        for (const std::string& entry : machine.host.log)
            EXPECT_EQ(entry.rfind("DeleteTree", 0), std::string::npos) << entry;
        EXPECT_FALSE(machine.host.HasKey(kEntryKey));
        EXPECT_FALSE(machine.host.HasKey(kMaker));
    }
}

// Fault 3: a CampMap entry without a campaign folder before it wrote its
// map to a bare relative path, outside the game and never removed.
TEST(InstallJournal, CampaignMapWithoutCampaignFolderIsNotWritten) {
    struct Case {
        const char* name;
        std::vector<MissionFile> files;
    };
    const Case cases[] = {
        {"CampMap before CampSet",
         {{u"CampMap", u"AurelmarkP.map", u""}, {u"CampSet", u"Aurelmark.set", u""},
          {u"CampPak", u"Aurelmark.pak", u""}, {u"CampInI", u"ARMK.ini", u""}}},
        {"after a CampSet that names no folder",
         {{u"CampSet", u"set", u""}, {u"CampMap", u"AurelmarkP.map", u""},
          {u"CampPak", u"Aurelmark.pak", u""}, {u"CampInI", u"ARMK.ini", u""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine(kAllGameFiles, c.files);
        const std::vector<std::string> before = machine.GameListing();
        ASSERT_EQ(machine.Install(), "ended");
        for (const std::string& entry : machine.host.log)
            EXPECT_EQ(entry.find("Extract CampMap"), std::string::npos) << entry;
        ASSERT_EQ(machine.Uninstall(), "ended");
        EXPECT_EQ(machine.GameListing(), before);
    }
}

// The faults of a process ended hard: after a kill at any moment of an
// install, the same install again and then the uninstall leave the game's
// folder byte for byte as it was, and neither record. On a game with all its
// files, one without TreeImage.Index, and one whose files equal the mission's.
TEST(InstallJournal, KilledAtEveryMomentOfTheInstall) {
    struct Case {
        const char* name;
        unsigned gameFiles;
        bool equalFiles;
    };
    const Case cases[] = {
        {"all game files", kAllGameFiles, false},
        {"no TreeImage.Index", kAllGameFiles & ~kTree, false},
        {"no tree images", kAllGameFiles & ~(kTree | kResetTree), false},
        {"files equal to the mission's", kAllGameFiles, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        long moments = 0;
        {
            Machine counting(c.gameFiles);
            ASSERT_EQ(counting.Install(), "ended");
            moments = counting.host.effects;
        }
        ASSERT_GT(moments, 20);
        for (long kill = 1; kill <= moments; ++kill) {
            SCOPED_TRACE("killed at moment " + std::to_string(kill));
            Machine machine(c.gameFiles);
            if (c.equalFiles) MakeGameFilesEqualToTheMissions(machine);
            const std::vector<std::string> before = machine.GameListing();
            machine.host.killAt = kill;
            EXPECT_THROW(machine.Install(), ProcessKilled);
            machine.host.killAt = -1;
            ASSERT_EQ(machine.Install(), "ended");
            ASSERT_EQ(machine.Uninstall(), "ended");
            EXPECT_EQ(machine.GameListing(), before);
            EXPECT_FALSE(machine.host.HasKey(kEntryKey));
            EXPECT_FALSE(machine.host.HasKey(kMaker));
        }
    }
}

// Fault 4 and the uninstall killed at every moment: the run again finishes
// the job, and at no moment is the maker key left without the uninstall
// entry (which refused every other mission of the maker and left this one
// impossible to remove from the list).
TEST(InstallJournal, KilledAtEveryMomentOfTheUninstall) {
    for (const bool equalFiles : {false, true}) {
        SCOPED_TRACE(equalFiles ? "files equal to the mission's" : "the game's own files");
        long installed = 0, moments = 0;
        {
            Machine counting;
            ASSERT_EQ(counting.Install(), "ended");
            installed = counting.host.effects;
            ASSERT_EQ(counting.Uninstall(), "ended");
            moments = counting.host.effects - installed;
        }
        ASSERT_GE(moments, 25);
        for (long kill = 1; kill <= moments; ++kill) {
            SCOPED_TRACE("killed at moment " + std::to_string(kill));
            Machine machine;
            if (equalFiles) MakeGameFilesEqualToTheMissions(machine);
            const std::vector<std::string> before = machine.GameListing();
            ASSERT_EQ(machine.Install(), "ended");
            machine.host.killAt = machine.host.effects + kill;
            EXPECT_THROW(machine.Uninstall(), ProcessKilled);
            machine.host.killAt = -1;
            EXPECT_TRUE(!machine.host.HasKey(kMaker) || machine.host.HasKey(kEntryKey));
            // Another mission of the maker is refused only while this one is
            // still recorded under a name it can be removed by.
            if (machine.host.HasKey(kMaker)) {
                Machine other(kAllGameFiles, {{u"CampPak", u"Nordhafen.pak", u""},
                                              {u"CampInI", u"NRDH.ini", u""}});
                other.host.keys = machine.host.keys;
                EXPECT_EQ(other.Install(), "refused");
            }
            ASSERT_EQ(machine.Uninstall(), "ended");
            EXPECT_EQ(machine.GameListing(), before);
            EXPECT_FALSE(machine.host.HasKey(kEntryKey));
            EXPECT_FALSE(machine.host.HasKey(kMaker));
        }
    }
}

// A journal that cannot be read leads to no deletion of a file whose owner is
// unknown: only the files with their backup present are undone.
TEST(InstallJournal, UnreadableJournalDeletesNoFileOfUnknownOwner) {
    struct Case {
        const char* name;
        std::string journal;  // "" = the file refuses to be read
    };
    const Case cases[] = {
        {"cut short", "B\0r\0u\0"},
        {"cannot be read", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine(kAllGameFiles & ~kTree);
        MakeGameFilesEqualToTheMissions(machine);
        ASSERT_EQ(machine.Install(), "ended");
        machine.host.AddFile(kJournal, c.journal);
        if (c.journal.empty()) machine.host.unreadableFiles.insert(FakeHost::Comparable(kJournal));
        ASSERT_EQ(machine.Uninstall(), "ended");
        // Saved game files are back, files without a backup stay.
        EXPECT_EQ(machine.host.FileBytes(InGame(u"EmperorText.eng")), "mission:CampEng");
        EXPECT_FALSE(machine.host.HasFile(InGame(u"ARMK-EmperorText.eng")));
        EXPECT_TRUE(machine.host.HasFile(InGame(u"Model\\TreeImage.Index")));
        EXPECT_TRUE(machine.host.HasFile(InGame(u"Cities\\ChengduAmk.map")));
        EXPECT_FALSE(machine.host.HasKey(kMaker));
    }
}

// A mission installed by a build that kept no journal: the uninstall adopts
// it by the older rules, and a second install over it saves no mission file.
TEST(InstallJournal, MissionOfAnEarlierBuildWithoutJournal) {
    for (const bool reinstall : {false, true}) {
        SCOPED_TRACE(reinstall ? "installed again, then removed" : "removed");
        Machine machine(kAllGameFiles & ~kTree);
        const std::vector<std::string> before = machine.GameListing();
        ASSERT_EQ(machine.Install(), "ended");
        machine.host.RemoveFile(kJournal);  // what the earlier build left
        if (reinstall) {
            ASSERT_EQ(machine.Install(), "ended");
            EXPECT_FALSE(machine.host.HasFile(InGame(u"Model\\ARMK-TreeImage.Index")));
        }
        ASSERT_EQ(machine.Uninstall(), "ended");
        EXPECT_EQ(machine.GameListing(), before);
    }
}

// The journal on disk says, before each change, what the change will be.
TEST(InstallJournal, RecordsEachChangeBeforeItIsMade) {
    Machine machine(kAllGameFiles & ~kTree);
    ASSERT_EQ(machine.Install(), "ended");
    const std::vector<JournalRecord> records = StoredRecords(machine.host);
    const auto mark = [&](const char16_t* relative) {
        for (const JournalRecord& record : records)
            if (FakeHost::Comparable(record.path) == FakeHost::Comparable(InGame(relative)))
                return static_cast<char>(record.mark);
        return '-';
    };
    EXPECT_EQ(mark(u"Campaigns\\Aurelmark\\"), 'F');
    EXPECT_EQ(mark(u"Campaigns\\Aurelmark\\AurelmarkP.map"), 'W');
    EXPECT_EQ(mark(u"Model\\TreeImage.Index"), 'W');        // the game had none
    EXPECT_EQ(mark(u"Model\\ResetTreeImage.Index"), 'S');   // saved first
    EXPECT_EQ(mark(u"Cities\\ChengduAmk.map"), 'W');

    // Killed right after the announcement of the first saved file: the
    // journal already names it, the game's file is still in place.
    Machine killed;
    killed.host.killAt = 2;  // the copy, then the first store of the journal
    EXPECT_THROW(killed.Install(), ProcessKilled);
    EXPECT_TRUE(killed.host.HasFile(kJournal + u".new"));
    EXPECT_FALSE(killed.host.HasFile(kJournal));
    killed.host.log.clear();
    const long start = killed.host.effects;
    {
        Machine counting;
        ASSERT_EQ(counting.Install(), "ended");
        const auto rename = std::find_if(counting.host.log.begin(), counting.host.log.end(),
                                         [](const std::string& line) { return line.rfind("Rename ", 0) == 0; });
        killed.host.killAt = start + (rename - counting.host.log.begin()) + 1;
    }
    EXPECT_THROW(killed.Install(), ProcessKilled);
    EXPECT_EQ(killed.host.log.back(), "Journal " + Utf8(kJournal) + " [flushed]");
    ASSERT_TRUE(killed.host.HasFile(kJournal));
    EXPECT_EQ(StoredRecords(killed.host).size(), 1u);
    EXPECT_EQ(killed.host.FileBytes(InGame(u"Data\\China_FE_MainMenu.jpg")),
              GameBytes(u"Data\\China_FE_MainMenu.jpg"));
}

// A store is flushed to the medium exactly when it adds, changes or drops the
// record of a saved game file: what a power cut must not take back. The other
// stores are made the same atomic way without waiting for the medium.
TEST(InstallJournal, FlushesTheStoresThatConcernASavedGameFile) {
    const Text game = InGame(u"Model\\TreeImage.Index");
    const Text backup = InGame(u"Model\\ARMK-TreeImage.Index");
    const Text mine = InGame(u"Cities\\ChengduAmk.map");
    const Text folder = InGame(u"Campaigns\\Aurelmark\\");
    const std::string flushed = "Journal " + Utf8(kJournal) + " [flushed]";
    const std::string plain = "Journal " + Utf8(kJournal);
    struct Case {
        const char* name;
        void (*step)(InstallJournal&, const Text& game, const Text& backup, const Text& mine, const Text& folder);
        bool flushed;
    };
    const Case cases[] = {
        {"a folder made", [](InstallJournal& j, const Text&, const Text&, const Text&, const Text& f) {
             j.Note({JournalMark::FolderMade, f, {}, {}}); }, false},
        {"a mission file being written", [](InstallJournal& j, const Text&, const Text&, const Text& m, const Text&) {
             j.Note({JournalMark::Writing, m, {}, u"Maps_01"}); }, false},
        {"that file complete", [](InstallJournal& j, const Text&, const Text&, const Text& m, const Text&) {
             j.Note({JournalMark::Written, m, {}, u"Maps_01"}); }, false},
        {"a game file saved", [](InstallJournal& j, const Text& g, const Text& b, const Text&, const Text&) {
             j.Note({JournalMark::Saved, g, b, u"CampTR1"}); }, true},
        {"the saved record replaced", [](InstallJournal& j, const Text& g, const Text&, const Text&, const Text&) {
             j.Note({JournalMark::Writing, g, {}, u"CampTR1"}); }, true},
        {"saved again", [](InstallJournal& j, const Text& g, const Text& b, const Text&, const Text&) {
             j.Note({JournalMark::Saved, g, b, u"CampTR1"}); }, true},
        {"the mission file dropped", [](InstallJournal& j, const Text&, const Text&, const Text& m, const Text&) {
             j.Forget(m); }, false},
        {"the saved game file dropped", [](InstallJournal& j, const Text& g, const Text&, const Text&, const Text&) {
             j.Forget(g); }, true},
        {"everything adopted", [](InstallJournal& j, const Text&, const Text&, const Text&, const Text& f) {
             j.Adopt({{JournalMark::FolderMade, f, {}, {}}}); }, true},
    };
    FakeHost host;
    host.AddFolder(InGame(u"Data"));
    InstallJournal journal(host, kJournal, kGame);
    for (const Case& c : cases) {
        host.log.clear();
        c.step(journal, game, backup, mine, folder);
        EXPECT_EQ(host.log, std::vector<std::string>{c.flushed ? flushed : plain}) << c.name;
    }
    // What is stored already is not stored again, flushed or not.
    host.log.clear();
    journal.Note({JournalMark::FolderMade, folder, {}, {}});
    journal.Forget(mine);
    EXPECT_TRUE(host.log.empty());
}

}  // namespace
}  // namespace brunvald
