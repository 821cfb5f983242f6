// The C interface. Every function that reaches the engine catches whatever
// it raises: nothing unwinds into a caller that cannot take it, and the
// reason waits in the handle for kavrel_last_error.
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "CallbackEngine.h"
#include "PropertyTable.h"
#include "UpdateJournal.h"

struct kavrel_engine {
  kavrel::capi::TCallbackEngine Engine;
  std::string LastError;
  int Calls = 0;               // runs and handoffs under way
  bool FreeRequested = false;  // by a callback of one of them
};

namespace {

void Destroy(kavrel_t* k) { std::unique_ptr<kavrel_engine> owned(k); }

int Refuse(kavrel_t* k, std::string why) {
  k->LastError = std::move(why);
  return KAVREL_BAD_ARGUMENT;
}

// Keeps why a call failed, as far as memory allows.
void Remember(kavrel_t* k, const char* why) noexcept {
  try {
    k->LastError = why;
  } catch (...) {
    k->LastError.clear();
  }
}

// Runs `body` on a valid handle, with the last error cleared first; an error
// it raises fails the call.
template <typename Body>
int Guarded(kavrel_t* k, Body body) {
  if (k == nullptr) return KAVREL_BAD_ARGUMENT;
  k->LastError.clear();
  try {
    return body();
  } catch (const std::exception& e) {
    Remember(k, e.what());
  } catch (...) {
    Remember(k, "an unknown error ended the call");
  }
  return KAVREL_FAILED;
}

// A call that runs the engine's steps, whose callbacks may free the handle:
// it is freed once the outermost such call has returned.
template <typename Body>
int Running(kavrel_t* k, Body body) {
  if (k == nullptr) return KAVREL_BAD_ARGUMENT;
  ++k->Calls;
  const int result = Guarded(k, body);
  if (--k->Calls == 0 && k->FreeRequested) Destroy(k);
  return result;
}

template <typename Function>
void Assign(kavrel_t* k, kavrel::capi::TCallback<Function> kavrel::capi::TCallbackEngine::*slot,
            Function call, void* context) {
  if (k != nullptr) k->Engine.*slot = {call, context};
}

}  // namespace

extern "C" {

const char* kavrel_version(void) { return KAVREL_VERSION_TEXT; }

kavrel_t* kavrel_new(void) {
  try {
    return std::make_unique<kavrel_engine>().release();
  } catch (...) {
    return nullptr;
  }
}

void kavrel_free(kavrel_t* k) {
  if (k == nullptr) return;
  if (k->Calls > 0)
    k->FreeRequested = true;
  else
    Destroy(k);
}

int kavrel_set(kavrel_t* k, const char* name, const char* value) {
  return Guarded(k, [&]() -> int {
    if (name == nullptr || value == nullptr) return Refuse(k, "no property name or value given");
    if (auto refusal = kavrel::SetPropertyFromText(k->Engine, name, value))
      return Refuse(k, std::move(*refusal));
    return KAVREL_OK;
  });
}

int kavrel_get(kavrel_t* k, const char* name, char* buffer, size_t size) {
  return Guarded(k, [&]() -> int {
    if (name == nullptr || (buffer == nullptr && size > 0))
      return Refuse(k, "no property name or buffer given");
    const auto value = kavrel::GetPropertyAsText(k->Engine, name);
    if (!value) return Refuse(k, "unknown property " + std::string(name));
    if (value->size() >= size) {
      if (size > 0) buffer[0] = '\0';
      k->LastError = "property " + std::string(name) + " needs a buffer of " +
                     std::to_string(value->size() + 1) + " bytes";
      return KAVREL_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, value->c_str(), value->size() + 1);
    return KAVREL_OK;
  });
}

size_t kavrel_get_size(kavrel_t* k, const char* name) {
  size_t size = 0;
  Guarded(k, [&]() -> int {
    if (name == nullptr) return Refuse(k, "no property name given");
    const auto value = kavrel::GetPropertyAsText(k->Engine, name);
    if (!value) return Refuse(k, "unknown property " + std::string(name));
    size = value->size() + 1;
    return KAVREL_OK;
  });
  return size;
}

void kavrel_on_status(kavrel_t* k, kavrel_status_fn fn, void* context) {
  if (k != nullptr) k->Engine.SetStatusCallback({fn, context});
}
void kavrel_on_progress(kavrel_t* k, kavrel_progress_fn fn, void* context) {
  Assign(k, &kavrel::capi::TCallbackEngine::Progress, fn, context);
}
void kavrel_on_message_box(kavrel_t* k, kavrel_message_box_fn fn, void* context) {
  Assign(k, &kavrel::capi::TCallbackEngine::MessageBox, fn, context);
}
void kavrel_on_login(kavrel_t* k, kavrel_login_fn fn, void* context) {
  Assign(k, &kavrel::capi::TCallbackEngine::Login, fn, context);
}
void kavrel_on_whats_new(kavrel_t* k, kavrel_text_fn fn, void* context) {
  Assign(k, &kavrel::capi::TCallbackEngine::WhatsNew, fn, context);
}
void kavrel_on_license(kavrel_t* k, kavrel_text_fn fn, void* context) {
  Assign(k, &kavrel::capi::TCallbackEngine::License, fn, context);
}
void kavrel_on_close(kavrel_t* k, kavrel_close_fn fn, void* context) {
  Assign(k, &kavrel::capi::TCallbackEngine::Close, fn, context);
}

int kavrel_run(kavrel_t* k) {
  return Running(k, [&]() -> int {
    if (k->Engine.Running()) return Refuse(k, "a run of this engine is under way");
    return k->Engine.Run();
  });
}

void kavrel_cancel(kavrel_t* k) {
  if (k != nullptr) k->Engine.Cancel();
}

int kavrel_restart(kavrel_t* k) {
  return Running(k, [&]() -> int {
    if (!k->Engine.HasRun()) return Refuse(k, "no run of this engine to hand over");
    return k->Engine.HandOver() ? KAVREL_OK : KAVREL_FAILED;
  });
}

int kavrel_confirm(kavrel_t* k) {
  return Guarded(k, [] {
    kavrel::ConfirmStart();
    return KAVREL_OK;
  });
}

int kavrel_handed_over(const kavrel_t* k) { return k != nullptr && k->Engine.HandedOver(); }

int kavrel_last_status(const kavrel_t* k, const char** text, int* status, int* error) {
  if (k == nullptr) return 0;
  const kavrel::capi::TStatusRecord& last = k->Engine.LastStatus();
  if (text != nullptr) *text = last.Text.c_str();
  if (status != nullptr) *status = last.Status;
  if (error != nullptr) *error = last.Error;
  return last.Id;
}

const char* kavrel_last_error(const kavrel_t* k) {
  return k != nullptr ? k->LastError.c_str() : "no engine given";
}

}  // extern "C"
