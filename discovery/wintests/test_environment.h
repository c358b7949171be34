#pragma once

// What the Windows tests set up around the back-ends: which vendor DLL the
// process finds, the test double's bridges, and registry keys of their own.

#include "fake_vendor.h"

#include <string>
#include <vector>

namespace wintests {

// The folders beside the test program, each holding one variant of
// CP210xManufacturing.dll (none in "vendor_none").
inline constexpr const char *kFullVendor = "vendor_full";
inline constexpr const char *kLackingVendor = "vendor_lacking";
inline constexpr const char *kNoVendor = "vendor_none";

// Makes the named folder the one the DLL search looks in, for the life of
// the object. The DLL is looked up anew only while no module of that name
// is loaded: destroy every back-end and FakeVendor of a test before the next.
class VendorDirectory {
public:
    explicit VendorDirectory(const char *folder);
    ~VendorDirectory();
    VendorDirectory(const VendorDirectory &) = delete;
    VendorDirectory &operator=(const VendorDirectory &) = delete;
};

// The test double as loaded from a vendor folder, reset on load.
class FakeVendor {
public:
    explicit FakeVendor(const char *folder = kFullVendor);
    ~FakeVendor();
    FakeVendor(const FakeVendor &) = delete;
    FakeVendor &operator=(const FakeVendor &) = delete;

    void add(const FakeBridge &bridge);
    unsigned openBridges();

private:
    VendorDirectory m_directory;
    HMODULE m_module;
};

// A bridge that answers every call with success.
FakeBridge bridge(WORD vid, WORD pid, const std::string &serial, const std::string &product);

// Registry keys under HKEY_LOCAL_MACHINE written through the registry API.
// Each root given must not exist yet; it is deleted with all below it when
// the object goes.
class ScratchRegistry {
public:
    explicit ScratchRegistry(std::vector<std::string> roots);
    ~ScratchRegistry();
    ScratchRegistry(const ScratchRegistry &) = delete;
    ScratchRegistry &operator=(const ScratchRegistry &) = delete;

    // A REG_SZ value, stored with its terminating NUL; creates the key path.
    void setString(const std::string &keyPath, const std::string &name, const std::string &value);

private:
    std::vector<std::string> m_roots;
};

} // namespace wintests
