// The resources a host reads from the DLL without loading it as code.

#include "host_sim_test.h"

#include <cstdint>
#include <cstring>

namespace host_sim {
namespace {

class Resources : public testing::Test {
 protected:
  void SetUp() override {
    dll = LoadLibraryExW(dll_path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(dll, nullptr) << "brevant.dll loads as data";
  }
  void TearDown() override {
    if (dll)
      FreeLibrary(dll);
  }
  HMODULE dll = nullptr;
};

TEST_F(Resources, TheTypeLibraryIsResource1) {
  EXPECT_NE(FindResourceW(dll, MAKEINTRESOURCEW(1), L"TYPELIB"), nullptr);
}

// Each plug-in class names its default interface in a CUSTOM resource _IID_<NAME>: a 4-byte
// length, 16, and the identifier.
class EachPluginClass : public Resources, public testing::WithParamInterface<Class> {};

TEST_P(EachPluginClass, NamesItsDefaultInterface) {
  const Class& c = GetParam();
  std::wstring res = L"_IID_";
  for (const wchar_t* p = c.name; *p; ++p)
    res += static_cast<wchar_t>(towupper(*p));
  HRSRC r = FindResourceW(dll, res.c_str(), L"CUSTOM");
  ASSERT_NE(r, nullptr) << narrow(res);
  ASSERT_EQ(SizeofResource(dll, r), 20u);
  const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(dll, r)));
  ASSERT_NE(data, nullptr);
  std::uint32_t length = 0;
  std::memcpy(&length, data, 4);
  GUID iid{};
  std::memcpy(&iid, data + 4, 16);
  EXPECT_EQ(length, 16u);
  EXPECT_TRUE(IsEqualGUID(iid, guid(c.iid)));
}

INSTANTIATE_TEST_SUITE_P(Resources, EachPluginClass,
                         testing::ValuesIn(classes({L"vb_brevant", L"vb_importantplugin",
                                                    L"vb_bottomplugin", L"vb_imchatmainplugin",
                                                    L"vb_imchatinputplugin",
                                                    L"vb_mainmenuplugin"})),
                         class_name);

}  // namespace
}  // namespace host_sim
