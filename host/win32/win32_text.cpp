#include "host/win32/win32_text.h"

#include "host/unique_handle.h"

namespace brunvald::win32 {

Text SystemMessageText(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    unique_hlocal owner(buffer);
    if (length == 0 || buffer == nullptr) return {};
    Text text = ToText(buffer, length);
    // The platform ends its messages with a line break (and sometimes a blank).
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' '))
        text.pop_back();
    return text;
}

}  // namespace brunvald::win32
