/* The Kavrel update engine's C interface: one engine per handle, configured
 * through its published properties by name, performing update runs on the
 * caller's thread.
 *
 * Text is UTF-8 throughout, on every system. No function raises an error
 * across this interface: a failing call returns a status, and
 * kavrel_last_error tells why. A handle is used by one thread at a time
 * (kavrel_cancel excepted), and a process runs one update at a time: the log
 * name and the user interface the callbacks stand in for are the process's. */
#ifndef KAVREL_H
#define KAVREL_H

#include <stddef.h>
#include <stdint.h>

#include "kavrel/KavrelExport.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What the functions return. kavrel_run returns the first six, as the exit
 * status of `kavrel run` does. */
enum {
  KAVREL_OK = 0,              /* done */
  KAVREL_UPDATED = 0,         /* the update applied and every file is in place */
  KAVREL_FAILED = 1,          /* the run failed: its statuses say why, or kavrel_last_error */
  KAVREL_BAD_ARGUMENT = 2,    /* an unknown property, a value that does not fit, a null handle */
  KAVREL_CANCELLED = 3,       /* the run was cancelled */
  KAVREL_REFUSED = 4,         /* a question was answered No, a text or licence declined */
  KAVREL_NO_UPDATE = 5,       /* the control file found this machine current */
  KAVREL_BUFFER_TOO_SMALL = 6 /* kavrel_get: see kavrel_get_size */
};

/* The kinds of message box, their buttons, and the answers to them. */
enum { KAVREL_BOX_INFORMATION, KAVREL_BOX_WARNING, KAVREL_BOX_ERROR, KAVREL_BOX_CONFIRMATION };
enum { KAVREL_BUTTONS_OK, KAVREL_BUTTONS_OK_CANCEL, KAVREL_BUTTONS_YES_NO };
enum {
  KAVREL_ANSWER_NONE,
  KAVREL_ANSWER_OK,
  KAVREL_ANSWER_CANCEL,
  KAVREL_ANSWER_YES,
  KAVREL_ANSWER_NO
};

/* The longest user name and password a login callback may give, in bytes,
 * without the terminating NUL. */
#define KAVREL_LOGIN_FIELD_SIZE 1024

typedef struct kavrel_engine kavrel_t; /* opaque */

/* Each status message as the run reports it: its number (926 "Update control
 * file found"), its text with its argument, its status code and its error
 * code, as `kavrel run` prints "[926] Update control file found (Status:3)
 * (Error:0)". */
typedef void (*kavrel_status_fn)(void* context, int id, const char* text, int status, int error);
/* A transfer's progress: the file's name, the bytes so far and the file's
 * size (0 when the server announced none). */
typedef void (*kavrel_progress_fn)(void* context, const char* file, int64_t position, int64_t size);
/* A message box or question (KAVREL_BOX_*, KAVREL_BUTTONS_*); returns a
 * KAVREL_ANSWER_*. */
typedef int (*kavrel_message_box_fn)(void* context, const char* text, const char* caption, int kind,
                                     int buttons);
/* The login dialog: `user` and `password` hold the values so far, NUL-terminated,
 * in buffers of KAVREL_LOGIN_FIELD_SIZE + 1 bytes, to be replaced by the
 * entered ones. Returns nonzero to log in, 0 to cancel. */
typedef int (*kavrel_login_fn)(void* context, const char* caption, char* user, char* password);
/* The what's-new text or the licence: its caption and its lines, each ended
 * by "\n". Returns nonzero to accept, 0 to decline. */
typedef int (*kavrel_text_fn)(void* context, const char* caption, const char* text);
/* The engine's request that the host end now: the updater stub has started
 * and waits for this process to end before it replaces its files. */
typedef void (*kavrel_close_fn)(void* context);

/* The library's version, "MAJOR.MINOR.PATCH". */
KAVREL_API const char* kavrel_version(void);

/* A new engine with its defaults; NULL when there is no memory for one. */
KAVREL_API kavrel_t* kavrel_new(void);
/* Frees an engine; NULL is ignored. Called during the engine's own run (from
 * one of its callbacks), it frees the engine once the run has returned. */
KAVREL_API void kavrel_free(kavrel_t* engine);

/* Sets a published property by its name ("UpdateType", "PostUpdateInfo.Server";
 * names match without regard to case) from its text form, as `kavrel run -p
 * NAME=VALUE` does: Booleans True or False, enumerations by their value names
 * (fileUpdate), integers in decimal. KAVREL_BAD_ARGUMENT, with the reason in
 * kavrel_last_error and the engine unchanged, for an unknown name or a value
 * that does not fit. */
KAVREL_API int kavrel_set(kavrel_t* engine, const char* name, const char* value);
/* Copies a property's value in the same text form, NUL-terminated, into
 * `buffer` of `size` bytes. KAVREL_BAD_ARGUMENT for an unknown name;
 * KAVREL_BUFFER_TOO_SMALL, with the buffer left empty (when size > 0), when
 * the value and its NUL do not fit: the buffer must be kavrel_get_size bytes
 * large. */
KAVREL_API int kavrel_get(kavrel_t* engine, const char* name, char* buffer, size_t size);
/* The size a buffer for kavrel_get must have for the property's current
 * value: its length in bytes plus one. 0 for an unknown name. */
KAVREL_API size_t kavrel_get_size(kavrel_t* engine, const char* name);

/* Callbacks, each with a context pointer handed back to it unchanged. A null
 * function removes the callback. Without a callback for a question or dialog,
 * the user interface in force answers it: the engine's headless one (boxes
 * printed on the standard error stream, questions answered No, logins
 * cancelled, texts declined) unless the host installed another. */
KAVREL_API void kavrel_on_status(kavrel_t* engine, kavrel_status_fn fn, void* context);
KAVREL_API void kavrel_on_progress(kavrel_t* engine, kavrel_progress_fn fn, void* context);
KAVREL_API void kavrel_on_message_box(kavrel_t* engine, kavrel_message_box_fn fn, void* context);
KAVREL_API void kavrel_on_login(kavrel_t* engine, kavrel_login_fn fn, void* context);
KAVREL_API void kavrel_on_whats_new(kavrel_t* engine, kavrel_text_fn fn, void* context);
KAVREL_API void kavrel_on_license(kavrel_t* engine, kavrel_text_fn fn, void* context);
KAVREL_API void kavrel_on_close(kavrel_t* engine, kavrel_close_fn fn, void* context);

/* Performs one update run on the caller's thread and returns how it ended
 * (KAVREL_UPDATED, _FAILED, _CANCELLED, _REFUSED, _NO_UPDATE).
 * KAVREL_BAD_ARGUMENT when a run of this engine is under way already. When
 * the run fetched application components, it ends with the restart handoff
 * (see kavrel_restart). */
KAVREL_API int kavrel_run(kavrel_t* engine);
/* Cancels the run under way as the user's cancel does: the transfer under way
 * is abandoned and nothing it fetched replaces a file. May be called from a
 * callback of the run or from another thread; the next run starts afresh. */
KAVREL_API void kavrel_cancel(kavrel_t* engine);

/* Hands over to the updater stub, as a host does once the run has reported
 * 948 "Finished processing update control file" or found no file to update:
 * after the question "Shutdown application to update executable files ?"
 * (none with the control file's silentrestart=1) the stub is written to the
 * temporary folder and started; it waits for this process to end, puts the
 * fetched components in place and starts the application again. The close
 * callback then hears that this process should end. KAVREL_OK when a stub of
 * this run has started (once per run), KAVREL_FAILED otherwise (the question
 * answered No, or an error: kavrel_last_error). */
KAVREL_API int kavrel_restart(kavrel_t* engine);
/* Confirms that the application, restarted by the updater stub after an
 * update whose control file asks for it ("confirm=1" in [application]), has
 * started well; without it the stub rolls the update back once the health
 * check's time is up. The installation is the current folder's, as for a
 * run. KAVREL_OK, or KAVREL_FAILED when the confirmation cannot be written. */
KAVREL_API int kavrel_confirm(kavrel_t* engine);
/* 1 when the last run or kavrel_restart started the updater stub, else 0. */
KAVREL_API int kavrel_handed_over(const kavrel_t* engine);

/* The last status message reported: its number, or 0 when there was none yet.
 * Its text, status code and error code are stored through the pointers that
 * are not null; the text stays valid until the next call on this engine. */
KAVREL_API int kavrel_last_status(const kavrel_t* engine, const char** text, int* status,
                                  int* error);
/* Why the last call of kavrel_set, _get, _get_size, _run or _restart on this
 * engine failed: a refused argument, or an error that ended the run (a file
 * that could not be written); "" when it did not fail, or failed by the run's
 * own account, which its statuses tell. The text stays valid until the next
 * call on this engine. */
KAVREL_API const char* kavrel_last_error(const kavrel_t* engine);

#ifdef __cplusplus
}
#endif

#endif /* KAVREL_H */
