// Registration for the machine, as an installer does it with regsvr32, and for one user.

#include "host_sim_test.h"

#include <gmock/gmock.h>

namespace host_sim {
namespace {

using testing::IsEmpty;

class Registration : public Registered {};

TEST_F(Registration, WritesEveryKeyForTheMachine) {
  expect_registered(HKEY_CLASSES_ROOT);
  for (const Class& c : kClasses) {
    CLSID clsid{};
    EXPECT_HR(S_OK, CLSIDFromProgID(prog_id(c).c_str(), &clsid)) << narrow(c.name);
    EXPECT_TRUE(IsEqualCLSID(clsid, guid(c.clsid))) << narrow(c.name);
  }
}

TEST_F(Registration, TheTypeLibraryLoadsByItsIdentifier) {
  ITypeLib* lib = nullptr;
  ASSERT_HR(S_OK, LoadRegTypeLib(guid(kLibId), 1, 0, 0, &lib));
  TLIBATTR* attr = nullptr;
  ASSERT_HR(S_OK, lib->GetLibAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(attr->guid, guid(kLibId)));
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->lcid, 0u);
  lib->ReleaseTLibAttr(attr);
  BSTR name = nullptr;
  lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
  EXPECT_STREQ(name, L"brevant");
  SysFreeString(name);
  lib->Release();
}

TEST_F(Registration, UnregisteringRemovesEveryKeyAndIsHarmlessTwice) {
  ASSERT_EQ(regsvr32(L"/u /s"), 0u);
  EXPECT_THAT(keys_left(HKEY_CLASSES_ROOT), IsEmpty());
  ITypeLib* lib = nullptr;
  EXPECT_NE(LoadRegTypeLib(guid(kLibId), 1, 0, 0, &lib), S_OK);
  if (lib)
    lib->Release();
  EXPECT_EQ(regsvr32(L"/u /s"), 0u);
  // Whatever runs after this in the suite finds the plug-in registered, as it started.
  EXPECT_EQ(regsvr32(L"/s"), 0u);
}

TEST(PerUser, RegistersForTheUserAloneAndUnregisters) {
  ASSERT_EQ(regsvr32(L"/u /s"), 0u);
  HKEY user = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_READ, nullptr, &user,
                  nullptr);
  HKEY machine = nullptr;
  RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_READ, &machine);
  EXPECT_EQ(regsvr32(L"/s /n /i:user"), 0u);
  expect_registered(user);
  EXPECT_THAT(keys_left(machine), IsEmpty()) << "the machine's classes are untouched";
  EXPECT_EQ(regsvr32(L"/u /s /n /i:user"), 0u);
  EXPECT_THAT(keys_left(user), IsEmpty());
  RegCloseKey(user);
  RegCloseKey(machine);
}

}  // namespace
}  // namespace host_sim
