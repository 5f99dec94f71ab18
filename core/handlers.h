// The window's handlers as plain sequential procedures over the program-wide
// state. The window (ui/) calls them; the top level catches HostError and
// shows the error box.
#pragma once

#include "core/program_state.h"

namespace brunvald {

// Start-up, in this order: refuse while the game runs, find the game's
// folder, read the manifest and the mission's identity, refuse while another
// mission is recorded, form the folder set, reset the folders' attributes,
// process pending messages, choose the mode from the command line, set up the
// window. A refusal shows its message and closes the window before it was
// ever shown. Sets state.readyForRun once the data a run needs is complete,
// before the window set-up, whose only failure (a missing title font) leaves
// that data whole.
AfterHandler FormCreate(HostOps& host, InstallerWindow& window, ProgramState& state);

// The install run; closes the window after its final message. A failed copy
// of the installer ends it early with its own message and keeps the window,
// as an error does (raised to the window), among them an unreadable journal
// and a file that cannot be saved under its backup name. Does nothing when
// start-up did not complete.
AfterHandler InstallRun(HostOps& host, InstallerWindow& window, ProgramState& state);

// The uninstall run; writes the self-removal script, shows its final
// message, starts the script and closes the window. An error ends it early
// and keeps the window: a change of the install that cannot be undone (named
// by its file), a registry record that will not go, a script that cannot be
// written. Does nothing when start-up did not complete.
AfterHandler UninstallRun(HostOps& host, InstallerWindow& window, ProgramState& state);

// Writes "des.bat" beside the running executable and returns its path.
// Raises the file-creation error.
Text WriteSelfRemovalScript(HostOps& host);
// Starts the script hidden, owned by the window. The script waits until the
// program's file can be deleted, so the window must close right after.
void StartSelfRemoval(HostOps& host, const Text& scriptPath, InstallerWindow& window);

}  // namespace brunvald
