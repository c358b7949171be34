#include "discovery/in_memory_registry.h"

#include <algorithm>
#include <cstring>

namespace discovery {

namespace {

constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorInvalidParameter = 87;
constexpr std::uint32_t kRegSz = 1;

char foldCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

struct CaseInsensitiveLess {
    bool operator()(const std::string &a, const std::string &b) const
    {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) {
                                                return static_cast<unsigned char>(foldCase(x))
                                                    < static_cast<unsigned char>(foldCase(y));
                                            });
    }
};

std::vector<std::string> splitPath(const std::string &path)
{
    std::vector<std::string> parts;
    std::string part;
    for (const char c : path) {
        if (c == '\\') {
            if (!part.empty())
                parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(std::move(part));
    return parts;
}

} // namespace

struct InMemoryRegistry::Key {
    std::map<std::string, std::unique_ptr<Key>, CaseInsensitiveLess> subKeys;
    std::map<std::string, std::vector<std::uint8_t>, CaseInsensitiveLess> values;
};

InMemoryRegistry::InMemoryRegistry() : m_root(std::make_unique<Key>()) {}

InMemoryRegistry::~InMemoryRegistry() = default;

void InMemoryRegistry::setString(const std::string &keyPath, const std::string &name,
                                 const std::string &text)
{
    Key *key = m_root.get();
    for (const std::string &part : splitPath(keyPath)) {
        auto &child = key->subKeys[part];
        if (!child)
            child = std::make_unique<Key>();
        key = child.get();
    }
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    key->values[name] = std::move(bytes);
}

std::optional<std::vector<std::uint8_t>> InMemoryRegistry::value(const std::string &keyPath,
                                                                 const std::string &name) const
{
    const Key *key = find(splitPath(keyPath));
    if (!key)
        return std::nullopt;
    const auto it = key->values.find(name);
    if (it == key->values.end())
        return std::nullopt;
    return it->second;
}

void InMemoryRegistry::clear()
{
    m_root = std::make_unique<Key>();
}

const InMemoryRegistry::Key *InMemoryRegistry::find(const Path &path) const
{
    const Key *key = m_root.get();
    for (const std::string &part : path) {
        const auto it = key->subKeys.find(part);
        if (it == key->subKeys.end())
            return nullptr;
        key = it->second.get();
    }
    return key;
}

std::optional<InMemoryRegistry::Path> InMemoryRegistry::pathOf(RegKey key) const
{
    if (key == kHkeyLocalMachine)
        return Path{};
    const auto it = m_open.find(key);
    if (it == m_open.end())
        return std::nullopt;
    return it->second;
}

long InMemoryRegistry::RegOpenKeyExA(RegKey parent, const std::string &subKey, std::uint32_t,
                                     std::uint32_t, RegKey *result)
{
    return RegOpenKeyA(parent, subKey, result);
}

long InMemoryRegistry::RegOpenKeyA(RegKey parent, const std::string &subKey, RegKey *result)
{
    auto path = pathOf(parent);
    if (!path)
        return kErrorInvalidHandle;
    for (std::string &part : splitPath(subKey))
        path->push_back(std::move(part));
    if (!find(*path))
        return kErrorFileNotFound;
    const RegKey handle = m_nextHandle++;
    m_open.emplace(handle, std::move(*path));
    *result = handle;
    return kErrorSuccess;
}

long InMemoryRegistry::RegQueryValueExA(RegKey key, const std::string &valueName,
                                        std::uint32_t *type, std::uint8_t *data,
                                        std::uint32_t *size)
{
    const auto path = pathOf(key);
    if (!path)
        return kErrorInvalidHandle;
    const Key *node = find(*path);
    if (!node)
        return kErrorFileNotFound;
    const auto it = node->values.find(valueName);
    if (it == node->values.end())
        return kErrorFileNotFound;

    const auto needed = static_cast<std::uint32_t>(it->second.size());
    if (type)
        *type = kRegSz;
    if (!size)
        return data ? kErrorInvalidParameter : kErrorSuccess;
    if (data && *size < needed) {
        *size = needed;
        return kErrorMoreData;
    }
    if (data)
        std::memcpy(data, it->second.data(), needed);
    *size = needed;
    return kErrorSuccess;
}

long InMemoryRegistry::RegCloseKey(RegKey key)
{
    if (key == kHkeyLocalMachine)
        return kErrorSuccess;
    return m_open.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

} // namespace discovery
