#pragma once

// The four tables of a Modbus device: coils, discrete inputs, input
// registers and holding registers. A table holds only the addresses given
// to it; an address it does not hold is outside the device's map. Plain
// C++20, no Qt.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace protocol {

enum class RegisterKind : std::uint8_t { Coil, Discrete, Input, Holding };

inline constexpr std::array<RegisterKind, 4> kRegisterKinds = {RegisterKind::Coil, RegisterKind::Discrete,
                                                               RegisterKind::Input, RegisterKind::Holding};

// The table's name in a table file: "coil", "discrete", "input", "holding".
std::string_view registerKindName(RegisterKind kind);
std::optional<RegisterKind> registerKindFromName(std::string_view name);
// Coils and discrete inputs hold 0 or 1; registers 0 to 65535.
constexpr bool isBitKind(RegisterKind kind)
{
    return kind == RegisterKind::Coil || kind == RegisterKind::Discrete;
}

class RegisterTable {
public:
    using Entries = std::map<std::uint16_t, std::uint16_t>;

    std::optional<std::uint16_t> value(RegisterKind kind, std::uint16_t address) const;
    // A bit table keeps any value other than 0 as 1.
    void set(RegisterKind kind, std::uint16_t address, std::uint16_t value);
    void erase(RegisterKind kind, std::uint16_t address);
    // Whether every address of [address, address + count) is in the table
    // (false when the range runs past 65535).
    bool holdsRange(RegisterKind kind, std::uint32_t address, std::uint32_t count) const;

    const Entries &entries(RegisterKind kind) const { return m_tables[std::size_t(kind)]; }
    std::size_t size() const;
    bool operator==(const RegisterTable &) const = default;

private:
    std::array<Entries, 4> m_tables;
};

// What reading a table file gave: the table, or the reason it was refused
// (naming the line); and remarks about a file that loaded (a duplicate).
struct RegisterLoad {
    std::optional<RegisterTable> table;
    std::string error;
    std::vector<std::string> remarks;
};

// Reads `table,address,value` lines (a first line "table,address,value"
// and blank lines are passed over; blanks around a field allowed). Any bad
// line refuses the whole file. The same address given twice: the later
// line wins, and a remark says so.
RegisterLoad parseRegisterCsv(std::string_view text);

// The table as a file parseRegisterCsv() reads back: the heading, then the
// coils, discrete inputs, input and holding registers by address.
std::string registerCsv(const RegisterTable &table);

} // namespace protocol
