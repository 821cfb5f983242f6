// The host application's window on FLTK: a status line, the "Update
// available" area (hidden until an update is offered) and a progress bar.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>

#include "HostWindow.h"

namespace {

class FltkHostWindow final : public HostWindow {
 public:
  explicit FltkHostWindow(const std::string& title) : title_(title) {
    // The window owns its widgets and deletes them with itself.
    window_ = new Fl_Window(440, 330);
    window_->label(title_.c_str());
    status_ = new Fl_Box(15, 10, 410, 30);
    status_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);

    offer_ = new Fl_Group(15, 45, 410, 230);
    offer_->box(FL_ENGRAVED_BOX);
    auto* heading = new Fl_Box(25, 50, 390, 25, "Update available");
    heading->labelfont(FL_BOLD);
    heading->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    caption_ = new Fl_Box(25, 75, 390, 20);
    caption_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    text_ = new Fl_Text_Display(25, 100, 390, 130);
    text_->buffer(&buffer_);
    text_->wrap_mode(Fl_Text_Display::WRAP_AT_BOUNDS, 0);
    update_ = new Fl_Button(295, 238, 120, 28, "Update now");
    update_->callback(
        [](Fl_Widget*, void* self) { static_cast<FltkHostWindow*>(self)->accepted_ = true; }, this);
    offer_->end();
    offer_->hide();

    progress_ = new Fl_Progress(15, 287, 410, 26);
    progress_->selection_color(fl_rgb_color(110, 165, 230));
    progress_->minimum(0);
    progress_->maximum(1);
    window_->end();
    // The close control (and Escape) ends the program, whatever it is doing.
    window_->callback(
        [](Fl_Widget* window, void* self) {
          static_cast<FltkHostWindow*>(self)->closed_ = true;
          window->hide();
        },
        this);
    window_->show();
    Fl::check();
  }

  ~FltkHostWindow() override {
    delete window_;  // before the text buffer it shows
  }

  void ShowStatus(const std::string& text) override {
    status_->copy_label(text.c_str());
    Fl::check();
  }

  void ShowProgress(const std::string& file, std::int64_t position, std::int64_t size) override {
    const double done = size > 0 ? static_cast<double>(position) / static_cast<double>(size) : 0;
    const std::string name = file.substr(file.find_last_of("/\\") + 1);
    progress_->value(static_cast<float>(done));
    progress_->copy_label(
        (name + "  " + std::to_string(static_cast<int>(done * 100)) + " %").c_str());
    Fl::check();
  }

  bool OfferUpdate(const std::string& caption, const std::string& text) override {
    caption_->copy_label(caption.c_str());
    buffer_.text(text.c_str());
    offer_->show();
    update_->activate();
    accepted_ = false;
    while (!accepted_ && !closed_) Fl::wait();
    update_->deactivate();  // the update runs now, or the program ends
    Fl::check();
    return accepted_;
  }

  bool Ask(const std::string& caption, const std::string& text, bool question) override {
    fl_message_title(caption.c_str());
    if (!question) {
      fl_message("%s", text.c_str());
      return true;
    }
    return fl_choice("%s", "No", "Yes", nullptr, text.c_str()) == 1;
  }

  bool Closed() override {
    Fl::check();
    return closed_;
  }

  void Run() override {
    while (!closed_) Fl::wait();
  }

 private:
  std::string title_;
  Fl_Text_Buffer buffer_;
  Fl_Window* window_ = nullptr;
  Fl_Box* status_ = nullptr;
  Fl_Group* offer_ = nullptr;
  Fl_Box* caption_ = nullptr;
  Fl_Text_Display* text_ = nullptr;
  Fl_Button* update_ = nullptr;
  Fl_Progress* progress_ = nullptr;
  bool accepted_ = false;
  bool closed_ = false;
};

}  // namespace

std::unique_ptr<HostWindow> OpenHostWindow(const std::string& title) {
  return std::make_unique<FltkHostWindow>(title);
}
