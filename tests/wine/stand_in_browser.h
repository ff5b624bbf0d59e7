#pragma once
// A stand-in for the system's WebBrowser control, for tests of the plug-in's browser adapter
// under Wine (where the real control never has a document). While a StandInControls object
// lives, every CoCreateInstance of the WebBrowser class on this thread gets a stand-in: an OLE
// object offering IWebBrowser2 and the connection point of DWebBrowserEvents2, whose document
// (IHTMLDocument2) has a parentWindow whose execScript records each script line. Each control
// records what it was asked; the test raises the before-navigate event as the control would.

// windows.h first: the COM headers need its types.
#include <windows.h>

#include <exdisp.h>
#include <oleidl.h>

#include <memory>
#include <string>
#include <vector>

#include "com/com_support.h"

namespace brevant::wine {

struct ScriptCall {
  std::wstring code, language;
  bool operator==(const ScriptCall&) const = default;
};

// How get_Document answers: the page's document, no document (S_OK and NULL), a failure, or
// a document whose parentWindow fails.
enum class DocumentAnswer { kPage, kNull, kFails, kWindowFails };

// What one control was asked; it outlives the control.
struct StandInRecord {
  HWND window = nullptr;  // the container window it was activated in
  std::vector<std::wstring> navigations;
  std::vector<ScriptCall> scripts;
  DocumentAnswer document = DocumentAnswer::kPage;
  HRESULT script_result = S_OK;
  bool closed = false;
  com::ComPtr<IOleClientSite> site;
  com::ComPtr<IDispatch> sink;  // the adviser of DWebBrowserEvents2

  // Fires BeforeNavigate2 for `url` the way the control does before it navigates, with the URL
  // as a BSTR by reference; false when no one is advised. The adapter may close the control
  // from its handler.
  bool before_navigate(const std::wstring& url);
  // The local path of the first navigation, as the control under Wine reports a local page.
  std::wstring page_path() const;
};

class StandInControls {
 public:
  StandInControls();
  ~StandInControls();
  StandInControls(const StandInControls&) = delete;
  StandInControls& operator=(const StandInControls&) = delete;

  bool registered() const { return cookie_ != 0; }
  // Every control made so far, oldest first.
  const std::vector<std::shared_ptr<StandInRecord>>& made() const;
  // The newest control activated in `window`, or nullptr.
  StandInRecord* in(HWND window) const;
  // Stand-in COM objects (controls, connection points, documents, windows) not yet released.
  static int live();

 private:
  bool ole_;
  DWORD cookie_ = 0;
};

}  // namespace brevant::wine
