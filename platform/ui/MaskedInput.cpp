#include "MaskedInput.h"

#include <FL/Fl.H>

#include <string>

namespace kavrel::platform {

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

int CharactersBefore(std::string_view text, int byteOffset) {
  int count = 0;
  for (int i = 0; i < static_cast<int>(text.size()) && i < byteOffset; ++i)
    if (!IsContinuationByte(text[i])) ++count;
  return count;
}

int ByteOffsetOf(std::string_view text, int characters) {
  int seen = 0;
  for (int i = 0; i < static_cast<int>(text.size()); ++i) {
    if (IsContinuationByte(text[i])) continue;
    if (seen == characters) return i;
    ++seen;
  }
  return static_cast<int>(text.size());
}

TMaskedInput::TMaskedInput(int x, int y, int w, int h, const char* label)
    : Fl_Input(x, y, w, h, label) {
  type(FL_SECRET_INPUT);
}

template <class Operation>
void TMaskedInput::WithMask(Operation operation) {
  // The plain input type draws the mask's asterisks as they are and measures
  // mouse positions by their width.
  type(FL_NORMAL_INPUT);
  if (size() == 0) {
    operation();
    type(FL_SECRET_INPUT);
    return;
  }
  const std::string real(value(), static_cast<std::size_t>(size()));
  const bool wasChanged = changed();
  const int realPosition = position();
  const int realMark = mark();

  // Both texts are set with their lengths, which makes the box copy them.
  const std::string mask(static_cast<std::size_t>(CharactersBefore(real, size())), kMaskCharacter);
  Fl_Input::value(mask.data(), static_cast<int>(mask.size()));
  Fl_Input::position(CharactersBefore(real, realPosition), CharactersBefore(real, realMark));
  operation();
  const int maskPosition = Fl_Input::position();
  const int maskMark = Fl_Input::mark();

  Fl_Input::value(real.data(), static_cast<int>(real.size()));
  Fl_Input::position(ByteOffsetOf(real, maskPosition), ByteOffsetOf(real, maskMark));
  if (wasChanged)
    set_changed();
  else
    clear_changed();
  type(FL_SECRET_INPUT);
}

void TMaskedInput::draw() {
  WithMask([this] {
    // Partial redraws are tracked in offsets of the real text; draw it all.
    clear_damage(FL_DAMAGE_ALL);
    Fl_Input::draw();
  });
}

int TMaskedInput::handle(int event) {
  const bool mouse = event == FL_PUSH || event == FL_DRAG || event == FL_RELEASE;
  // The middle button pastes; what it pastes belongs in the real text.
  if (!mouse || Fl::event_button() == FL_MIDDLE_MOUSE) return Fl_Input::handle(event);

  // No dragging of the selection out of the box: the drag would run its own
  // event loop while the box holds the mask.
  const int dragText = Fl::dnd_text_ops();
  Fl::dnd_text_ops(0);
  int handled = 0;
  WithMask([&] { handled = Fl_Input::handle(event); });
  Fl::dnd_text_ops(dragText);
  return handled;
}

}  // namespace kavrel::platform
