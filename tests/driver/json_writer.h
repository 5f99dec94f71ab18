// A tiny JSON writer for the driver's reports: objects, arrays, numbers,
// booleans and UTF-16 texts written as UTF-8. Enough for one line per event;
// the reader is Python's json module.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace driver {

class Json {
public:
    Json& begin_object() { separate(); out_ += '{'; first_ = true; return *this; }
    Json& end_object() { out_ += '}'; first_ = false; return *this; }
    Json& begin_array() { separate(); out_ += '['; first_ = true; return *this; }
    Json& end_array() { out_ += ']'; first_ = false; return *this; }

    // A key inside an object; the value written next belongs to it.
    Json& key(std::string_view name) {
        separate();
        quoted(name);
        out_ += ':';
        first_ = true;  // the value after a key takes no comma
        return *this;
    }

    Json& value(std::int64_t number) { separate(); out_ += std::to_string(number); return *this; }
    Json& value(int number) { return value(static_cast<std::int64_t>(number)); }
    Json& value(long number) { return value(static_cast<std::int64_t>(number)); }
    Json& value(unsigned long number) { return value(static_cast<std::int64_t>(number)); }
    Json& value(unsigned number) { return value(static_cast<std::int64_t>(number)); }
    Json& value(bool flag) { separate(); out_ += flag ? "true" : "false"; return *this; }
    Json& null() { separate(); out_ += "null"; return *this; }
    Json& value(std::string_view ascii) { separate(); quoted(ascii); return *this; }
    Json& value(const char* ascii) { return value(std::string_view(ascii)); }
    Json& value(std::wstring_view text) { separate(); quoted(to_utf8(text)); return *this; }
    Json& value(const wchar_t* text) { return value(std::wstring_view(text)); }

    template <typename T>
    Json& field(std::string_view name, T v) { key(name); return value(v); }

    const std::string& str() const { return out_; }

    // UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
    static std::string to_utf8(std::wstring_view text) {
        std::string result;
        for (std::size_t i = 0; i < text.size(); ++i) {
            std::uint32_t c = static_cast<std::uint16_t>(text[i]);
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
                const std::uint32_t low = static_cast<std::uint16_t>(text[i + 1]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                } else {
                    c = 0xFFFD;
                }
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                c = 0xFFFD;
            }
            if (c < 0x80) {
                result += static_cast<char>(c);
            } else if (c < 0x800) {
                result += static_cast<char>(0xC0 | (c >> 6));
                result += static_cast<char>(0x80 | (c & 0x3F));
            } else if (c < 0x10000) {
                result += static_cast<char>(0xE0 | (c >> 12));
                result += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                result += static_cast<char>(0x80 | (c & 0x3F));
            } else {
                result += static_cast<char>(0xF0 | (c >> 18));
                result += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                result += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                result += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        return result;
    }

private:
    void separate() {
        if (!first_) out_ += ',';
        first_ = false;
    }

    // Control characters are escaped so that \r\n\t in a message box text
    // arrive in the report exactly as the box holds them.
    void quoted(std::string_view utf8) {
        out_ += '"';
        for (const char ch : utf8) {
            const auto c = static_cast<unsigned char>(ch);
            switch (c) {
            case '"': out_ += "\\\""; break;
            case '\\': out_ += "\\\\"; break;
            case '\r': out_ += "\\r"; break;
            case '\n': out_ += "\\n"; break;
            case '\t': out_ += "\\t"; break;
            default:
                if (c < 0x20) {
                    static const char hex[] = "0123456789abcdef";
                    out_ += "\\u00";
                    out_ += hex[c >> 4];
                    out_ += hex[c & 15];
                } else {
                    out_ += ch;
                }
            }
        }
        out_ += '"';
    }

    std::string out_;
    bool first_ = true;
};

}  // namespace driver
