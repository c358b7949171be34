#pragma once

// A registry held in memory, below HKEY_LOCAL_MACHINE only. Key and value
// names compare without regard to ASCII case; key paths are separated by
// '\' and empty components are ignored, so "A\B\" names the same key as
// "a\b".

#include "discovery/platform_api.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace discovery {

class InMemoryRegistry final : public Registry {
public:
    InMemoryRegistry();
    ~InMemoryRegistry() override;

    // Creates the key and its parents as needed and stores `text` as a
    // string value (its bytes and a terminating NUL), replacing any value of
    // that name.
    void setString(const std::string &keyPath, const std::string &name, const std::string &text);
    // The stored bytes of a value, terminating NUL included.
    std::optional<std::vector<std::uint8_t>> value(const std::string &keyPath,
                                                   const std::string &name) const;
    // Removes every key. Handles still open then name keys that are gone.
    void clear();
    std::size_t openKeyCount() const { return m_open.size(); }

    long RegOpenKeyExA(RegKey parent, const std::string &subKey, std::uint32_t options,
                       std::uint32_t access, RegKey *result) override;
    long RegOpenKeyA(RegKey parent, const std::string &subKey, RegKey *result) override;
    // Honours the size offered: a value larger than *size answers
    // ERROR_MORE_DATA with *size set to the size needed, and nothing is
    // written.
    long RegQueryValueExA(RegKey key, const std::string &valueName, std::uint32_t *type,
                          std::uint8_t *data, std::uint32_t *size) override;
    long RegCloseKey(RegKey key) override;

private:
    struct Key;
    using Path = std::vector<std::string>;

    const Key *find(const Path &path) const;
    std::optional<Path> pathOf(RegKey key) const;

    std::unique_ptr<Key> m_root;
    std::map<RegKey, Path> m_open;
    RegKey m_nextHandle = 0x1000;
};

} // namespace discovery
