// What the dialog tests ask of the toolkit's views inside the dialogs, kept in
// a file of their own: the views' headers bring in the X headers, whose
// macros (None) clash with names of the test framework.
#pragma once

#include <FL/Fl_Widget.H>

#include <string>

#include "HtmlDialogForm.h"
#include "TextDialogForm.h"

namespace kavrel::test {

// The page the HTML dialog's view holds, empty when none.
std::string PageText(platform::THtmlDialogForm& form);
// The folder the view resolves relative links against, empty when none.
std::string PageFolder(platform::THtmlDialogForm& form);
// Loads a name into the view as following a link to it does.
void FollowLink(platform::THtmlDialogForm& form, const std::string& name);

// The text area as a widget.
Fl_Widget& TextArea(platform::TTextDialogForm& form);
// The y coordinate at which the text area draws the character at `position`.
int TextTop(platform::TTextDialogForm& form, int position);

}  // namespace kavrel::test
