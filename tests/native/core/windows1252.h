// The ANSI code page of the German Windows the fake host stands for: what the
// fake's DecodeAnsi, the manifest tests and the fuzzer decode 8-bit text with.
// The installer asks the platform instead (MultiByteToWideChar with CP_ACP).
#pragma once

#include "host/host_ops.h"

namespace brunvald::testing {

// Windows-1252 as Windows decodes it: the five unassigned bytes 0x81, 0x8D,
// 0x8F, 0x90 and 0x9D map to the control characters of the same value.
Text DecodeWindows1252(Bytes bytes);

}  // namespace brunvald::testing
