// The error box: how an error that no step handles reaches the user. The top
// level (start-up, the button clicks) catches HostError and calls
// ShowErrorBox. Portable: it goes through HostOps only; the texts follow the
// shared rules of host/host_rules.h.
#pragma once

#include "host/host_ops.h"
#include "host/host_rules.h"

namespace brunvald::ui {

// Writes the error with its origin to the trace, then shows the modal error
// box (error icon, one OK button): the message with its full stop, under the
// program's title. `lower` lower-cases the title's
// letters after the first.
void ShowErrorBox(HostOps& host, const HostError& error, UnitLowerCaser lower = LowerLatin1);

}  // namespace brunvald::ui
