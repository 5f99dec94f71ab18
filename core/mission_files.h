// Names the install and the uninstall run share: backup names, the campaign
// folder and the fixed file names.
#pragma once

#include "core/program_state.h"

namespace brunvald {

// The copy of the installer in the game's Data folder.
inline constexpr char16_t kInstallerFileName[] = u"Brunvald.exe";

// The name a replaced game file is saved under, in its own folder.
Text BackupName(const MissionIdentity& identity, const Text& fileName);

// campaignsFolder + the set file's name without its three-letter extension
// + "\" ("Aurelmark.set" gives "...\Campaigns\Aurelmark.\", which Windows
// reads as Campaigns\Aurelmark). Empty when that would not name a folder
// strictly inside campaignsFolder: a name of three units or fewer, one that
// is only dots and blanks (Windows drops those at the end of a segment), and a
// set file name with a "\", "/" or ":" that could climb out or with a
// character that Windows forbids in names (* ? < > | " and the control
// characters; the shell's folder delete would expand the wildcards). The runs
// skip the CampSet entry then, so no folder but the campaign's own is ever
// made the target of a whole-tree deletion.
Text CampaignFolderFor(const Text& campaignsFolder, const Text& setFileName);

}  // namespace brunvald
