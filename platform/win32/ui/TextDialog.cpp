#include <string>

#include "DialogSupport.h"
#include "WideText.h"
#include "Win32Dialogs.h"

namespace kavrel::platform::win32 {

namespace {

constexpr int kOuterSize = 400;
constexpr int kMargin = 10;
// The default sizes of a push button and of a choice.
constexpr int kButtonWidth = 75, kButtonHeight = 25;
constexpr int kChoiceWidth = 113, kChoiceHeight = 17;
constexpr int kAcceptId = 201, kRefuseId = 202, kMemoId = 203;

struct TTextState {
  const TTextDialog* Texts = nullptr;
  bool License = false;
  bool Accepted = false;
};

// The lines as the edit control shows them: CR LF between lines, and a NUL
// (which would end the text) as a blank.
std::wstring JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  for (char& c : text)
    if (c == '\0') c = ' ';
  return Wide(text);
}

void Build(HWND dialog, const TTextState& state) {
  const TTextDialog& texts = *state.Texts;
  SetWindowTextW(dialog, Wide(texts.Caption).c_str());
  PlaceCentred(dialog, kOuterSize, kOuterSize);
  RECT client{};
  GetClientRect(dialog, &client);
  const int memoWidth = client.right - 2 * kMargin;
  const int memoHeight = client.bottom - 60;
  const int memoRight = kMargin + memoWidth;
  const int top = kMargin + memoHeight + kMargin;

  // Created in tab order: OK, then Cancel or the two choices, then the text.
  HWND ok = nullptr;
  if (!state.License) {
    ok = AddControl(dialog, L"BUTTON", texts.OkCaption, WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON,
                    IDOK, memoRight - 2 * kButtonWidth - kMargin, top, kButtonWidth, kButtonHeight);
    AddControl(dialog, L"BUTTON", texts.CancelCaption, WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL,
               memoRight - kButtonWidth, top, kButtonWidth, kButtonHeight);
  } else {
    ok = AddControl(dialog, L"BUTTON", texts.OkCaption, WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON,
                    IDOK, memoRight - kButtonWidth, top, kButtonWidth, kButtonHeight);
    // Exclusive with each other: one group of automatic choices.
    AddControl(dialog, L"BUTTON", texts.AcceptCaption, WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON,
               kAcceptId, kMargin, top, kChoiceWidth, kChoiceHeight);
    HWND refuse =
        AddControl(dialog, L"BUTTON", texts.NotAcceptCaption, BS_AUTORADIOBUTTON, kRefuseId,
                   2 * kMargin + kChoiceWidth, top, kChoiceWidth, kChoiceHeight);
    SendMessageW(refuse, BM_SETCHECK, BST_CHECKED, 0);
  }
  HWND memo =
      AddControl(dialog, L"EDIT", "",
                 WS_TABSTOP | WS_GROUP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                 kMemoId, kMargin, kMargin, memoWidth, memoHeight, WS_EX_CLIENTEDGE);
  // Set apart from creation: a long text goes beyond the default limit.
  SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);
  SetWindowTextW(memo, JoinLines(texts.Lines).c_str());
  SetFocus(ok);
  SetForegroundWindow(dialog);
}

INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      Build(dialog, *reinterpret_cast<TTextState*>(lParam));
      return FALSE;  // the focus is set
    case WM_COMMAND: {
      auto& state = *reinterpret_cast<TTextState*>(GetWindowLongPtrW(dialog, DWLP_USER));
      const int id = LOWORD(wParam);
      if (id != IDOK && id != IDCANCEL) return FALSE;
      // OK, Cancel, Escape and the close box all end it; the licence is
      // accepted by its choice, the what's-new text by OK alone.
      if (state.License)
        state.Accepted = IsDlgButtonChecked(dialog, kAcceptId) == BST_CHECKED;
      else
        state.Accepted = id == IDOK;
      EndDialog(dialog, id);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

bool Run(const TTextDialog& texts, bool license) {
  TTextState state;
  state.Texts = &texts;
  state.License = license;
  // A fixed dialog frame with only the close control in the title bar.
  RunCodeDialog(Procedure, reinterpret_cast<LPARAM>(&state),
                WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
  return state.Accepted;
}

}  // namespace

bool RunWhatsNewDialog(const TTextDialog& dialog) { return Run(dialog, false); }

bool RunLicenseDialog(const TTextDialog& dialog) { return Run(dialog, true); }

}  // namespace kavrel::platform::win32
