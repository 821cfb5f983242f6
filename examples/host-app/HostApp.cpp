// A program that updates itself through the Kavrel engine's C interface.
//
//     host-app [CONTROL-FILE-ADDRESS]
//
// At start it opens its window and asks the update site whether a newer
// version is published (the address from the command line, else from
// HOST_APP_UPDATE_URL). When one is, the window shows "Update available" with
// the control file's what's-new text and an "Update now" button; the button
// fetches the new program with a progress bar, and the updater stub the
// engine carries replaces this program once it has ended and starts the new
// version. Closing the window cancels the check or the transfer and ends the
// program. The update works on the current folder: start the program in its
// own. The engine's log is KAVREL.LOG in the user's documents folder.
#include <kavrel.h>

#include <cstdlib>
#include <string>

#include "HostWindow.h"

#ifndef HOST_VERSION
#define HOST_VERSION "1"
#endif

namespace {

// Where this program's publisher keeps its control file.
const char kControlFile[] = "https://updates.example.com/host-app/update.ini";

struct Host {
  HostWindow& window;
  kavrel_t* engine;
  bool handedOver = false;  // the updater stub waits for this program to end
};

Host& HostOf(void* context) { return *static_cast<Host*>(context); }

// The engine's callbacks, each on the window's thread between the run's steps.

void OnStatus(void* context, int, const char* text, int, int) {
  Host& host = HostOf(context);
  host.window.ShowStatus(text);
  if (host.window.Closed()) kavrel_cancel(host.engine);
}

void OnProgress(void* context, const char* file, int64_t position, int64_t size) {
  Host& host = HostOf(context);
  host.window.ShowProgress(file, position, size);
  if (host.window.Closed()) kavrel_cancel(host.engine);
}

// The control file's [whatsnew] text is this program's offer of the update:
// accepting it is the user's consent to fetch and install.
int OnWhatsNew(void* context, const char* caption, const char* text) {
  Host& host = HostOf(context);
  host.window.ShowStatus("Update available");
  return host.window.OfferUpdate(caption, text) ? 1 : 0;
}

int OnMessageBox(void* context, const char* text, const char* caption, int, int buttons) {
  const bool yes = HostOf(context).window.Ask(caption, text, buttons != KAVREL_BUTTONS_OK);
  if (buttons == KAVREL_BUTTONS_YES_NO) return yes ? KAVREL_ANSWER_YES : KAVREL_ANSWER_NO;
  return yes ? KAVREL_ANSWER_OK : KAVREL_ANSWER_CANCEL;
}

// The updater stub has started: it replaces this program once it has ended.
void OnClose(void* context) { HostOf(context).handedOver = true; }

std::string LastStatus(kavrel_t* engine) {
  const char* text = "";
  kavrel_last_status(engine, &text, nullptr, nullptr);
  return text;
}

// What the status line says once the run has ended without a handoff.
std::string Outcome(int status, kavrel_t* engine) {
  switch (status) {
    case KAVREL_NO_UPDATE:
      return "Version " HOST_VERSION " is up to date";
    case KAVREL_UPDATED:
      return "Updated";
    case KAVREL_REFUSED:
      return "Not updated";
    case KAVREL_CANCELLED:
      return "Cancelled";
    default:
      return "The update failed: " + LastStatus(engine);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* address = argc > 1 ? argv[1] : std::getenv("HOST_APP_UPDATE_URL");
  if (address == nullptr || *address == '\0') address = kControlFile;

  std::unique_ptr<HostWindow> window = OpenHostWindow("Host App " HOST_VERSION);
  Host host{*window, kavrel_new()};
  if (host.engine == nullptr) return 1;
  // Accepting the what's-new offer is the only question before the transfer.
  if (kavrel_set(host.engine, "URL", address) != KAVREL_OK ||
      kavrel_set(host.engine, "UpdateUpdate", "kvuSilent") != KAVREL_OK ||
      kavrel_set(host.engine, "Logging", "True") != KAVREL_OK) {
    window->Ask("Host App", kavrel_last_error(host.engine), false);
    kavrel_free(host.engine);
    return 2;
  }
  kavrel_on_status(host.engine, OnStatus, &host);
  kavrel_on_progress(host.engine, OnProgress, &host);
  kavrel_on_whats_new(host.engine, OnWhatsNew, &host);
  kavrel_on_message_box(host.engine, OnMessageBox, &host);
  kavrel_on_close(host.engine, OnClose, &host);

  window->ShowStatus("Checking for updates...");
  const int status = kavrel_run(host.engine);
  // A run that fetched the new program has handed over to the updater stub
  // already; one whose restart question was answered No did not.
  const bool restart = host.handedOver;
  if (restart) window->ShowStatus("Restarting into the new version...");
  if (!restart && !window->Closed()) {
    window->ShowStatus(Outcome(status, host.engine));
    window->Run();
  }
  kavrel_free(host.engine);
  return restart || status == KAVREL_NO_UPDATE ? 0 : status;
}
