// A one-line edit box for passwords that shows every character as "*" (the
// toolkit's own secret input draws a bullet instead).
//
// The box is the toolkit's secret input, so the keyboard edits the real text
// and copying or cutting puts nothing of it on the clipboard. For drawing and
// for the mouse the box briefly holds the mask, one "*" per character, so
// that the cursor, the selection and the places the mouse points at all agree
// with what is shown, and a mouse selection offers only asterisks.
#pragma once

#include <FL/Fl_Input.H>

#include <string_view>

namespace kavrel::platform {

// The number of characters that start before a byte offset of UTF-8 text.
int CharactersBefore(std::string_view text, int byteOffset);
// The byte offset at which the given character of UTF-8 text starts; the
// text's length for counts past its end.
int ByteOffsetOf(std::string_view text, int characters);

class TMaskedInput : public Fl_Input {
 public:
  static constexpr char kMaskCharacter = '*';

  TMaskedInput(int x, int y, int w, int h, const char* label = nullptr);
  int handle(int event) override;

 protected:
  void draw() override;

 private:
  // Runs an operation of the plain input while the box holds the mask, then
  // puts the real text back with the cursor and the selection carried over.
  template <class Operation>
  void WithMask(Operation operation);
};

}  // namespace kavrel::platform
