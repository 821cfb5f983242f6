#include "DialogViews.h"

#include <FL/Fl_Help_View.H>
#include <FL/Fl_Text_Display.H>

namespace kavrel::test {

std::string PageText(platform::THtmlDialogForm& form) {
  const char* value = form.View().value();
  return value != nullptr ? value : "";
}

std::string PageFolder(platform::THtmlDialogForm& form) {
  const char* folder = form.View().directory();
  return folder != nullptr ? folder : "";
}

void FollowLink(platform::THtmlDialogForm& form, const std::string& name) {
  form.View().load(name.c_str());
}

Fl_Widget& TextArea(platform::TTextDialogForm& form) { return form.Memo(); }

int TextTop(platform::TTextDialogForm& form, int position) {
  int x = 0, y = 0;
  form.Memo().position_to_xy(position, &x, &y);
  return y;
}

}  // namespace kavrel::test
