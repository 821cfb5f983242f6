#!/usr/bin/env python3
"""A host of the Kavrel update engine in Python, through its C interface.

    update.py [--yes] LIBRARY URL [NAME=VALUE]...

LIBRARY is the engine's shared library (libkavrel.so.2, libkavrel.dll), URL
the address of the update control file. Each NAME=VALUE sets a property of
the engine as `kavrel run -p NAME=VALUE` does (UpdateType=fileUpdate,
UpdateUpdate=kvuSilent). The update runs in the current folder; each status
message is printed as `kavrel run` prints it, and the progress of each file
as "[progress] FILE POSITION/SIZE" at every tenth of it. The exit status is
the run's: 0 updated, 1 failed, 2 a bad argument, 3 cancelled, 4 refused,
5 no update needed.

With --yes every question is answered Yes and the what's-new text and the
licence are accepted; without it the engine's own interface answers them
(questions No, texts declined). When the run hands over to the updater stub,
the program says so and ends, so that the stub can replace its files.
"""

import ctypes
import sys

ANSWER_OK, ANSWER_YES = 1, 3
BUTTONS_YES_NO = 2

STATUS = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_int,
                          ctypes.c_int)
PROGRESS = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int64,
                            ctypes.c_int64)
MESSAGE_BOX = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p,
                               ctypes.c_int, ctypes.c_int)
TEXT = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p)
CLOSE = ctypes.CFUNCTYPE(None, ctypes.c_void_p)


def load(path):
    """The library with the types of the functions used here."""
    lib = ctypes.CDLL(path)
    handle = ctypes.c_void_p
    lib.kavrel_version.restype = ctypes.c_char_p
    lib.kavrel_new.restype = handle
    lib.kavrel_free.argtypes = [handle]
    lib.kavrel_set.argtypes = [handle, ctypes.c_char_p, ctypes.c_char_p]
    lib.kavrel_run.argtypes = [handle]
    lib.kavrel_last_error.argtypes = [handle]
    lib.kavrel_last_error.restype = ctypes.c_char_p
    for name, kind in (("status", STATUS), ("progress", PROGRESS),
                       ("message_box", MESSAGE_BOX), ("whats_new", TEXT),
                       ("license", TEXT), ("close", CLOSE)):
        getattr(lib, "kavrel_on_" + name).argtypes = [handle, kind, ctypes.c_void_p]
    return lib


def text(value):
    return value.decode("utf-8", errors="replace")


def main(args):
    yes = "--yes" in args
    args = [a for a in args if a != "--yes"]
    if len(args) < 2 or any("=" not in a for a in args[2:]):
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    lib = load(args[0])
    engine = lib.kavrel_new()
    try:
        for setting in [f"URL={args[1]}"] + args[2:]:
            name, value = setting.split("=", 1)
            if lib.kavrel_set(engine, name.encode(), value.encode()) != 0:
                print(f"update.py: {text(lib.kavrel_last_error(engine))}", file=sys.stderr)
                return 2

        @STATUS
        def on_status(_, ident, message, status, error):
            print(f"[{ident}] {text(message)} (Status:{status}) (Error:{error})", flush=True)

        shown = {}  # the tenth of each file printed last

        @PROGRESS
        def on_progress(_, file, position, size):
            tenth = position * 10 // size if size > 0 else 0
            if shown.get(file) != tenth:
                shown[file] = tenth
                print(f"[progress] {text(file)} {position}/{size}", flush=True)

        @MESSAGE_BOX
        def on_message_box(_, message, caption, kind, buttons):
            print(f"[box] {text(caption)}: {text(message)}", flush=True)
            return ANSWER_YES if buttons == BUTTONS_YES_NO else ANSWER_OK

        @TEXT
        def on_text(_, caption, lines):
            print(f"[text] {text(caption)}\n{text(lines)}", end="", flush=True)
            return 1

        @CLOSE
        def on_close(_):
            print("[handoff] the updater finishes once this program has ended", flush=True)

        lib.kavrel_on_status(engine, on_status, None)
        lib.kavrel_on_progress(engine, on_progress, None)
        lib.kavrel_on_close(engine, on_close, None)
        if yes:
            lib.kavrel_on_message_box(engine, on_message_box, None)
            lib.kavrel_on_whats_new(engine, on_text, None)
            lib.kavrel_on_license(engine, on_text, None)
        status = lib.kavrel_run(engine)
        if status == 1 and lib.kavrel_last_error(engine):
            print(f"update.py: {text(lib.kavrel_last_error(engine))}", file=sys.stderr)
        return status
    finally:
        lib.kavrel_free(engine)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
