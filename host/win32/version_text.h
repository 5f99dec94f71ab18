// The program's own path and the fixed file version of an executable. Kept
// apart from the rest of the host so that a program can use them while
// importing nothing beyond kernel32: the planted-DLL test relies on that.
#pragma once

#include "host/host_ops.h"

namespace brunvald::win32 {

// The full path of the running executable, without a MAX_PATH limit.
Text ExecutablePath();

// "a.b.c.d" from the fixed part of the file's version block, read through a
// version.dll loaded from the system folder only. Raises the system error
// "Systemfehler.  Code: %d.\r\n%s%s" with the platform's code and text.
Text FileVersionText(const Text& path);

}  // namespace brunvald::win32
