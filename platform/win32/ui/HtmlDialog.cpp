#include <ole2.h>
#include <urlmon.h>
// After the OLE headers, which it needs.
#include <mshtmhst.h>

#include <stdexcept>
#include <string>

#include "WideText.h"
#include "Win32Dialogs.h"

namespace kavrel::platform::win32 {

namespace {

using TCreateUrlMoniker = HRESULT(WINAPI*)(IMoniker*, LPCWSTR, IMoniker**, DWORD);

// A library loaded for one dialog and let go afterwards.
class TLibrary {
 public:
  explicit TLibrary(const wchar_t* name) : module_(LoadLibraryW(name)) {}
  ~TLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  TLibrary(const TLibrary&) = delete;
  TLibrary& operator=(const TLibrary&) = delete;
  template <class TFunction>
  TFunction Find(const char* name) const {
    if (module_ == nullptr) return nullptr;
    return reinterpret_cast<TFunction>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

std::string ResultText(HRESULT result) {
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words = text != nullptr ? text : L"";
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' || words.back() == L' '))
    words.pop_back();
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
  return words.empty() ? std::string(code) : Utf8(words) + " (" + code + ")";
}

// A location names its scheme before a colon; a drive letter is no scheme. A
// path is made whole, so that it does not depend on what the moniker takes
// for the current folder.
std::wstring PageLocation(std::string_view address) {
  std::wstring wide = Wide(address);
  const std::size_t colon = wide.find(L':');
  bool scheme = colon != std::wstring::npos && colon > 1;
  for (std::size_t i = 0; scheme && i < colon; ++i)
    scheme = iswalnum(wide[i]) || wide[i] == L'+' || wide[i] == L'-' || wide[i] == L'.';
  if (scheme || wide.empty()) return wide;
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return wide;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  full.resize(length < size ? length : 0);
  return full.empty() ? wide : full;
}

// COM in this thread for as long as the dialog is open, if it was not already.
class TComScope {
 public:
  TComScope() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~TComScope() {
    if (initialised_) OleUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

 private:
  bool initialised_;
};

}  // namespace

bool ShowHtmlPage(std::string_view address) {
  const TLibrary mshtml(L"MSHTML.DLL");
  const auto showDialog = mshtml.Find<SHOWHTMLDIALOGFN*>("ShowHTMLDialog");
  if (showDialog == nullptr) return false;
  const TLibrary urlmon(L"urlmon.dll");
  const auto createMoniker = urlmon.Find<TCreateUrlMoniker>("CreateURLMonikerEx");
  if (createMoniker == nullptr) return false;

  const TComScope com;
  IMoniker* moniker = nullptr;
  const std::wstring location = PageLocation(address);
  const HRESULT made = createMoniker(nullptr, location.c_str(), &moniker, URL_MK_UNIFORM);
  if (FAILED(made) || moniker == nullptr)
    throw std::runtime_error("Cannot make a moniker for " + std::string(address) + ": " +
                             ResultText(made));
  VARIANT in, out;
  VariantInit(&in);
  VariantInit(&out);
  in.vt = VT_BSTR;
  in.bstrVal = SysAllocString(L"");
  // Returns when the user has closed the dialog.
  const HRESULT shown = showDialog(nullptr, moniker, &in, nullptr, &out);
  VariantClear(&in);
  VariantClear(&out);
  moniker->Release();
  if (FAILED(shown))
    throw std::runtime_error("Cannot show the page " + std::string(address) + ": " +
                             ResultText(shown));
  return true;
}

}  // namespace kavrel::platform::win32
