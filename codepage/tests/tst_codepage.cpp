// The code page's table and writing, over glibc's iconv converters of the
// same code pages Windows has (CP1252; BIG5 for the lead bytes of CP950).

#include "codepage/codepage.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cerrno>
#include <ostream>
#include <string>

using codepage::ByteMeaning;
using codepage::CodePage;

namespace {

class IconvConverter final : public codepage::Converter {
public:
    explicit IconvConverter(const char *name)
        : m_name(name)
    {
    }

    ByteMeaning byteMeaning(std::uint8_t byte) const override
    {
        char in = char(byte);
        char32_t out = 0;
        const size_t status = convert("UTF-32LE", m_name, &in, 1, reinterpret_cast<char *>(&out), sizeof out);
        if (status == size_t(-1))
            return {errno == EINVAL ? ByteMeaning::Kind::LeadByte : ByteMeaning::Kind::Undefined, 0};
        return {ByteMeaning::Kind::Character, out};
    }

    std::string characterBytes(char32_t character) const override
    {
        char out[8];
        size_t left = sizeof out;
        if (convert(m_name, "UTF-32LE", reinterpret_cast<char *>(&character), sizeof character, out, left, &left)
            == size_t(-1))
            return {};
        return std::string(out, sizeof out - left);
    }

private:
    static size_t convert(const char *to, const char *from, char *in, size_t inLength, char *out, size_t outLength,
                          size_t *outLeft = nullptr)
    {
        iconv_t cd = iconv_open(to, from);
        EXPECT_NE(cd, iconv_t(-1)) << from << " to " << to;
        size_t left = outLength;
        const size_t status = iconv(cd, &in, &inLength, &out, &left);
        const int error = errno;
        iconv_close(cd);
        errno = error;
        if (outLeft)
            *outLeft = left;
        return status;
    }

    const char *m_name;
};

struct ByteCase {
    const char *codePage;
    std::uint8_t byte;
    char16_t shown;
};

void PrintTo(const ByteCase &c, std::ostream *out)
{
    *out << c.codePage << " byte " << int(c.byte);
}

class CodePageTable : public testing::TestWithParam<ByteCase> {};

TEST_P(CodePageTable, ShowsEachByteAsItsCharacter)
{
    const ByteCase c = GetParam();
    const IconvConverter converter(c.codePage);
    const CodePage page(converter);
    EXPECT_EQ(int(page.character(c.byte)), int(c.shown)) << c.codePage << " byte " << int(c.byte);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, CodePageTable,
    testing::Values(ByteCase{"CP1252", 0x41, u'A'}, ByteCase{"CP1252", 0x00, u'\0'},
                    ByteCase{"CP1252", 0x0D, u'\r'}, // control characters as they are
                    ByteCase{"CP1252", 0x80, u'\u20AC'}, ByteCase{"CP1252", 0x9F, u'\u0178'},
                    ByteCase{"CP1252", 0xE9, u'\u00E9'}, ByteCase{"CP1252", 0xFF, u'\u00FF'},
                    ByteCase{"CP1252", 0x81, u'\uFFFD'}, // no character in glibc's CP1252
                    ByteCase{"BIG5", 0x41, u'A'}, ByteCase{"BIG5", 0x7E, u'~'},
                    ByteCase{"BIG5", 0xA4, u'\uFFFD'}, // lead byte of 中 (A4 A4)
                    ByteCase{"BIG5", 0xA1, u'\uFFFD'}, ByteCase{"BIG5", 0xF9, u'\uFFFD'},
                    ByteCase{"ISO-8859-1", 0x80, u'\u0080'}, ByteCase{"ISO-8859-1", 0xFF, u'\u00FF'}));

struct TextCase {
    const char *codePage;
    std::u16string text;
    std::string bytes;
};

void PrintTo(const TextCase &c, std::ostream *out)
{
    *out << c.codePage << " to " << c.bytes.size() << " bytes";
}

class CodePageWriting : public testing::TestWithParam<TextCase> {};

TEST_P(CodePageWriting, WritesEachCharacterAsItsBytes)
{
    const TextCase c = GetParam();
    const IconvConverter converter(c.codePage);
    EXPECT_EQ(CodePage(converter).bytes(c.text), c.bytes) << c.codePage;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CodePageWriting,
    testing::Values(TextCase{"CP1252", u"A\u20ACB", "A\x80"
                                                    "B"},
                    TextCase{"CP1252", u"", ""}, TextCase{"CP1252", std::u16string(u"\0\r\n", 3), std::string("\0\r\n", 3)},
                    TextCase{"CP1252", u"\u4E2D!", "?!"},
                    TextCase{"CP1252", u"\U0001F600x", "?x"}, // one character, one '?'
                    TextCase{"CP1252", u"\xD800x", "?x"},     // half a surrogate pair
                    TextCase{"CP1252", u"x\xDC00", "x?"},
                    TextCase{"BIG5", u"\u4E2D\u6587", "\xA4\xA4\xA4\xE5"}, // 中文
                    TextCase{"BIG5", u"A\u4E2D1", "A\xA4\xA4"
                                                  "1"},
                    TextCase{"BIG5", u"\u00E9", "?"}, TextCase{"ISO-8859-1", u"\u00E9\u20AC", "\xE9?"}));

// A converter that gives single bytes what no code page of the system
// should: characters a grid cell cannot hold as one UTF-16 unit.
class OddConverter final : public codepage::Converter {
public:
    ByteMeaning byteMeaning(std::uint8_t byte) const override
    {
        switch (byte) {
        case 0x80: return {ByteMeaning::Kind::Character, U'\U0001F600'};
        case 0x81: return {ByteMeaning::Kind::Character, char32_t(0xD800)};
        case 0x82: return {ByteMeaning::Kind::Character, char32_t(0xDFFF)};
        case 0x83: return {ByteMeaning::Kind::Character, char32_t(0xFFFF)};
        default: return {ByteMeaning::Kind::Character, byte};
        }
    }
    std::string characterBytes(char32_t) const override { return {}; }
};

TEST(CodePageTable, ShowsNoCharacterBeyondOneUnit)
{
    const OddConverter converter;
    const CodePage page(converter);
    EXPECT_EQ(int(page.character(0x80)), 0xFFFD);
    EXPECT_EQ(int(page.character(0x81)), 0xFFFD);
    EXPECT_EQ(int(page.character(0x82)), 0xFFFD);
    EXPECT_EQ(int(page.character(0x83)), 0xFFFF);
    EXPECT_EQ(int(page.character(0x7F)), 0x7F);
}

TEST(SystemCodePage, IsLatin1OffWindows)
{
    const CodePage &page = codepage::systemCodePage();
    for (int b = 0; b < 256; ++b)
        ASSERT_EQ(int(page.character(std::uint8_t(b))), b);
    EXPECT_EQ(page.bytes(u"\u00FF\u0100\u20AC"), "\xFF??");
    EXPECT_EQ(&page, &codepage::systemCodePage()) << "made once";
}

} // namespace
