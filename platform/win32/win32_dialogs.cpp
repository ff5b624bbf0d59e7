#include "platform/win32/win32_dialogs.h"

#include <cstdint>
#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;  // this module, for the dialogs' instance

namespace brevant::win32_dialogs {
namespace {

// Predefined window classes by atom, as a dialog template names them.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;

// A DLGTEMPLATE with its items, laid out in memory as DialogBoxIndirectParamW reads it. Units
// are dialog units.
class DialogTemplate {
 public:
  DialogTemplate(DWORD style, short cx, short cy, StrView title) {
    style |=
        DS_SETFONT | DS_SHELLFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    add_dword(style);
    add_dword(0);  // extended style
    count_at_ = words_.size();
    add_word(0);  // number of items, counted below
    add_word(0);  // x
    add_word(0);  // y
    add_word(static_cast<WORD>(cx));
    add_word(static_cast<WORD>(cy));
    add_word(0);  // no menu
    add_word(0);  // the standard dialog class
    add_text(title);
    add_word(9);  // point size of the shell font, which falls back to a CJK font where needed
    add_text(u"MS Shell Dlg");
  }

  void add_item(WORD cls, int id, DWORD style, short x, short y, short cx, short cy, StrView text) {
    if (words_.size() % 2)
      add_word(0);  // items start on a DWORD boundary
    add_dword(style | WS_CHILD | WS_VISIBLE);
    add_dword(0);
    add_word(static_cast<WORD>(x));
    add_word(static_cast<WORD>(y));
    add_word(static_cast<WORD>(cx));
    add_word(static_cast<WORD>(cy));
    add_word(static_cast<WORD>(id));
    add_word(0xFFFF);
    add_word(cls);
    add_text(text);
    add_word(0);  // no creation data
    ++words_[count_at_];
  }

  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void add_word(WORD w) { words_.push_back(w); }
  void add_dword(DWORD d) {
    add_word(LOWORD(d));
    add_word(HIWORD(d));
  }
  void add_text(StrView s) {
    for (char16_t c : s)
      add_word(c);
    add_word(0);
  }

  std::vector<WORD> words_;  // WORD-aligned by the vector; items are aligned by hand
  std::size_t count_at_ = 0;
};

HINSTANCE this_instance() {
  return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

struct SettingsState {
  const DialogChoice* initial;
  DialogChoice result;
};

void check(HWND dialog, int id, bool on) {
  CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

INT_PTR CALLBACK settings_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      const DialogChoice& c = *reinterpret_cast<SettingsState*>(lparam)->initial;
      check(dialog, kEnglish, c.language == LanguageOption::kEnglish);
      check(dialog, kJapanese, c.language == LanguageOption::kJapanese);
      check(dialog, kDouble, c.format == FormatOption::kDouble);
      check(dialog, kSingle, c.format == FormatOption::kSingle);
      CheckDlgButton(dialog, kPreview,
                     c.preview == CheckState::kChecked ? BST_CHECKED
                     : c.preview == CheckState::kGrey  ? BST_INDETERMINATE
                                                       : BST_UNCHECKED);
      // Focus on an unchecked option button would check it: start on the accept button.
      SetFocus(GetDlgItem(dialog, kCommand1));
      return FALSE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (id == kPreview && HIWORD(wparam) == BN_CLICKED) {
        // A three-state box the user toggles between checked and cleared only.
        const bool on = IsDlgButtonChecked(dialog, kPreview) == BST_CHECKED;
        check(dialog, kPreview, !on);
        return TRUE;
      }
      if (id == kCommand1) {
        auto* state = reinterpret_cast<SettingsState*>(GetWindowLongPtrW(dialog, DWLP_USER));
        DialogChoice& r = state->result;
        r.language = IsDlgButtonChecked(dialog, kEnglish) == BST_CHECKED ? LanguageOption::kEnglish
                     : IsDlgButtonChecked(dialog, kJapanese) == BST_CHECKED
                         ? LanguageOption::kJapanese
                         : LanguageOption::kNone;
        r.format = IsDlgButtonChecked(dialog, kDouble) == BST_CHECKED   ? FormatOption::kDouble
                   : IsDlgButtonChecked(dialog, kSingle) == BST_CHECKED ? FormatOption::kSingle
                                                                        : FormatOption::kNone;
        const UINT box = IsDlgButtonChecked(dialog, kPreview);
        r.preview = box == BST_CHECKED         ? CheckState::kChecked
                    : box == BST_INDETERMINATE ? CheckState::kGrey
                                               : CheckState::kCleared;
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (id == kCommand2) {  // also the close button and Escape
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK notice_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM) {
  if (msg == WM_INITDIALOG)
    return TRUE;
  if (msg == WM_COMMAND) {
    const int id = LOWORD(wparam);
    if ((id == kLabel1 && HIWORD(wparam) == STN_CLICKED) || id == IDCANCEL) {
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    }
  }
  return FALSE;
}

}  // namespace

std::optional<DialogChoice> run_settings(HWND owner, const SettingsDialogText& text,
                                         const DialogChoice& initial) {
  DialogTemplate t(0, 184, 118, text.title);
  t.add_item(kButtonClass, kFrame2, BS_GROUPBOX | WS_GROUP, 7, 4, 170, 30, text.language_group);
  t.add_item(kButtonClass, kEnglish, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 16, 17, 74, 10,
             text.english);
  t.add_item(kButtonClass, kJapanese, BS_AUTORADIOBUTTON, 96, 17, 74, 10, text.japanese);
  t.add_item(kButtonClass, kFrame1, BS_GROUPBOX | WS_GROUP, 7, 38, 170, 30, text.format_group);
  t.add_item(kButtonClass, kDouble, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 16, 51, 74, 10,
             text.double_format);
  t.add_item(kButtonClass, kSingle, BS_AUTORADIOBUTTON, 96, 51, 74, 10, text.single_format);
  t.add_item(kButtonClass, kPreview, BS_3STATE | WS_GROUP | WS_TABSTOP, 16, 76, 150, 10,
             text.preview);
  t.add_item(kButtonClass, kCommand1, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 66, 96, 52, 15,
             text.ok);
  t.add_item(kButtonClass, kCommand2, BS_PUSHBUTTON | WS_TABSTOP, 125, 96, 52, 15, text.cancel);

  SettingsState state{&initial, {}};
  const INT_PTR rc = DialogBoxIndirectParamW(this_instance(), t.get(), owner, settings_proc,
                                             reinterpret_cast<LPARAM>(&state));
  if (rc != IDOK)
    return std::nullopt;  // cancelled, closed, or the dialog could not be made
  return state.result;
}

void run_notice(HWND owner, StrView caption, StrView text) {
  DialogTemplate t(0, 220, 72, caption);
  // SS_NOTIFY: the text reports clicks on it.
  t.add_item(kStaticClass, kLabel1, SS_CENTER | SS_NOTIFY, 8, 8, 204, 56, text);
  DialogBoxIndirectParamW(this_instance(), t.get(), owner, notice_proc, 0);
}

}  // namespace brevant::win32_dialogs
