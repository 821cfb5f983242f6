// The what's-new and licence dialogs on a real X server: their layout, the
// text they show, and what each way of closing them answers.
#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "DialogViews.h"
#include "FltkUserInterface.h"
#include "TextDialogForm.h"
#include "XSession.h"

namespace kavrel::test {
namespace {

using platform::TTextDialog;
using platform::TTextDialogForm;

// A long line that must wrap in a text area 374 pixels wide.
const std::string kLongLine =
    "The update brings a faster download of large files, a clearer progress display and many "
    "small corrections that users of the earlier versions have reported to us over the year.";

TTextDialog WhatsNew(const std::string& caption) {
  TTextDialog d;
  d.Caption = caption;
  d.Lines = {"Kavrel 2.0", "", kLongLine, ""};
  for (int i = 1; i <= 30; ++i) d.Lines.push_back("- correction number " + std::to_string(i));
  d.Lines.push_back("Last line");
  d.OkCaption = "Ok";
  d.CancelCaption = "Cancel";
  return d;
}

TTextDialog License(const std::string& caption) {
  TTextDialog d;
  d.Caption = caption;
  d.Lines = {"LICENCE AGREEMENT", "", kLongLine, "", "Read it all before you accept."};
  d.OkCaption = "Ok";
  d.AcceptCaption = "I accept";
  d.NotAcceptCaption = "I do not accept";
  return d;
}

TTextDialogForm* Form() { return FindShownWindow<TTextDialogForm>(); }

struct TGeometry {
  int X, Y, W, H;
  bool operator==(const TGeometry&) const = default;
};
std::ostream& operator<<(std::ostream& out, const TGeometry& g) {
  return out << g.X << "," << g.Y << " " << g.W << "x" << g.H;
}
TGeometry GeometryOf(const Fl_Widget& w) { return {w.x(), w.y(), w.w(), w.h()}; }

std::string Label(const Fl_Widget& w) { return w.label() != nullptr ? w.label() : ""; }

// Checks the open dialog against the layout both kinds share and the text it
// was given, and takes a screenshot of it.
void CheckOpenDialog(TTextDialogForm& f, const TTextDialog& d, const std::string& screenshot) {
  // 400 x 400 with a fixed dialog frame.
  EXPECT_EQ((TGeometry{0, 0, f.w(), f.h()}), (TGeometry{0, 0, 394, 375}));
  const TGeometry memo{10, 10, f.w() - 20, f.h() - 60};
  EXPECT_EQ(GeometryOf(TextArea(f)), memo);
  EXPECT_EQ(GeometryOf(f.OkButton).Y, memo.Y + memo.H + 10);
  EXPECT_EQ(Label(f), d.Caption);
  EXPECT_EQ(Label(f.OkButton), d.OkCaption);
  EXPECT_EQ(Fl::focus(), &f.OkButton) << "OK comes first in the tab order";
  std::unique_ptr<char, decltype(&std::free)> text(f.Text().text(), &std::free);
  std::string joined;
  for (std::size_t i = 0; i < d.Lines.size(); ++i) joined += (i > 0 ? "\n" : "") + d.Lines[i];
  EXPECT_EQ(text.get(), joined);
  // The first and the last character of the long line are drawn on different rows.
  const int start = static_cast<int>(joined.find(kLongLine));
  EXPECT_GT(TextTop(f, start + static_cast<int>(kLongLine.size()) - 1), TextTop(f, start))
      << "the long line wraps";
  EXPECT_TRUE(SaveScreenshot(f, screenshot)) << "no screenshot " << screenshot;
}

// How a dialog is closed: keys pressed in it, then (if asked) its close box.
struct TClosing {
  std::string Name;
  TKeys Keys;
  bool CloseBox = false;
  bool Expected = false;
};

class TextDialogTest : public TXKeyboardTest {
 protected:
  // Runs one dialog with the closing action; the answer it gave.
  bool Run(bool license, const TClosing& c, int index) {
    const std::string caption = (license ? "Licence " : "News ") + std::to_string(index);
    TDialogDriver driver;
    driver.FocusAndKeys(caption, c.Keys);
    if (c.CloseBox)
      driver.Then([] { SendCloseRequest(*Form()); }, [&driver] { return driver.KeysDone(); });
    driver.Start();
    const bool answer = license ? ui_.ShowLicenseDialog(License(caption))
                                : ui_.ShowWhatsNewDialog(WhatsNew(caption));
    EXPECT_FALSE(driver.TimedOut()) << c.Name;
    return answer;
  }

  platform::TFltkUserInterface ui_;
};

TEST_F(TextDialogTest, WhatsNewIsLaidOutAsFixedAndShowsEveryLineWrapped) {
  const TTextDialog dialog = WhatsNew("What's new in 2.0");
  TDialogDriver driver;
  // Looked at once the window is mapped and has the focus.
  driver.FocusAndKeys(dialog.Caption, {})
      .Then(
          [&] {
            TTextDialogForm& f = *Form();
            CheckOpenDialog(f, dialog, "whatsnew-dialog.png");
            const int right = TextArea(f).x() + TextArea(f).w(), top = f.OkButton.y();
            EXPECT_EQ(GeometryOf(f.CancelButton), (TGeometry{right - 75, top, 75, 25}));
            EXPECT_EQ(GeometryOf(f.OkButton), (TGeometry{right - 2 * 75 - 10, top, 75, 25}));
            EXPECT_EQ(Label(f.CancelButton), "Cancel");
            EXPECT_TRUE(f.CancelButton.visible());
            EXPECT_FALSE(f.AcceptChoice.visible() || f.RefuseChoice.visible());
          },
          [&driver] { return driver.KeysDone(); })
      .Keys({"Return"});
  driver.Start();
  EXPECT_TRUE(ui_.ShowWhatsNewDialog(dialog)) << "Enter on the focused OK button accepts";
  EXPECT_FALSE(driver.TimedOut());
}

class TextDialogLayoutTest : public TXDisplayTest {};

TEST_F(TextDialogLayoutTest, LongButtonCaptionsWidenTheirButtonsWithoutOverlapping) {
  TTextDialog dialog;
  dialog.OkCaption = "Install the new version now";
  dialog.CancelCaption = "Remind me again tomorrow morning";
  const TTextDialogForm form(platform::TTextDialogKind::WhatsNew, dialog);
  EXPECT_GT(form.OkButton.w(), TTextDialogForm::kButtonWidth);
  EXPECT_GT(form.CancelButton.w(), TTextDialogForm::kButtonWidth);
  EXPECT_LE(form.OkButton.x() + form.OkButton.w(), form.CancelButton.x()) << "no overlap";
  EXPECT_GE(form.OkButton.x(), 0);
  EXPECT_LE(form.CancelButton.x() + form.CancelButton.w(), form.w());
  // Captions past any width stay inside their halves.
  dialog.OkCaption = std::string(200, 'W');
  const TTextDialogForm huge(platform::TTextDialogKind::WhatsNew, dialog);
  EXPECT_LE(huge.OkButton.x() + huge.OkButton.w(), huge.CancelButton.x());
  EXPECT_GE(huge.OkButton.x(), 0);
}

TEST_F(TextDialogTest, WhatsNewRefusesByCancelEscapeAndTheCloseBox) {
  const std::vector<TClosing> cases = {
      {"OK pressed with space", {"space"}, false, true},
      {"Cancel", {"Tab", "Return"}, false, false},
      {"Escape", {"Escape"}, false, false},
      {"close box", {}, true, false},
  };
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(Run(false, cases[i], static_cast<int>(i)), cases[i].Expected) << cases[i].Name;
}

TEST_F(TextDialogTest, LicenseIsLaidOutAsFixedWithTheRefusalSelected) {
  const TTextDialog dialog = License("Licence for 2.0");
  TDialogDriver driver;
  driver.FocusAndKeys(dialog.Caption, {})
      .Then(
          [&] {
            TTextDialogForm& f = *Form();
            CheckOpenDialog(f, dialog, "license-dialog.png");
            const int right = TextArea(f).x() + TextArea(f).w(), top = f.OkButton.y();
            EXPECT_EQ(GeometryOf(f.OkButton), (TGeometry{right - 75, top, 75, 25}));
            EXPECT_EQ(f.AcceptChoice.x(), 10);
            EXPECT_EQ(f.AcceptChoice.y(), top);
            EXPECT_EQ(f.RefuseChoice.x(), 20 + f.AcceptChoice.w());
            EXPECT_EQ(f.RefuseChoice.y(), top);
            EXPECT_EQ(Label(f.AcceptChoice), "I accept");
            EXPECT_EQ(Label(f.RefuseChoice), "I do not accept");
            EXPECT_TRUE(f.RefuseChoice.value() && !f.AcceptChoice.value());
            EXPECT_FALSE(f.CancelButton.visible());
          },
          [&driver] { return driver.KeysDone(); })
      .Keys({"Return"});
  driver.Start();
  EXPECT_FALSE(ui_.ShowLicenseDialog(dialog)) << "OK with the preselected refusal refuses";
  EXPECT_FALSE(driver.TimedOut());
}

TEST_F(TextDialogTest, LicenseAnswersWithTheSelectedChoiceHoweverItCloses) {
  // Tab order: OK, accept, refuse, text. Space selects the focused choice.
  const TKeys selectAccept{"Tab", "space"};
  const std::vector<TClosing> cases = {
      {"accept, then OK", selectAccept + TKeys{"shift+Tab", "Return"}, false, true},
      {"accept, then Escape", selectAccept + TKeys{"Escape"}, false, true},
      {"accept, then the close box", selectAccept, true, true},
      {"accept, refuse again, then OK",
       selectAccept + TKeys{"Tab", "space", "shift+Tab", "shift+Tab", "Return"}, false, false},
      {"Escape without a choice", {"Escape"}, false, false},
      {"the close box without a choice", {}, true, false},
  };
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(Run(true, cases[i], static_cast<int>(i)), cases[i].Expected) << cases[i].Name;
}

}  // namespace
}  // namespace kavrel::test
