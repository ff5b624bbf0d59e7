#pragma once
// Shared by the check groups that drive the real brevant.dll from the stand-in messenger: the
// plug-in's classes, registry readers, regsvr32, calls through IDispatch and scripted answers
// to the message boxes the plug-in shows.

#include <gtest/gtest.h>

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "brevant.h"
#include "host_objects.h"
#include "messenger.h"
#include "qnsdkcom.h"

namespace host_sim {

// ---------------------------------------------------------------- the plug-in's identifiers

struct Class {
  const wchar_t* name;
  const wchar_t* clsid;
  const wchar_t* iid;
  bool item;  // ISDKPluginItem; vb_brevant is ISDKPlugin2; the controls neither
  bool control;
};

extern const std::vector<Class> kClasses;
extern const wchar_t kLibId[];

const Class& cls(const wchar_t* name);
std::vector<Class> classes(std::initializer_list<const wchar_t*> names);
GUID guid(const wchar_t* text);
std::wstring prog_id(const Class& c);
// For parameterised tests: the case is named after the class.
std::string class_name(const testing::TestParamInfo<Class>& info);

// The full Windows path of the brevant.dll under test; an installed copy can take its place.
const std::wstring& dll_path();
void set_dll_path(std::wstring path);
// A path from the build system, for Windows: Wine maps the Unix root to drive Z.
std::wstring windows_path(std::wstring path);

// ---------------------------------------------------------------- HRESULTs, in hex

testing::AssertionResult hr_equal(const char* want_expr, const char* got_expr, HRESULT want,
                                  HRESULT got);
#define EXPECT_HR(want, expr) EXPECT_PRED_FORMAT2(::host_sim::hr_equal, want, expr)
#define ASSERT_HR(want, expr) ASSERT_PRED_FORMAT2(::host_sim::hr_equal, want, expr)

// ---------------------------------------------------------------- registry

// Every key the registration writes, under `root` (a Classes key).
void expect_registered(HKEY root);
// Those of our keys that are still under `root`.
std::vector<std::string> keys_left(HKEY root);
// Runs regsvr32 (of this program's bitness) with `args` and the DLL; its exit code.
DWORD regsvr32(const std::wstring& args);

// ---------------------------------------------------------------- creating and calling

template <class Itf>
HRESULT create(const Class& c, ComPtr<Itf>& out) {
  return create_plugin(prog_id(c), __uuidof(Itf), reinterpret_cast<void**>(out.put()));
}

// Invokes a method by name with arguments given in the natural order.
HRESULT invoke(IDispatch* d, const wchar_t* member, std::vector<VARIANT> args);
VARIANT v_long(LONG n);
VARIANT v_object(IDispatch* d);

// DllCanUnloadNow of the loaded plug-in; S_OK when it is not loaded.
HRESULT can_unload_now();

// Registered for the machine while the suite runs; after each test every object the test made
// must have been released: a reference leaked anywhere in the COM surface keeps one alive.
class Registered : public testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;
};

template <class Param>
class RegisteredWith : public Registered, public testing::WithParamInterface<Param> {};

// ---------------------------------------------------------------- answering message boxes

struct Box {
  std::wstring title, text;
  bool operator==(const Box&) const = default;
};
void PrintTo(const Box& box, std::ostream* os);

inline const wchar_t kTitle[] = L"vb brevant";
inline const wchar_t kAskShow[] = L"\u9700\u8981\u663E\u793A\u63D2\u4EF6\u5417?";
inline const wchar_t kAskEnable[] = L"\u9700\u8981\u4F7F\u80FD\u63D2\u4EF6\u5417?";

// The plug-in's questions as they should appear: with its title.
std::vector<Box> questions(std::initializer_list<const wchar_t*> texts);

// Calls `body` with the answers (true for Yes) scripted; returns the boxes it showed. The
// boxes are real message boxes on this thread: a thread timer runs inside their message loop,
// reads each box's title and text and presses the scripted button (No when none is left).
std::vector<Box> with_answers(std::deque<bool> answers, const std::function<void()>& body);

}  // namespace host_sim
