#include "SplashWindow.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/extensions/shape.h>

#include <cstring>
#include <vector>

#include "SplashPicture.h"

namespace kavrel::launcher {

namespace {

constexpr int kPictureLeft = 0, kPictureTop = -5, kPictureWidth = 470, kPictureHeight = 240;
constexpr int kBarLeft = 32, kBarTop = 216, kBarWidth = 401, kBarHeight = 10;

// The window's font: Tahoma where the system has it, else the toolkit's sans.
Fl_Font FormFont() {
  const int count = Fl::set_fonts(nullptr);
  for (int i = 0; i < count; ++i) {
    const char* name = Fl::get_font_name(static_cast<Fl_Font>(i));
    if (name != nullptr && std::strcmp(name, "Tahoma") == 0) return static_cast<Fl_Font>(i);
  }
  return FL_HELVETICA;
}

}  // namespace

void TPictureBox::draw() {
  if (image() == nullptr) return;
  fl_push_clip(x(), y(), w(), h());
  image()->draw(x(), y());
  fl_pop_clip();
}

TSplashWindow::TSplashWindow()
    : Fl_Double_Window((Fl::w() - kWidth) / 2, (Fl::h() - kHeight) / 2, kWidth, kHeight,
                       "Auto Update"),
      checkListBox1_(312, 242, 153, 188),
      image1_(kPictureLeft, kPictureTop, kPictureWidth, kPictureHeight),
      label2_(232, 197, 31, 13, "Label2"),
      progressBar1_(kBarLeft, kBarTop, kBarWidth, kBarHeight) {
  end();
  border(0);
  // Escape does not close the splash, as a window without a title bar has no
  // keyboard way to close; the window manager's close request does.
  callback([](Fl_Widget* window, void*) {
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    auto* splash = static_cast<TSplashWindow*>(window);
    if (splash->CloseRequested)
      splash->CloseRequested();
    else
      splash->hide();
  });
  xclass("kavrel-launcher");
  color(fl_rgb_color(128, 128, 0));
  const Fl_Font font = FormFont();
  checkListBox1_.textfont(font);
  checkListBox1_.textsize(11);
  checkListBox1_.deactivate();
  checkListBox1_.hide();
  image1_.box(FL_NO_BOX);
  label2_.labelfont(font);
  label2_.labelsize(11);
  label2_.deactivate();
  label2_.hide();
  progressBar1_.box(FL_THIN_DOWN_BOX);
  progressBar1_.color(fl_rgb_color(230, 230, 230));
  progressBar1_.selection_color(fl_rgb_color(6, 176, 37));
  progressBar1_.minimum(0);
  progressBar1_.maximum(100);
  progressBar1_.value(0);
}

void TSplashWindow::LoadPicture(const std::string& path) {
  picture_ = LoadSplashPicture(path);
  image1_.image(picture_.get());
  image1_.redraw();
  if (shown()) ApplyShape();
}

void TSplashWindow::ShowProgress(int maximum, int position) {
  // A range of nothing draws as an empty bar.
  progressBar1_.maximum(static_cast<float>(maximum > 0 ? maximum : 1));
  progressBar1_.value(static_cast<float>(maximum > 0 ? position : 0));
}

void TSplashWindow::show() {
  Fl_Double_Window::show();
  ApplyShape();
  ShowInTaskbar();
}

// The toolkit keeps borderless windows out of the taskbar, as it would a menu;
// the splash wants its button, so that a user finds it behind other windows.
// A managed window's state is changed by asking the window manager.
void TSplashWindow::ShowInTaskbar() {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = fl_xid(this);
  event.xclient.message_type = XInternAtom(fl_display, "_NET_WM_STATE", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = 0;  // _NET_WM_STATE_REMOVE
  event.xclient.data.l[1] =
      static_cast<long>(XInternAtom(fl_display, "_NET_WM_STATE_SKIP_TASKBAR", False));
  event.xclient.data.l[3] = 1;  // asked by an application
  XSendEvent(fl_display, RootWindow(fl_display, fl_screen), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(fl_display);
}

int TSplashWindow::handle(int event) {
  // The whole window works as a title bar: a press anywhere drags it.
  switch (event) {
    case FL_PUSH:
      grabX_ = Fl::event_x_root() - x();
      grabY_ = Fl::event_y_root() - y();
      return 1;
    case FL_DRAG:
      position(Fl::event_x_root() - grabX_, Fl::event_y_root() - grabY_);
      return 1;
    case FL_RELEASE:
      return 1;
    default:
      return Fl_Double_Window::handle(event);
  }
}

// The shape: a pixel is part of the window unless it is olive, the colour of
// the background and of whatever of the picture is to be see-through. The
// controls that are not olive (the progress bar) are part of it too.
void TSplashWindow::ApplyShape() {
  const int rowBytes = (kWidth + 7) / 8;
  std::vector<unsigned char> mask(static_cast<std::size_t>(rowBytes) * kHeight, 0);
  const auto opaque = [&](int x, int y) {
    mask[static_cast<std::size_t>(y) * rowBytes + x / 8] |=
        static_cast<unsigned char>(1 << (x % 8));
  };
  if (picture_ && picture_->d() >= 3) {
    const auto* pixels = reinterpret_cast<const unsigned char*>(picture_->data()[0]);
    const int depth = picture_->d();
    const int line = picture_->ld() > 0 ? picture_->ld() : picture_->w() * depth;
    for (int y = 0; y < kHeight; ++y) {
      const int py = y - kPictureTop;
      if (py < 0 || py >= picture_->h() || py >= kPictureHeight) continue;
      for (int x = 0; x < kWidth && x < picture_->w() && x < kPictureWidth; ++x)
        if (!IsOlive(pixels + py * line + x * depth)) opaque(x, y);
    }
  }
  for (int y = kBarTop; y < kBarTop + kBarHeight; ++y)
    for (int x = kBarLeft; x < kBarLeft + kBarWidth; ++x) opaque(x, y);

  const Window window = fl_xid(this);
  if (window == 0) return;
  const Pixmap bitmap = XCreateBitmapFromData(
      fl_display, window, reinterpret_cast<const char*>(mask.data()), kWidth, kHeight);
  XShapeCombineMask(fl_display, window, ShapeBounding, 0, 0, bitmap, ShapeSet);
  XFreePixmap(fl_display, bitmap);
  XFlush(fl_display);
}

}  // namespace kavrel::launcher
