#include "test_environment.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

namespace wintests {

namespace {

std::string besideProgram(const char *name)
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    folder.erase(folder.find_last_of('\\') + 1);
    return folder + name;
}

template <typename Function>
Function control(HMODULE module, const char *name)
{
    const FARPROC address = GetProcAddress(module, name);
    if (!address)
        throw std::runtime_error(std::string("test double lacks ") + name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

} // namespace

VendorDirectory::VendorDirectory(const char *folder)
{
    if (GetModuleHandleA("CP210xManufacturing.dll"))
        throw std::logic_error("a vendor DLL from an earlier test is still loaded");
    if (!SetDllDirectoryA(besideProgram(folder).c_str()))
        throw std::runtime_error(std::string("no folder ") + folder);
}

VendorDirectory::~VendorDirectory()
{
    SetDllDirectoryA(nullptr);
}

FakeVendor::FakeVendor(const char *folder)
    : m_directory(folder), m_module(LoadLibraryA("CP210xManufacturing.dll"))
{
    if (!m_module)
        throw std::runtime_error(std::string("no test double in ") + folder);
    control<FakeVendorResetFunction>(m_module, "FakeVendor_Reset")();
}

FakeVendor::~FakeVendor()
{
    FreeLibrary(m_module);
}

void FakeVendor::add(const FakeBridge &bridge)
{
    control<FakeVendorAddBridgeFunction>(m_module, "FakeVendor_AddBridge")(&bridge);
}

unsigned FakeVendor::openBridges()
{
    return control<FakeVendorOpenBridgesFunction>(m_module, "FakeVendor_OpenBridges")();
}

FakeBridge bridge(WORD vid, WORD pid, const std::string &serial, const std::string &product)
{
    FakeBridge b{};
    b.vid = vid;
    b.pid = pid;
    std::strncpy(b.serial, serial.c_str(), sizeof b.serial - 1);
    std::strncpy(b.product, product.c_str(), sizeof b.product - 1);
    return b;
}

ScratchRegistry::ScratchRegistry(std::vector<std::string> roots) : m_roots(std::move(roots))
{
    for (const std::string &root : m_roots) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            RegCloseKey(key);
            throw std::logic_error("registry key left over: " + root);
        }
    }
}

ScratchRegistry::~ScratchRegistry()
{
    for (const std::string &root : m_roots)
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, root.c_str());
}

void ScratchRegistry::setString(const std::string &keyPath, const std::string &name, const std::string &value)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS)
        << keyPath;
    const LONG written = RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                                        reinterpret_cast<const BYTE *>(value.c_str()),
                                        static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    ASSERT_EQ(written, ERROR_SUCCESS) << keyPath << " " << name;
}

} // namespace wintests
