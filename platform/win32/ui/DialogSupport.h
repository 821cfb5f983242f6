// What the dialogs built in code share: a modal dialog from an empty template
// in memory, whose procedure creates its controls at pixel places when it
// starts, the dialogs' font, placement and pictures.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "BmpPicture.h"

namespace kavrel::platform::win32 {

// A dialog template without controls, menu, class, title or font.
struct alignas(4) TEmptyDialogTemplate {
  DLGTEMPLATE Header{};
  WORD Menu = 0, Class = 0, Title = 0;
  explicit TEmptyDialogTemplate(DWORD style) { Header.style = style; }
};

// Runs a modal dialog of the given window style; the procedure gets the
// parameter with WM_INITDIALOG and builds the controls there. Returns the
// value given to EndDialog, or -1 when the dialog could not be made. The
// dialog has no owner: it belongs to the application, and the thread's other
// windows stay as they are.
INT_PTR RunCodeDialog(DLGPROC procedure, LPARAM parameter, DWORD style);

// "MS Sans Serif" 11 pixels high (8 points at 96 pixels per inch); made once
// and kept for the life of the program.
HFONT DialogFont();

// A child control at client pixels, with the dialogs' font and the text
// given (UTF-8).
HWND AddControl(HWND parent, const wchar_t* windowClass, std::string_view text, DWORD style, int id,
                int x, int y, int width, int height, DWORD extendedStyle = 0);

// Gives a window its outer size and centres it on the primary screen's work area.
void PlaceCentred(HWND window, int outerWidth, int outerHeight);

// A bitmap with the picture's pixels; null when none can be made.
HBITMAP BitmapOf(const TRgbPicture& picture);

// The window's text as UTF-8, exactly as it holds it.
std::string WindowText(HWND window);

}  // namespace kavrel::platform::win32
