#include "OneLine.h"

#include <cstdint>

namespace mandel {

namespace {

constexpr char kHex[] = "0123456789abcdef";

void escapeByte(std::string& out, unsigned char c)
{
    out += '\\';
    switch (c) {
    case '\n': out += 'n'; break;
    case '\r': out += 'r'; break;
    case '\t': out += 't'; break;
    default:
        out += 'x';
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    }
}

// The length of the well-formed UTF-8 sequence at the start of `text` and
// its code point; 0 when it is not one (a stray continuation byte, an
// overlong form, a surrogate, past U+10FFFF, or cut short).
std::size_t utf8At(std::string_view text, std::uint32_t& code)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        if ((c & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (c & 0x3Fu);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return 0;
    return length;
}

// Whether the code point is shown as text: not a control character and not
// an invisible one that changes how the text around it reads.
bool printable(std::uint32_t code)
{
    if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
        return false;
    if ((code >= 0x200B && code <= 0x200F) || (code >= 0x2028 && code <= 0x202E) ||
        (code >= 0x2060 && code <= 0x206F) || code == 0xFEFF)
        return false;
    return true;
}

// Appends the escaped form of `text` to `out`, at most `characters`
// characters of it (each escape counts as one); returns whether all of it went.
bool appendEscaped(std::string& out, std::string_view text, std::size_t characters)
{
    std::size_t shown = 0;
    for (std::size_t at = 0; at < text.size(); ++shown) {
        if (shown == characters)
            return false;
        std::uint32_t code = 0;
        const std::size_t length = utf8At(text.substr(at), code);
        if (length == 0) {
            escapeByte(out, static_cast<unsigned char>(text[at]));
            ++at;
            continue;
        }
        if (printable(code)) {
            out.append(text, at, length);
        } else {
            for (std::size_t k = 0; k < length; ++k)
                escapeByte(out, static_cast<unsigned char>(text[at + k]));
        }
        at += length;
    }
    return true;
}

} // namespace

std::string onOneLine(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    appendEscaped(out, text, text.size());
    return out;
}

std::string shortened(std::string_view text, std::size_t characters)
{
    std::string out;
    if (!appendEscaped(out, text, characters))
        out += "...";
    return out;
}

std::string inQuotes(std::string_view value, std::size_t characters)
{
    std::string out = "'";
    // Only the part shown is looked at: a value may be megabytes long.
    if (!appendEscaped(out, value, characters))
        out += "...";
    out += '\'';
    return out;
}

} // namespace mandel
