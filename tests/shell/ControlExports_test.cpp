// libtarn.so as a loader sees it: the two self-registration entry points, working on the
// registry of the data folder named by $VEXA_DATA (this test binary's own environment).
#include "shell/control/ControlRegistration.h"

#include "tests/support/PeerProcess.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>

namespace
{

using EntryPoint = HRESULT (*)();

TEST(ControlExports, RegisterAndUnregisterThroughTheLibrary)
{
    std::string folder = MakeTempDir("vexa-exports");
    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(setenv("VEXA_DATA", folder.c_str(), 1), 0);

    void* library = dlopen(TARN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto reg = reinterpret_cast<EntryPoint>(dlsym(library, "DllRegisterServer"));
    auto unreg = reinterpret_cast<EntryPoint>(dlsym(library, "DllUnregisterServer"));
    ASSERT_NE(reg, nullptr);
    ASSERT_NE(unreg, nullptr);
    // Nothing else leaks out of the library.
    EXPECT_EQ(
        dlsym(
            library,
            "_Z15RegisterControlR9CRegistryRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"),
        nullptr);

    EXPECT_EQ(reg(), S_OK);
    {
        CRegistry registry;
        ASSERT_EQ(registry.Open(folder + "/registry.db"), ERROR_SUCCESS);
        HKEY key = nullptr;
        std::string path = std::string("CLSID\\") + OVEL_CLSID + "\\InprocServer32";
        ASSERT_EQ(RegOpenKeyEx(registry.RootKey(HKEY_CLASSES_ROOT), path.c_str(), KEY_READ, &key),
                  ERROR_SUCCESS);
        char module[4096] = {};
        DWORD size = sizeof module - 1;
        ASSERT_EQ(RegQueryValueEx(key, nullptr, nullptr, reinterpret_cast<BYTE*>(module), &size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        Dl_info info{};
        ASSERT_NE(dladdr(reinterpret_cast<void*>(reg), &info), 0);
        EXPECT_STREQ(module, info.dli_fname);
    }
    EXPECT_EQ(unreg(), S_OK);
    {
        CRegistry registry;
        ASSERT_EQ(registry.Open(folder + "/registry.db"), ERROR_SUCCESS);
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyEx(registry.RootKey(HKEY_CLASSES_ROOT), "CLSID", KEY_READ, &key),
                  ERROR_SUCCESS);
        DWORD subKeys = 99;
        RegQueryInfoKey(key, &subKeys, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(subKeys, 0u);
        RegCloseKey(key);
    }
    dlclose(library);
    RemoveTree(folder);
}

} // namespace
