// Pure rules shared by the Win32 host, the installer logic and the fakes of
// the tests: path pieces, name matching, the version text, the error box and
// every German message text a host operation raises. No Windows header, no
// state: each function depends on its arguments alone.
#pragma once

#include <cstdint>

#include "host/host_ops.h"

namespace brunvald {

// --- Paths -------------------------------------------------------------

// "\" appended exactly when the last unit is not "\" (also to empty text).
Text WithSeparator(const Text& folder);
// The text up to and including its last "\" or ":"; empty when it has neither.
Text FolderPart(const Text& path);
// What follows the last "\" or ":"; the whole text when it has neither.
Text FileNamePart(const Text& path);
// True when both texts name the same path once made comparable: letters a-z
// are upper-cased, "/" counts as "\" and runs of separators count as one.
// Nothing is resolved on disk; it tells apart what plain text can.
bool SamePathText(const Text& a, const Text& b);

// --- Names -------------------------------------------------------------

// Units a-z become A-Z; every other unit stays, so the length never changes.
Text AsciiUpper(Text text);
// The text of a fixed-size name field: up to its first NUL, or all of it.
Text FieldText(const char16_t* field, std::size_t capacity);
// The running-game rule: the upper-cased file-name part of the process's
// executable field equals the upper-cased name, or else the whole field does.
bool ProcessNameMatches(const Text& exeField, const Text& exeName);

// --- Numbers -----------------------------------------------------------

Text DecimalText(std::uint32_t value);
// "%d.%d.%d.%d" of the four unsigned 16-bit parts of a fixed file version.
Text FormatVersionText(std::uint32_t versionMS, std::uint32_t versionLS);

// --- The error box -------------------------------------------------------

// The message with a full stop appended when its last unit sorts after ".".
Text ErrorBoxText(const Text& message);

// Lower-cases one UTF-16 unit. The Win32 host may pass the platform's rule.
using UnitLowerCaser = char16_t (*)(char16_t);
// The portable rule: A-Z and the Latin-1 capitals U+00C0-U+00DE (without the
// multiplication sign U+00D7) get their small letters, which covers every
// letter of a German file name; all other units stay as they are.
char16_t LowerLatin1(char16_t unit);
// The program's title: the executable's file name without its folder, cut at
// its first ".", every unit after the first lower-cased.
Text ErrorBoxCaption(const Text& programPath, UnitLowerCaser lower = LowerLatin1);

// --- Messages the host operations raise ---------------------------------

Text ResourceNotFoundMessage(const Text& resourceName);
Text FileCreateErrorMessage(const Text& fullPath, const Text& systemText);
Text StreamWriteErrorMessage();
Text MakeFoldersErrorMessage();
Text RegistryTypeErrorMessage(const Text& valueName);
Text RegistryReadErrorMessage(const Text& valueName);
Text RegistryWriteErrorMessage(const Text& valueName);
// The error as one line of the trace: "Brunvald: " and the message, then in
// brackets the operation, the quoted path and "code N" where they are known.
Text ErrorTraceLine(const HostError& error);
// "Systemfehler.  Code: %d.\r\n%s%s" with the platform's text for the code
// and an additional text (usually empty); a fixed text for code 0.
Text SystemErrorMessage(std::uint32_t code, const Text& systemText, const Text& extraText = {});

}  // namespace brunvald
