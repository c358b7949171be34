#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The system's code page for text that comes from or goes to bytes: the
// console's text grid, its copies and its text rows. On Windows it is the
// ANSI code page; elsewhere Latin-1 (a byte is the character of its code).
// No Qt: the Windows side is tested under Wine on its own.
namespace codepage {

// What one byte stands for on its own in a code page.
struct ByteMeaning {
    enum class Kind {
        Character, // the byte alone is `character`
        LeadByte,  // the first byte of a character of two or more bytes
        Undefined, // the code page gives the byte no character
    };
    Kind kind = Kind::Undefined;
    char32_t character = 0;
};

// A code page as the platform's converter knows it, asked one byte or one
// character at a time.
class Converter {
public:
    virtual ~Converter() = default;
    virtual ByteMeaning byteMeaning(std::uint8_t byte) const = 0;
    // The character's bytes; empty when the code page cannot write it
    // (never a look-alike stand-in).
    virtual std::string characterBytes(char32_t character) const = 0;
};

// Latin-1: every byte is the character of its code, and only U+0000 to
// U+00FF can be written.
class Latin1Converter final : public Converter {
public:
    ByteMeaning byteMeaning(std::uint8_t byte) const override;
    std::string characterBytes(char32_t character) const override;
};

// Shown for a byte that is no character on its own: a lead byte, a byte the
// code page leaves undefined.
constexpr char16_t kNoCharacter = u'\uFFFD';
// Written for a character the code page has no bytes for.
constexpr char kUnwritable = '?';

// A code page as the console uses it: the character of each byte, read from
// a table made once from the converter, and text written as bytes.
class CodePage {
public:
    // Keeps `converter`, which must outlive the code page.
    explicit CodePage(const Converter &converter);

    // One character for one byte, in the Basic Multilingual Plane; a byte
    // that is no character on its own (or one beyond the plane) gives
    // kNoCharacter.
    char16_t character(std::uint8_t byte) const { return m_characters[byte]; }
    // Each character as its bytes in the code page, kUnwritable for one it
    // cannot write (a lone surrogate too).
    std::string bytes(std::u16string_view text) const;

private:
    const Converter &m_converter;
    std::array<char16_t, 256> m_characters{};
};

// The system's code page, made at the first call: on Windows the ANSI code
// page in force when the program started; elsewhere Latin-1.
const CodePage &systemCodePage();

} // namespace codepage
