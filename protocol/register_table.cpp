#include "protocol/register_table.h"


namespace protocol {

namespace {

constexpr std::string_view kHeading = "table,address,value";

std::string_view trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A decimal number of digits only; nothing for anything else or past 2^32.
std::optional<std::uint32_t> decimal(std::string_view text)
{
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + std::uint64_t(c - '0');
    }
    if (value > 0xFFFFFFFFu)
        return std::nullopt;
    return std::uint32_t(value);
}

std::string lineText(std::size_t line)
{
    return "line " + std::to_string(line) + ": ";
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

std::string_view registerKindName(RegisterKind kind)
{
    switch (kind) {
    case RegisterKind::Coil: return "coil";
    case RegisterKind::Discrete: return "discrete";
    case RegisterKind::Input: return "input";
    case RegisterKind::Holding: return "holding";
    }
    return {};
}

std::optional<RegisterKind> registerKindFromName(std::string_view name)
{
    for (RegisterKind kind : kRegisterKinds)
        if (registerKindName(kind) == name)
            return kind;
    return std::nullopt;
}

std::optional<std::uint16_t> RegisterTable::value(RegisterKind kind, std::uint16_t address) const
{
    const Entries &entries = m_tables[std::size_t(kind)];
    const auto found = entries.find(address);
    if (found == entries.end())
        return std::nullopt;
    return found->second;
}

void RegisterTable::set(RegisterKind kind, std::uint16_t address, std::uint16_t value)
{
    m_tables[std::size_t(kind)][address] = isBitKind(kind) ? std::uint16_t(value != 0) : value;
}

void RegisterTable::erase(RegisterKind kind, std::uint16_t address)
{
    m_tables[std::size_t(kind)].erase(address);
}

bool RegisterTable::holdsRange(RegisterKind kind, std::uint32_t address, std::uint32_t count) const
{
    if (count == 0 || address + std::uint64_t(count) > 0x10000)
        return false;
    const Entries &entries = m_tables[std::size_t(kind)];
    auto it = entries.find(std::uint16_t(address));
    for (std::uint32_t i = 0; i < count; ++i, ++it)
        if (it == entries.end() || it->first != address + i)
            return false;
    return true;
}

std::size_t RegisterTable::size() const
{
    std::size_t all = 0;
    for (const Entries &entries : m_tables)
        all += entries.size();
    return all;
}

RegisterLoad parseRegisterCsv(std::string_view text)
{
    RegisterLoad load;
    RegisterTable table;
    // Where each address was last given, for the remark about a duplicate.
    std::array<std::map<std::uint16_t, std::size_t>, 4> givenOn;
    std::size_t lineNumber = 0;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (line.empty())
            continue;
        if (first && equalsIgnoringCase(line, kHeading)) {
            first = false;
            continue;
        }
        first = false;
        std::vector<std::string_view> fields;
        for (std::string_view rest = line;;) {
            const std::size_t comma = rest.find(',');
            fields.push_back(trimmed(rest.substr(0, comma)));
            if (comma == std::string_view::npos)
                break;
            rest.remove_prefix(comma + 1);
        }
        const auto refuse = [&](const std::string &reason) {
            load.error = lineText(lineNumber) + reason;
            return load;
        };
        if (fields.size() != 3)
            return refuse("expected table,address,value, found \"" + std::string(line) + "\"");
        const auto kind = registerKindFromName(fields[0]);
        if (!kind)
            return refuse("table \"" + std::string(fields[0]) + "\" is none of coil, discrete, input, holding");
        const auto address = decimal(fields[1]);
        if (!address || *address > 65535)
            return refuse("address \"" + std::string(fields[1]) + "\" is out of range 0-65535");
        const auto value = decimal(fields[2]);
        const std::uint32_t highest = isBitKind(*kind) ? 1 : 65535;
        if (!value || *value > highest)
            return refuse("value \"" + std::string(fields[2]) + "\" is out of range 0-" + std::to_string(highest)
                          + " in table " + std::string(registerKindName(*kind)));
        auto &seen = givenOn[std::size_t(*kind)];
        const auto before = seen.find(std::uint16_t(*address));
        if (before != seen.end())
            load.remarks.push_back(lineText(lineNumber) + std::string(registerKindName(*kind)) + " "
                                   + std::to_string(*address) + " was given on line "
                                   + std::to_string(before->second) + " too; the later value "
                                   + std::to_string(*value) + " is kept");
        seen[std::uint16_t(*address)] = lineNumber;
        table.set(*kind, std::uint16_t(*address), std::uint16_t(*value));
    }
    load.table = std::move(table);
    return load;
}

std::string registerCsv(const RegisterTable &table)
{
    std::string out(kHeading);
    out += '\n';
    for (RegisterKind kind : kRegisterKinds)
        for (const auto &[address, value] : table.entries(kind)) {
            out += registerKindName(kind);
            out += ',';
            out += std::to_string(address);
            out += ',';
            out += std::to_string(value);
            out += '\n';
        }
    return out;
}

} // namespace protocol
