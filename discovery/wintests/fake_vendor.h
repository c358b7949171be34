#pragma once

// The test double of the vendor library, shared by the DLL and the tests
// that set it up. Besides the vendor's seven functions the DLL exports
// FakeVendor_Reset, FakeVendor_AddBridge and FakeVendor_OpenBridges, which a
// test reaches with GetProcAddress on the module that the back-end loads.

#include <windows.h>

struct FakeBridge {
    WORD vid;
    WORD pid;
    // NUL-terminated; handed out without the NUL, the length as reported.
    char serial[256];
    char product[256];
    // What each call answers for this bridge; 0 is success. A call that
    // fails writes nothing.
    DWORD openStatus;
    DWORD vidStatus;
    DWORD pidStatus;
    DWORD serialStatus;
    DWORD productStatus;
};

using FakeVendorResetFunction = void(WINAPI *)();
using FakeVendorAddBridgeFunction = void(WINAPI *)(const FakeBridge *);
// Bridges opened and not closed since the last reset.
using FakeVendorOpenBridgesFunction = DWORD(WINAPI *)();
