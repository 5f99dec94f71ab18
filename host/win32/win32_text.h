// Small bridges between the system's texts (std::u16string) and the wide
// strings of the Win32 API. On Windows wchar_t is a UTF-16 code unit, so the
// two share their representation and no conversion takes place.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "host/host_ops.h"

namespace brunvald::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide strings are UTF-16");

inline const wchar_t* W(const Text& text) noexcept {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline Text ToText(const wchar_t* chars, std::size_t count) {
    return Text(reinterpret_cast<const char16_t*>(chars), count);
}

inline Text ToText(const wchar_t* chars) {
    return chars ? ToText(chars, std::char_traits<wchar_t>::length(chars)) : Text();
}

// How WideCharToMultiByte is asked for text in a code page. A legacy code
// page: no best-fit look-alikes, and the call tells whether a character had
// to be replaced. UTF-8 (65001) and GB18030 (54936) hold every character and
// refuse both (Windows fails the whole call: ERROR_INVALID_FLAGS or
// ERROR_INVALID_PARAMETER; Wine lets them pass): for them WC_ERR_INVALID_CHARS
// makes the call refuse text that is not valid UTF-16.
struct ConversionAsk {
    unsigned long flags;
    bool asksDefaultUsed;
};
ConversionAsk ConversionAskFor(unsigned codePage);

// The lines in the given code page, each followed by CR LF. Empty when a
// character has no place in that code page (it would otherwise be written as
// "?" or as a look-alike). UTF-8 (65001, Windows' option "use Unicode UTF-8
// for worldwide language support") and GB18030 hold every character; for them
// only text that is not valid UTF-16 (a lone surrogate) is refused.
std::optional<std::string> EncodeLines(const std::vector<Text>& lines, unsigned codePage);

// The platform's message for an error code, in the platform's language, with
// the line break FormatMessageW puts at its end removed. Empty when the
// platform has no text for the code.
Text SystemMessageText(unsigned long code);

}  // namespace brunvald::win32
