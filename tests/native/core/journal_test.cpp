// Nothing of the game lost on any path: the install journal, the faults it
// mends (each of these cases failed before it), and the process killed at
// every moment of an install or an uninstall.
#include <gtest/gtest.h>

#include "core/install_journal.h"
#include "core/messages.h"
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
            {JournalMark::FolderMade, u"C:\\G\\Campaigns\\A.\\", u"", u"", {}},
            {JournalMark::Saved, u"C:\\G\\Model\\T.Index", u"C:\\G\\Model\\ARMK-T.Index", u"CampTR1", {}},
            {JournalMark::Writing, u"C:\\G\\Cities\\\u00c4 b.map", u"", u"Maps\t1:\n", {}},
            {JournalMark::Written, u"D:\\Elsewhere\\x", u"", u"", {4711, 0x01d9c0ffee123456u}},
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
// on. Once the game has moved, its paths name nothing of the game: it is
// refused as a cut one is, and the uninstall rebuilds the journal from the
// backups at the new place.
TEST(InstallJournal, ReadsTheFirstFormAndStoresItRelative) {
    const auto field = [](const std::u16string& text) {
        return DecimalText(static_cast<std::uint32_t>(text.size())) + u":" + text;
    };
    const std::vector<std::uint8_t> first =
        Utf16(u"Brunvald install journal 1\n"
              u"S" + field(InGame(u"EmperorText.eng")) + field(InGame(u"ARMK-EmperorText.eng")) + field(u"CampEng") + u"\n"
              u"W" + field(InGame(u"Cities\\ChengduAmk.map")) + field(u"") + field(u"Maps_01") + u"\n"
              u"end 2\n");
    JournalContent content;
    ASSERT_TRUE(DecodeJournal(Bytes(first.data(), first.size()), kGame, content));
    ASSERT_EQ(content.records.size(), 2u);
    EXPECT_EQ(content.records[0].path, InGame(u"EmperorText.eng"));
    EXPECT_EQ(content.missionName, u"");
    EXPECT_FALSE(DecodeJournal(Bytes(first.data(), first.size()), u"E:\\Kaiser\\", content));

    Machine machine;
    // What the build before left: the game's text saved, the mission's in
    // its place, a map of the mission's.
    ASSERT_TRUE(machine.host.RenameFile(InGame(u"EmperorText.eng"), InGame(u"ARMK-EmperorText.eng")));
    machine.host.AddFile(InGame(u"EmperorText.eng"), "mission:CampEng");
    machine.host.AddFile(InGame(u"Cities\\ChengduAmk.map"), "mission:Maps_01");
    machine.host.AddFile(kJournal, std::string(first.begin(), first.end()));
    {
        InstallJournal journal(machine.host, kJournal, kGame, u"Aurelmark");
        ASSERT_EQ(journal.condition(), InstallJournal::Condition::Valid);
        journal.Forget(InGame(u"Cities\\ChengduAmk.map"));
        const std::vector<std::uint8_t> expected = Utf16(
            u"Brunvald install journal 2\nmission 9:Aurelmark\n"
            u"S15:EmperorText.eng20:ARMK-EmperorText.eng7:CampEng0:\n"
            u"end 1\n");
        EXPECT_EQ(machine.host.FileBytes(kJournal), std::string(expected.begin(), expected.end()));
    }
    machine.host.AddFile(kJournal, std::string(first.begin(), first.end()));
    machine.host.MoveFolder(kGame, u"E:\\Kaiser\\");
    machine.host.SetValue(kAppPaths, u"Path", u"E:\\Kaiser");
    machine.host.SetValue(kEntryKey, u"DisplayName", u"Vantorel Mission : Aurelmark");
    machine.host.SetValue(kMaker, u"CampMarker", u"ARMK");
    ASSERT_EQ(machine.Uninstall(u"E:\\Kaiser\\Data\\BrunVald.EXE"), "ended");
    EXPECT_EQ(machine.host.FileBytes(u"E:\\Kaiser\\EmperorText.eng"), GameBytes(u"EmperorText.eng"));
    EXPECT_FALSE(machine.host.HasFile(u"E:\\Kaiser\\ARMK-EmperorText.eng"));
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
// After a kill at any moment the player has two ways on, and each gives the
// game back byte for byte: install again and uninstall, or uninstall at once
// through the list's entry. Before the records exist there is no entry, and
// nothing of the game has changed yet.
TEST(InstallJournal, KilledAtEveryMomentOfTheInstall) {
    struct Case {
        const char* name;
        unsigned gameFiles;
        bool equalFiles;
        bool sameNamedFiles;  // the player's own map and pak under the mission's names
    };
    const Case cases[] = {
        {"all game files", kAllGameFiles, false, false},
        {"no TreeImage.Index", kAllGameFiles & ~kTree, false, false},
        {"no tree images", kAllGameFiles & ~(kTree | kResetTree), false, false},
        {"files equal to the mission's", kAllGameFiles, true, false},
        {"same-named files", kAllGameFiles, false, true},
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
            for (const bool reinstall : {true, false}) {
                SCOPED_TRACE("killed at moment " + std::to_string(kill) +
                             (reinstall ? ", installed again" : ", uninstalled through the list"));
                Machine machine(c.gameFiles);
                if (c.equalFiles) MakeGameFilesEqualToTheMissions(machine);
                if (c.sameNamedFiles) {
                    machine.host.AddFile(InGame(u"Cities\\ChengduAmk.map"), "the player's map");
                    machine.host.AddFile(InGame(u"Campaigns\\Aurelmark.pak"), "the player's pak");
                }
                const std::vector<std::string> before = machine.GameListing();
                machine.host.killAt = kill;
                EXPECT_THROW(machine.Install(), ProcessKilled);
                machine.host.killAt = -1;
                if (reinstall) {
                    ASSERT_EQ(machine.Install(), "ended");
                } else if (!machine.host.HasKey(kEntryKey)) {
                    std::vector<std::string> listing = machine.GameListing();
                    std::erase_if(listing, [](const std::string& file) {
                        return file.find("\\DATA\\BRUNVALD-ARMK.JOURNAL") != std::string::npos;
                    });
                    EXPECT_EQ(listing, before);
                    continue;
                }
                ASSERT_EQ(machine.Uninstall(), "ended");
                EXPECT_EQ(machine.GameListing(), before);
                EXPECT_FALSE(machine.host.HasKey(kEntryKey));
                EXPECT_FALSE(machine.host.HasKey(kMaker));
            }
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
             j.Note({JournalMark::FolderMade, f, {}, {}, {}}); }, false},
        {"a mission file being written", [](InstallJournal& j, const Text&, const Text&, const Text& m, const Text&) {
             j.Note({JournalMark::Writing, m, {}, u"Maps_01", {}}); }, false},
        {"that file complete", [](InstallJournal& j, const Text&, const Text&, const Text& m, const Text&) {
             j.Note({JournalMark::Written, m, {}, u"Maps_01", {}}); }, false},
        {"a game file saved", [](InstallJournal& j, const Text& g, const Text& b, const Text&, const Text&) {
             j.Note({JournalMark::Saved, g, b, u"CampTR1", {}}); }, true},
        {"the saved record replaced", [](InstallJournal& j, const Text& g, const Text&, const Text&, const Text&) {
             j.Note({JournalMark::Writing, g, {}, u"CampTR1", {}}); }, true},
        {"saved again", [](InstallJournal& j, const Text& g, const Text& b, const Text&, const Text&) {
             j.Note({JournalMark::Saved, g, b, u"CampTR1", {}}); }, true},
        {"the mission file dropped", [](InstallJournal& j, const Text&, const Text&, const Text& m, const Text&) {
             j.Forget(m); }, false},
        {"the saved game file dropped", [](InstallJournal& j, const Text& g, const Text&, const Text&, const Text&) {
             j.Forget(g); }, true},
        {"everything adopted", [](InstallJournal& j, const Text&, const Text&, const Text&, const Text& f) {
             j.Adopt({{JournalMark::FolderMade, f, {}, {}, {}}}); }, true},
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
    journal.Note({JournalMark::FolderMade, folder, {}, {}, {}});
    journal.Forget(mine);
    EXPECT_TRUE(host.log.empty());
}

}  // namespace
}  // namespace brunvald

namespace brunvald {
namespace {

using namespace testing;

// The files of a game, named relative to its folder, without what the
// self-removal script takes away: comparable across a move of the folder.
std::vector<std::string> GameFiles(const FakeHost& host, const Text& gameFolder) {
    std::vector<std::string> files = host.FilesBelow(gameFolder);
    std::erase_if(files, [](const std::string& file) {
        return file.rfind("DATA\\BRUNVALD.EXE=", 0) == 0 || file.rfind("DATA\\DES.BAT=", 0) == 0;
    });
    return files;
}

std::string G(const char16_t* relative) { return Utf8(InGame(relative)); }

// The journal names files relative to the game's folder, and the uninstall
// undoes every record wherever App Paths now says the game is: moved to
// another drive, or named in another spelling. Each case used to show
// success with nothing undone.
TEST(JournalIsTheTruth, GameMovedOrNamedInAnotherSpelling) {
    struct Case {
        const char* name;
        Text installedAt;   // App Paths "Path" at the install
        Text uninstalledAt; // at the uninstall; the folder moves there if it differs on disk
        bool moves;
    };
    const Case cases[] = {
        {"moved to another drive", u"C:\\Spiele\\Kaiser", u"E:\\Spiele\\Kaiser Neu", true},
        {"a final dot", u"C:\\Spiele\\Kaiser", u"C:\\Spiele\\Kaiser.", false},
        {"a non-ASCII letter in another case", u"C:\\Spiele\\Kaiser \u00c4", u"C:\\Spiele\\kaiser \u00e4", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Text oldFolder = WithSeparator(c.installedAt), newFolder = WithSeparator(c.uninstalledAt);
        Machine machine;
        machine.host.MoveFolder(kGame, oldFolder);
        machine.host.SetValue(kAppPaths, u"Path", c.installedAt);
        const std::vector<std::string> before = GameFiles(machine.host, oldFolder);
        ASSERT_EQ(machine.Install(), "ended");
        ASSERT_NE(GameFiles(machine.host, oldFolder), before);

        if (c.moves) machine.host.MoveFolder(oldFolder, newFolder);
        machine.host.SetValue(kAppPaths, u"Path", c.uninstalledAt);
        ASSERT_EQ(machine.Uninstall(newFolder + u"Data\\BrunVald.EXE"), "ended");
        EXPECT_EQ(GameFiles(machine.host, newFolder), before);
        EXPECT_FALSE(machine.host.HasKey(kEntryKey));
        EXPECT_FALSE(machine.host.HasKey(kMaker));
    }
}

// An update of the mission with the same marker and fewer lines, installed
// over the first: the uninstall (from the update's copy) still undoes what
// the first version did with the lines it no longer has, a saved game file
// and a map it alone wrote. The update carries no bytes to compare that map
// with; its stamp from the write tells it unchanged, and one the player has
// changed since stays.
TEST(JournalIsTheTruth, UpdateWithFewerLinesUndoesTheFirstVersionToo) {
    for (const bool rewritten : {false, true}) {
        SCOPED_TRACE(rewritten ? "the map written again since" : "the map as written");
        Machine machine;
        std::vector<std::string> expected = machine.GameListing();
        ASSERT_EQ(machine.Install(), "ended");
        std::vector<MissionFile> update;
        for (const MissionFile& file : AurelmarkFiles())
            if (Text(file.resource) != u"Maps_02" && Text(file.resource) != u"CampEng") update.push_back(file);
        machine.host.RemoveResource(u"Maps_02");
        machine.host.RemoveResource(u"CampEng");
        AddMission(machine.host, update);
        ASSERT_EQ(machine.Install(), "ended");
        if (rewritten) {
            // Even with the same bytes, a file written since is not the
            // install's to remove.
            const Text map = InGame(u"Cities\\HangzhouAmk.map");
            machine.host.AddFile(map, "mission:Maps_02");
            expected.push_back(Utf8(FakeHost::Comparable(map)) + "=mission:Maps_02");
            std::sort(expected.begin(), expected.end());
        }
        ASSERT_EQ(machine.Uninstall(), "ended");
        EXPECT_EQ(machine.GameListing(), expected);
    }
}

// Whatever the key, a file already at the target is the player's or the
// game's: saved under its backup name before the mission's is written, and
// back after the uninstall. Maps, the pak and the campaign's files used to
// be overwritten, and the uninstall then deleted them.
TEST(JournalIsTheTruth, SameNamedFilesOfEveryKeyAreSavedAndComeBack) {
    const char16_t* const targets[] = {
        u"Cities\\ChengduAmk.map", u"Campaigns\\Aurelmark.pak", u"Campaigns\\Aurelmark\\Aurelmark.set",
        u"Campaigns\\Aurelmark\\AurelmarkP.map", u"Model\\TreeImage.Index",
    };
    for (const char16_t* target : targets) {
        SCOPED_TRACE(Utf8(target));
        // The tree image alone, in a game without the other tree image.
        Machine machine(kAllGameFiles & ~(kTree | kResetTree));
        machine.host.AddFile(InGame(target), "the player's own");
        const std::vector<std::string> before = machine.GameListing();
        ASSERT_EQ(machine.Install(), "ended");
        const Text backup = FolderPart(InGame(target)) + u"ARMK-" + FileNamePart(InGame(target));
        EXPECT_EQ(machine.host.FileBytes(backup), "the player's own");
        EXPECT_EQ(machine.host.FileBytes(InGame(target)).rfind("mission:", 0), 0u);
        ASSERT_EQ(machine.Uninstall(), "ended");
        EXPECT_EQ(machine.GameListing(), before);
    }
}

// A rename to the backup name that fails stops the install before the
// target is written: a file of the backup name that is not this mission's
// (the journal does not name it), and a backup path past the length limit
// while the target itself is shorter. Each used to overwrite the game's file
// with both runs reporting success. The list's uninstall then puts
// everything back.
TEST(JournalIsTheTruth, FailedBackupRenameStopsBeforeTheTargetIsWritten) {
    struct Case {
        const char* name;
        Text gameFolder;
        const char16_t* target;
        bool backupInTheWay;
    };
    // A folder that leaves the main picture (26 units below the game's
    // folder) under the limit and its backup (31 units) over it.
    const Text deep = u"C:\\" + Text(226, u'x');
    const Case cases[] = {
        {"a file of the backup name", kGame, u"Data\\China_FE_MainMenu.jpg", true},
        {"a backup path too long", deep, u"Data\\China_FE_MainMenu.jpg", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Text game = WithSeparator(c.gameFolder);
        Machine machine;
        machine.host.MoveFolder(kGame, game);
        machine.host.SetValue(kAppPaths, u"Path", c.gameFolder);
        const Text target = game + c.target, backup = FolderPart(target) + u"ARMK-" + FileNamePart(target);
        ASSERT_LT(target.size(), FakeHost::kMaxPath);
        if (c.backupInTheWay) machine.host.AddFile(backup, "the player's own ARMK file");
        const std::vector<std::string> before = GameFiles(machine.host, game);

        EXPECT_EQ(machine.Install(), Utf8(message::GameFileNotSaved(target, backup)));
        EXPECT_EQ(machine.host.FileBytes(target), GameBytes(c.target));
        EXPECT_TRUE(machine.host.HasKey(kEntryKey));
        ASSERT_EQ(machine.Uninstall(game + u"Data\\BrunVald.EXE"), "ended");
        EXPECT_EQ(GameFiles(machine.host, game), before);
    }
}

// An install that failed, left so by the player: the records and the
// journal written before the first change keep another mission of the maker
// out (also once the records are deleted by hand, by the journal alone), and
// the list's uninstall gives the game back as it was.
TEST(JournalIsTheTruth, FailedInstallThenAnotherMissionThenTheUninstall) {
    for (const bool recordsDeletedByHand : {false, true}) {
        SCOPED_TRACE(recordsDeletedByHand ? "records deleted by hand" : "records in place");
        Machine machine;
        const std::vector<std::string> before = machine.GameListing();
        // A folder where the campaign map must go.
        machine.host.AddFolder(InGame(u"Campaigns\\Aurelmark\\AurelmarkP.map"));
        const std::vector<std::string> withFolder = machine.GameListing();
        EXPECT_EQ(machine.Install().rfind("Datei \"" + G(u"Campaigns\\Aurelmark.\\AurelmarkP.map") + "\" kann nicht erstellt werden", 0), 0u);
        ASSERT_TRUE(machine.host.HasFile(InGame(u"Data\\ARMK-China_FE_MainMenu.jpg")));
        if (recordsDeletedByHand) {
            machine.host.keys.erase(FakeHost::Comparable(kEntryKey));
            machine.host.keys.erase(FakeHost::Comparable(kMaker));
        }

        Machine other(kAllGameFiles, {{u"CampPak", u"Nordhafen.pak", u""}, {u"CampInI", u"NRDH.ini", u""}});
        other.host = machine.host;
        AddMission(other.host, {{u"CampPak", u"Nordhafen.pak", u""}, {u"CampInI", u"NRDH.ini", u""}});
        EXPECT_EQ(other.Install(), "refused");
        EXPECT_EQ(other.host.messageBoxes.back().text, message::OtherMissionInstalled(u"Aurelmark"));

        ASSERT_EQ(machine.Uninstall(), "ended");
        EXPECT_EQ(machine.GameListing(), withFolder);
        (void)before;
    }
}

// The campaign folder goes only when nothing but the mission's files was in
// it: a saved game of the player's stays, with the folder, and so does a
// campaign map the player changed.
TEST(JournalIsTheTruth, PlayersFilesInTheCampaignFolderStay) {
    struct Case {
        const char* name;
        const char16_t* file;
    };
    const Case cases[] = {
        {"a saved game", u"Campaigns\\Aurelmark\\Spielstand 1.sav"},
        {"the campaign map, edited", u"Campaigns\\Aurelmark\\AurelmarkP.map"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine;
        ASSERT_EQ(machine.Install(), "ended");
        machine.host.AddFile(InGame(c.file), "the player's");
        ASSERT_EQ(machine.Uninstall(), "ended");
        EXPECT_EQ(machine.host.FileBytes(InGame(c.file)), "the player's");
        EXPECT_FALSE(machine.host.HasFile(InGame(u"Campaigns\\Aurelmark\\Aurelmark.set")));
        EXPECT_TRUE(machine.host.HasFolder(InGame(u"Campaigns\\Aurelmark")));
        EXPECT_FALSE(machine.host.HasFile(kJournal));
    }
}

// A registry record that will not go keeps the journal (empty, everything
// else being undone) and the executable, and the run says which key: the
// next install then does not take the left record for one of a build that
// kept no journal, which adopted the game's files equal to the mission's as
// the mission's own, and the uninstall after it deleted them.
TEST(JournalIsTheTruth, RecordThatCannotBeDeletedKeepsTheJournal) {
    for (const Text& key : {Text(kMaker), Text(kEntryKey)}) {
        SCOPED_TRACE(Utf8(key));
        Machine machine;
        MakeGameFilesEqualToTheMissions(machine);
        const std::vector<std::string> before = machine.GameListing();
        ASSERT_EQ(machine.Install(), "ended");

        AddInstaller(machine.host, kCopy, u"UNINSTALL");
        FakeWindow window;
        ProgramState state;
        ASSERT_TRUE(StartUp(machine.host, window, state));
        machine.host.DenyFullAccess(key);
        machine.host.messageBoxes.clear();
        EXPECT_EQ(RunToEnd(machine.host, window, [&] { return UninstallRun(machine.host, window, state); }),
                  Utf8(message::RecordNotRemoved(key)));
        EXPECT_TRUE(machine.host.messageBoxes.empty());
        EXPECT_TRUE(machine.host.scripts.empty());
        EXPECT_FALSE(window.closed);
        EXPECT_TRUE(machine.host.HasKey(kEntryKey));
        EXPECT_TRUE(StoredRecords(machine.host).empty());
        std::vector<std::string> listing = machine.GameListing();
        std::erase_if(listing, [](const std::string& file) { return file.find("BRUNVALD-ARMK.JOURNAL=") != std::string::npos; });
        EXPECT_EQ(listing, before);

        // Installed again over the left record, and removed once the key
        // lets go: no game file is taken for the mission's.
        machine.host.keys[FakeHost::Comparable(key)].denyFullAccess = false;
        ASSERT_EQ(machine.Install(), "ended");
        ASSERT_EQ(machine.Uninstall(), "ended");
        EXPECT_EQ(machine.GameListing(), before);
        EXPECT_FALSE(machine.host.HasKey(kMaker));
        EXPECT_FALSE(machine.host.HasKey(kEntryKey));
    }
}

// An install started while the journal cannot be read is refused before
// anything is changed: it would save the mission's own files, already in
// place, under the backup names as if they were the game's. The uninstall
// rebuilds what it can from the backups.
TEST(JournalIsTheTruth, UnreadableJournalRefusesTheInstall) {
    Machine machine;
    const std::vector<std::string> before = machine.GameListing();
    ASSERT_EQ(machine.Install(), "ended");
    machine.host.AddFile(kJournal, "B\0r\0u\0");
    const std::vector<std::string> broken = machine.host.FileListing();
    machine.host.log.clear();
    EXPECT_EQ(machine.Install(), Utf8(message::JournalUnreadable(kJournal)));
    EXPECT_EQ(machine.host.FileListing(), broken);
    EXPECT_TRUE(machine.host.log.empty());

    ASSERT_EQ(machine.Uninstall(), "ended");
    for (const char16_t* saved : {u"Data\\China_FE_MainMenu.jpg", u"EmperorText.eng", u"Model\\TreeImage.Index"})
        EXPECT_EQ(machine.host.FileBytes(InGame(saved)), GameBytes(saved)) << Utf8(saved);
}

}  // namespace
}  // namespace brunvald
