#include "host/win32/win32_text.h"

#include "host/unique_handle.h"

namespace brunvald::win32 {

ConversionAsk ConversionAskFor(unsigned codePage) {
    if (codePage == CP_UTF8 || codePage == 54936) return {WC_ERR_INVALID_CHARS, false};
    return {WC_NO_BEST_FIT_CHARS, true};
}

std::optional<std::string> EncodeLines(const std::vector<Text>& lines, unsigned codePage) {
    const ConversionAsk ask = ConversionAskFor(codePage);
    const DWORD flags = ask.flags;
    std::string content;
    for (const Text& line : lines) {
        if (!line.empty()) {
            const int units = static_cast<int>(line.size());
            BOOL lossy = FALSE;
            BOOL* lossyAsked = ask.asksDefaultUsed ? &lossy : nullptr;
            const int length =
                ::WideCharToMultiByte(codePage, flags, W(line), units, nullptr, 0, nullptr, lossyAsked);
            if (length <= 0 || lossy) return std::nullopt;
            const std::size_t start = content.size();
            content.resize(start + static_cast<std::size_t>(length));
            if (::WideCharToMultiByte(codePage, flags, W(line), units, &content[start], length, nullptr,
                                      nullptr) != length)
                return std::nullopt;
        }
        content += "\r\n";
    }
    return content;
}

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
