#include "UpdateLog.h"

#include <mutex>

#include "Errors.h"
#include "Files.h"
#include "Folders.h"
#include "PathNames.h"

namespace kavrel {

namespace {

std::mutex gLogNameMutex;
std::string gLogName;

}  // namespace

void SetCurrentLogName(std::string_view name) {
  std::lock_guard lock(gLogNameMutex);
  gLogName = name;
}

std::string CurrentLogName() {
  std::lock_guard lock(gLogNameMutex);
  return gLogName;
}

std::string LogFilePath(std::string_view name) {
  if (name.find_first_of("\\/:") != std::string_view::npos) return std::string(name);
  const std::string documents = platform::DocumentsFolder();
  if (documents.empty()) return std::string(name);
  std::string path = documents;
  if (!platform::EndsWithSeparator(path)) path += platform::kNativeSeparator;
  return path + std::string(name);
}

void LogWriteLine(std::string_view line) { AppendLogLine(LogFilePath(CurrentLogName()), line); }

void AppendLogLine(const std::string& path, std::string_view line) {
  int error = 0;
  // Never through a link, never onto another user's file; a new log is this
  // user's alone.
  auto file = platform::TFile::Open(path, platform::TFile::Mode::AppendOwn, &error);
  if (!file && platform::IsErrorKind(error, platform::TErrorKind::NotFound)) {
    file = platform::TFile::Open(path, platform::TFile::Mode::CreateNewPrivate, &error);
    // Another writer (the engine, the updater stub) may have created it just now.
    if (!file && platform::IsErrorKind(error, platform::TErrorKind::AlreadyExists))
      file = platform::TFile::Open(path, platform::TFile::Mode::AppendOwn, &error);
  }
  if (!file)
    throw platform::EInOutError(
        "Cannot write the update log " + path + ": " + platform::SystemErrorText(error), error);
  std::string text(line);
  text += "\r\n";
  file->Write(text);
  file->Close();
}

std::string FormatStatusLine(int ident, std::string_view message, int statusCode, int errCode) {
  std::string line = "[" + std::to_string(ident) + "] ";
  line += message;
  line += " (Status:" + std::to_string(statusCode) + ") (Error:" + std::to_string(errCode) + ")";
  return line;
}

std::string FormatLogLine(TDateTime when, const TFormatSettings& settings, int ident,
                          std::string_view message, int statusCode, int errCode) {
  return FormatDateTime("dd/mm/yyyy hh:nn:ss", when, settings) + " : " +
         FormatStatusLine(ident, message, statusCode, errCode);
}

}  // namespace kavrel
