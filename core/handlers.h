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
// window. A refusal shows its message and calls EndProgram. Sets
// state.readyForRun once the data a run needs is complete, before the window
// set-up, whose only failure (a missing title font) leaves that data whole.
void FormCreate(HostOps& host, InstallerWindow& window, ProgramState& state);

// The install run; ends the program unless an error ends it early. Does
// nothing when start-up did not complete.
void InstallRun(HostOps& host, InstallerWindow& window, ProgramState& state);

// The uninstall run; ends the program unless the self-removal script cannot
// be written. Does nothing when start-up did not complete.
void UninstallRun(HostOps& host, InstallerWindow& window, ProgramState& state);

// Writes "des.bat" beside the running executable, starts it hidden and closes
// the window.
void StartSelfRemoval(HostOps& host, InstallerWindow& window);

}  // namespace brunvald
