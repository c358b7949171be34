// The Windows converter of named code pages, and the system's code page as
// the one in force for the process. KIT_EXPECTED_ACP names the ANSI code
// page the run was started under, so that a locale that did not take effect
// fails rather than testing the default twice.

#include "codepage/windows_converter.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <ostream>
#include <string>

using codepage::CodePage;
using codepage::WindowsConverter;

namespace {

struct ByteCase {
    unsigned codePage;
    std::uint8_t byte;
    char16_t shown;
};

void PrintTo(const ByteCase &c, std::ostream *out)
{
    *out << "code page " << c.codePage << " byte " << int(c.byte);
}

class WindowsTable : public testing::TestWithParam<ByteCase> {};

TEST_P(WindowsTable, ShowsEachByteAsItsCharacter)
{
    const ByteCase c = GetParam();
    const WindowsConverter converter(c.codePage);
    EXPECT_EQ(int(CodePage(converter).character(c.byte)), int(c.shown))
        << "code page " << c.codePage << " byte " << int(c.byte);
}

INSTANTIATE_TEST_SUITE_P(Bytes, WindowsTable,
                         testing::Values(ByteCase{1252, 0x41, u'A'}, ByteCase{1252, 0x00, u'\0'},
                                         ByteCase{1252, 0x0A, u'\n'}, ByteCase{1252, 0x80, u'\u20AC'},
                                         ByteCase{1252, 0x9F, u'\u0178'}, ByteCase{1252, 0xFF, u'\u00FF'},
                                         ByteCase{950, 0x41, u'A'}, ByteCase{950, 0x0D, u'\r'},
                                         ByteCase{950, 0xA4, u'\uFFFD'}, // lead byte of 中 (A4 A4)
                                         ByteCase{950, 0x81, u'\uFFFD'}, ByteCase{950, 0xF9, u'\uFFFD'}));

struct TextCase {
    unsigned codePage;
    std::u16string text;
    std::string bytes;
};

void PrintTo(const TextCase &c, std::ostream *out)
{
    *out << "code page " << c.codePage << " to " << c.bytes.size() << " bytes";
}

class WindowsWriting : public testing::TestWithParam<TextCase> {};

TEST_P(WindowsWriting, WritesEachCharacterAsItsBytes)
{
    const TextCase c = GetParam();
    const WindowsConverter converter(c.codePage);
    EXPECT_EQ(CodePage(converter).bytes(c.text), c.bytes) << "code page " << c.codePage;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, WindowsWriting,
    testing::Values(TextCase{1252, u"A\u20AC", "A\x80"}, TextCase{1252, std::u16string(u"\0\r", 2), std::string("\0\r", 2)},
                    TextCase{1252, u"\u0100", "?"}, // no best-fit 'A'
                    TextCase{1252, u"\u4E2D", "?"}, TextCase{1252, u"\U0001F600", "?"},
                    TextCase{950, u"\u4E2D\u6587", "\xA4\xA4\xA4\xE5"}, // 中文
                    TextCase{950, u"A\u4E2D", "A\xA4\xA4"}, TextCase{950, u"\u00E9", "?"},
                    TextCase{65001, u"\u00E9", "\xC3\xA9"}));

TEST(SystemCodePage, IsTheAnsiCodePageInForce)
{
    if (const char *expected = std::getenv("KIT_EXPECTED_ACP")) {
        EXPECT_EQ(GetACP(), unsigned(std::atoi(expected)));
    }
    const WindowsConverter ansi(GetACP());
    const CodePage reference(ansi);
    const CodePage &page = codepage::systemCodePage();
    for (int b = 0; b < 256; ++b)
        ASSERT_EQ(int(page.character(std::uint8_t(b))), int(reference.character(std::uint8_t(b)))) << "byte " << b;
    if (GetACP() == 950) {
        EXPECT_EQ(page.bytes(u"\u4E2D\u6587"), "\xA4\xA4\xA4\xE5");
        EXPECT_EQ(int(page.character(0xA4)), 0xFFFD);
    } else if (GetACP() == 1252) {
        EXPECT_EQ(page.bytes(u"\u20AC"), "\x80");
        EXPECT_EQ(int(page.character(0x80)), 0x20AC);
    }
}

} // namespace
