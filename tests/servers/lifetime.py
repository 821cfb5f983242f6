"""What the test servers share: when to stop, and how to announce the port."""

import os
import signal
import sys
import threading


def stop_event():
    """An event set on SIGTERM or SIGINT, or when stdin closes (the test
    process that started the server went away)."""
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    def watch_stdin():
        # Raw reads: a buffered reader would hold its lock while blocked and
        # upset the interpreter's shutdown.
        try:
            while os.read(0, 4096):
                pass
        except OSError:
            pass
        stop.set()

    threading.Thread(target=watch_stdin, daemon=True).start()
    return stop


def run(main):
    """Runs the server's main and ends the process with its code, without the
    interpreter's shutdown: the stdin watcher may still be blocked in read."""
    code = main()
    sys.stdout.flush()
    sys.stderr.flush()
    os._exit(code)


def announce_port(port):
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()
