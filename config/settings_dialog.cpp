#include "config/settings_dialog.h"

namespace brevant {

const SettingsDialogText& settings_dialog_text(DialogLanguage language) {
  static const SettingsDialogText kChinese{
      u"翻译设置", u"语言设置", u"中英模式", u"中日模式", u"格式设置",
      u"双语发送", u"单语发送", u"预览开启", u"确定",     u"取消",
  };
  static const SettingsDialogText kEnglish{
      u"Translation seting",
      u"Language",
      u"Chinese-English",
      u"Chinese-Japanese",
      u"Format",
      u"send bilingual",
      u"send monolingual",
      u"open the preview",
      u"ok",
      u"cancel",
  };
  return language == DialogLanguage::kChinese ? kChinese : kEnglish;
}

void SettingsForm::Form_Load() {
  CIniFile& ini = settings_.use(kConfigUinFile);
  file_ = ini.IniFileName();
  const Str lan = ini.GetValue(kConfigSection, kKeyConfigLan);
  if (lan == u"en")
    controls.language = LanguageOption::kEnglish;
  else if (lan == u"ja")
    controls.language = LanguageOption::kJapanese;
  const Str format = ini.GetValue(kConfigSection, kKeyConfigFormat);
  if (format == u"double")
    controls.format = FormatOption::kDouble;
  else if (format == u"single")
    controls.format = FormatOption::kSingle;
  const Str preview = ini.GetValue(kConfigSection, kKeyConfigPreview);
  if (preview == u"off")
    controls.preview = CheckState::kCleared;
  else if (preview == u"on")
    controls.preview = CheckState::kChecked;
}

void SettingsForm::Command1_Click() {
  // The dialog runs a nested message loop, in which another user may have pointed the shared
  // object elsewhere (the coordinator at configIM.ini): write where the load read.
  CIniFile& ini = settings_.shared();
  if (!file_.empty())
    ini.IniFileName(file_);
  if (controls.format == FormatOption::kDouble)
    ini.WriteValue(kConfigSection, kKeyConfigFormat, u"double");
  else if (controls.format == FormatOption::kSingle)
    ini.WriteValue(kConfigSection, kKeyConfigFormat, u"single");
  if (controls.language == LanguageOption::kEnglish)
    ini.WriteValue(kConfigSection, kKeyConfigLan, u"en");
  else if (controls.language == LanguageOption::kJapanese)
    ini.WriteValue(kConfigSection, kKeyConfigLan, u"ja");
  if (controls.preview == CheckState::kChecked)
    ini.WriteValue(kConfigSection, kKeyConfigPreview, u"on");
  else if (controls.preview == CheckState::kCleared)
    ini.WriteValue(kConfigSection, kKeyConfigPreview, u"off");
}

void show_settings_dialog(Settings& settings, Ui& ui, DialogLanguage language, Hwnd owner) {
  SettingsForm form(settings);
  form.Form_Load();
  const std::optional<DialogChoice> accepted =
      ui.run_settings_dialog(owner, settings_dialog_text(language), form.controls);
  if (accepted) {
    form.controls = *accepted;
    form.Command1_Click();
  } else {
    form.Command2_Click();
  }
}

const NoticeText& notice_text(Notice notice) {
  static const NoticeText kChangedCn{
      u"温馨提示：",
      u"界面语言已切换为英文。\n从现在起打开的聊天窗口将显示英文界面。\n\n（点击此处关闭）"};
  static const NoticeText kChangedEn{
      u"",
      u"The interface language is now Chinese.\nChat windows opened from now on show the "
      u"Chinese page.\n\n(Click here to close.)"};
  static const NoticeText kLanguage{
      u"",
      u"Chinese cannot be chosen as the interface language on this system.\nThe interface "
      u"stays in English.\n\n(Click here to close.)"};
  switch (notice) {
    case Notice::Frmchangedcn:
      return kChangedCn;
    case Notice::Frmchangeden:
      return kChangedEn;
    case Notice::Frmlanguage:
      break;
  }
  return kLanguage;
}

void show_notice(Ui& ui, Notice notice, Hwnd owner) {
  const NoticeText& n = notice_text(notice);
  ui.show_notice(owner, n.caption, n.text);
}

}  // namespace brevant
