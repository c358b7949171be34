#include "codepage/windows_converter.h"

#include <windows.h>

namespace codepage {

WindowsConverter::WindowsConverter(unsigned codePage)
    : m_codePage(codePage == CP_ACP ? GetACP() : codePage)
{
}

ByteMeaning WindowsConverter::byteMeaning(std::uint8_t byte) const
{
    if (IsDBCSLeadByteEx(m_codePage, byte))
        return {ByteMeaning::Kind::LeadByte, 0};
    const char in = char(byte);
    wchar_t out[2] = {};
    // Without MB_ERR_INVALID_CHARS a byte with no character would come back
    // as the code page's default character, not be told apart.
    const int n = MultiByteToWideChar(m_codePage, MB_ERR_INVALID_CHARS, &in, 1, out, 2);
    if (n != 1)
        return {ByteMeaning::Kind::Undefined, 0};
    return {ByteMeaning::Kind::Character, char32_t(out[0])};
}

std::string WindowsConverter::characterBytes(char32_t character) const
{
    wchar_t in[2];
    int length = 1;
    if (character >= 0x10000) {
        in[0] = wchar_t(0xD800 + ((character - 0x10000) >> 10));
        in[1] = wchar_t(0xDC00 + ((character - 0x10000) & 0x3FF));
        length = 2;
    } else {
        in[0] = wchar_t(character);
    }
    char out[8];
    // UTF-8 takes neither flags nor the default-character report, and can
    // write every character.
    const bool utf8 = m_codePage == CP_UTF8;
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(m_codePage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, in, length, out, sizeof out,
                                      nullptr, utf8 ? nullptr : &usedDefault);
    if (n <= 0 || usedDefault)
        return {};
    return std::string(out, size_t(n));
}

const CodePage &systemCodePage()
{
    static const WindowsConverter ansi(CP_ACP);
    static const CodePage page(ansi);
    return page;
}

} // namespace codepage
