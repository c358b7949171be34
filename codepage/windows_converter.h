#pragma once

#include "codepage/codepage.h"

namespace codepage {

// A Windows code page through MultiByteToWideChar and WideCharToMultiByte.
// Characters are written without best-fit look-alikes.
class WindowsConverter final : public Converter {
public:
    // 0 (CP_ACP) is the system's ANSI code page.
    explicit WindowsConverter(unsigned codePage);
    ByteMeaning byteMeaning(std::uint8_t byte) const override;
    std::string characterBytes(char32_t character) const override;

private:
    unsigned m_codePage;
};

} // namespace codepage
