#include "app/WLWizardPage.h"

#include "app/WLMain.h"
#include "app/forms/Forms.h"

namespace tw {

HWND TWizardPage::Control(const std::string& name) const { return main_.Control(name); }

void TWizardPage::Enable(const std::string& name, bool on) const {
  if (HWND hwnd = Control(name)) EnableWindow(hwnd, on);
}

void TWizardPage::Show(const std::string& name, bool visible) const {
  if (HWND hwnd = Control(name)) ShowWindow(hwnd, visible ? SW_SHOW : SW_HIDE);
}

std::string TWizardPage::Text(const std::string& name) const {
  HWND hwnd = Control(name);
  return hwnd ? forms::WindowText(hwnd) : std::string();
}

void TWizardPage::SetText(const std::string& name, const std::string& text) const {
  if (HWND hwnd = Control(name)) forms::SetWindowTextUtf8(hwnd, text);
}

bool TWizardPage::Checked(const std::string& name) const {
  HWND hwnd = Control(name);
  return hwnd && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TWizardPage::SetChecked(const std::string& name, bool on) const {
  if (HWND hwnd = Control(name)) SendMessageW(hwnd, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace tw
