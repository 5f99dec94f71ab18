// Small bridges between the system's texts (std::u16string) and the wide
// strings of the Win32 API. On Windows wchar_t is a UTF-16 code unit, so the
// two share their representation and no conversion takes place.
#pragma once

#include <cstddef>
#include <string>

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

// The platform's message for an error code, in the platform's language, with
// the line break FormatMessageW puts at its end removed. Empty when the
// platform has no text for the code.
Text SystemMessageText(unsigned long code);

}  // namespace brunvald::win32
