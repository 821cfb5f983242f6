// The HTML dialog: a page in the toolkit's help view with a Close button,
// centred on the screen. The view follows links only from a page on disk to
// other files on disk: a link to a web address is not followed (the view has
// no way to fetch it), and nothing in a page fetched from a web server makes
// the view open a file of this machine.
#pragma once

#include <FL/Fl_Double_Window.H>

#include <memory>
#include <string>
#include <string_view>

#include "DialogControls.h"

// Declared only: the view's header brings in the X headers, whose macros
// (None, Button1) clash with names of the other dialogs.
class Fl_Help_View;

namespace kavrel::platform {

class THtmlDialogForm : public Fl_Double_Window {
 public:
  static constexpr int kClientWidth = 600;
  static constexpr int kClientHeight = 450;

  THtmlDialogForm();
  ~THtmlDialogForm() override;

  // Loads a page from disk (either separator); false, with nothing loaded,
  // when it is not a file that can be read.
  bool LoadFile(std::string_view path);
  // Shows a page fetched from the given address.
  void SetPage(const std::string& html, std::string_view address);

  // Shows the dialog and returns when Close, Escape or the close box closed it.
  void ShowModal();

  TDialogButton CloseButton;
  Fl_Help_View& View() { return *view_; }

 private:
  // The view's gateway to files: links it follows and pictures it draws.
  static const char* Resolve(Fl_Widget* view, const char* name);
  static void Close(Fl_Widget* widget, void* form);
  void TakeTitle(std::string_view address);

  std::unique_ptr<Fl_Help_View> view_;
  bool fromDisk_ = false;
  std::string resolved_;  // the last path handed to the view
};

}  // namespace kavrel::platform
