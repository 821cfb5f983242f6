#include "DialogSupport.h"

#include "WideText.h"

namespace kavrel::platform::win32 {

INT_PTR RunCodeDialog(DLGPROC procedure, LPARAM parameter, DWORD style) {
  TEmptyDialogTemplate dialog(style);
  return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &dialog.Header, nullptr, procedure,
                                 parameter);
}

HFONT DialogFont() {
  static const HFONT font =
      CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
  return font;
}

HWND AddControl(HWND parent, const wchar_t* windowClass, std::string_view text, DWORD style, int id,
                int x, int y, int width, int height, DWORD extendedStyle) {
  HWND control = CreateWindowExW(extendedStyle, windowClass, Wide(text).c_str(),
                                 WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  if (control != nullptr)
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
  return control;
}

void PlaceCentred(HWND window, int outerWidth, int outerHeight) {
  RECT area{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0))
    area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const int left = area.left + (area.right - area.left - outerWidth) / 2;
  const int top = area.top + (area.bottom - area.top - outerHeight) / 2;
  SetWindowPos(window, nullptr, left, top, outerWidth, outerHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

HBITMAP BitmapOf(const TRgbPicture& picture) {
  if (picture.Width <= 0 || picture.Height <= 0) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = picture.Width;
  info.bmiHeader.biHeight = -picture.Height;  // the top row first, as the pixels are
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) return bitmap;
  // Rows of a bitmap are padded to four bytes and hold blue, green, red.
  const std::size_t stride = (static_cast<std::size_t>(picture.Width) * 3 + 3) & ~std::size_t{3};
  auto* out = static_cast<unsigned char*>(bits);
  for (int y = 0; y < picture.Height; ++y)
    for (int x = 0; x < picture.Width; ++x) {
      const std::uint8_t* rgb =
          &picture.Pixels[(static_cast<std::size_t>(y) * picture.Width + x) * 3];
      unsigned char* bgr = out + y * stride + static_cast<std::size_t>(x) * 3;
      bgr[0] = rgb[2];
      bgr[1] = rgb[1];
      bgr[2] = rgb[0];
    }
  GdiFlush();
  return bitmap;
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return Utf8(text);
}

}  // namespace kavrel::platform::win32
