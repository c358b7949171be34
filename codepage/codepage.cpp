#include "codepage/codepage.h"

namespace codepage {

ByteMeaning Latin1Converter::byteMeaning(std::uint8_t byte) const
{
    return {ByteMeaning::Kind::Character, char32_t(byte)};
}

std::string Latin1Converter::characterBytes(char32_t character) const
{
    return character <= 0xFF ? std::string(1, char(character)) : std::string();
}

CodePage::CodePage(const Converter &converter)
    : m_converter(converter)
{
    for (int b = 0; b < 256; ++b) {
        const ByteMeaning meaning = converter.byteMeaning(std::uint8_t(b));
        const bool shown = meaning.kind == ByteMeaning::Kind::Character && meaning.character <= 0xFFFF
                           && (meaning.character < 0xD800 || meaning.character > 0xDFFF);
        m_characters[size_t(b)] = shown ? char16_t(meaning.character) : kNoCharacter;
    }
}

std::string CodePage::bytes(std::u16string_view text) const
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out += kUnwritable; // half a pair: no character at all
            continue;
        }
        const std::string written = m_converter.characterBytes(c);
        if (written.empty())
            out += kUnwritable;
        else
            out += written;
    }
    return out;
}

} // namespace codepage
