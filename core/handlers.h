// The window's handlers as plain sequential procedures over the program-wide
// state. The window (ui/) calls them; the top level catches HostError and
// shows the error box.
#pragma once

#include "core/program_state.h"

namespace brunvald {

// Start-up steps 1 to 9: running game, game folder, manifest and identity,
// other mission, folder set, attribute reset, pending messages, mode, window
// set-up. A refusal shows its message and calls EndProgram. Sets
// state.readyForRun once the data a run needs is complete.
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
