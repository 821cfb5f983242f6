"""Starts the test servers for test programs that cannot start a Linux program
themselves: Windows programs under Wine.

    python3 starter.py

prints "PORT n" and then serves 127.0.0.1:n. A test program connects and
sends one line, the script's name and its arguments separated by tabs; a
Windows path among the arguments ("Z:\\tmp\\x", "C:\\users\\...") is turned
into the Linux path Wine maps it to. The starter runs the script as the test
would, answers with the script's own "PORT n" line and keeps the server
running until the test program closes the connection.
"""

import os
import socket
import subprocess
import threading

import lifetime

SERVERS = os.path.dirname(os.path.abspath(__file__))
# The system's interpreter, which has the packages the servers need, as the
# Linux tests use it.
PYTHON = "/usr/bin/python3"


def linux_path(arg):
    """The Linux path of a Windows drive path, through Wine's drive links."""
    if len(arg) < 3 or not arg[0].isalpha() or arg[1] != ":" or arg[2] not in "\\/":
        return arg
    prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
    drive = os.path.realpath(os.path.join(prefix, "dosdevices", arg[0].lower() + ":"))
    return os.path.join(drive, arg[3:].replace("\\", "/"))


def serve(connection):
    with connection:
        reader = connection.makefile("rb")
        fields = reader.readline().decode("utf-8").rstrip("\r\n").split("\t")
        if not fields or os.path.basename(fields[0]) != fields[0]:
            connection.sendall(b"ERROR bad request\n")
            return
        command = [PYTHON, os.path.join(SERVERS, fields[0])]
        command += [linux_path(a) for a in fields[1:]]
        server = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            line = server.stdout.readline()
            if not line.startswith(b"PORT "):
                # Told as the tests' own servers tell a server that ended at once.
                code = server.wait(5)
                connection.sendall(b"ERROR exited with code %d\n" % code)
                return
            connection.sendall(line)
            # The rest of its output is drained, so that it never blocks on it.
            threading.Thread(target=server.stdout.read, daemon=True).start()
            while reader.read(4096):
                pass
        except OSError:
            pass
        finally:
            server.stdin.close()
            server.terminate()
            try:
                server.wait(5)
            except subprocess.TimeoutExpired:
                server.kill()
                server.wait()


def main():
    stop = lifetime.stop_event()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    listener.settimeout(0.2)
    lifetime.announce_port(listener.getsockname()[1])
    while not stop.is_set():
        try:
            connection, _ = listener.accept()
        except socket.timeout:
            continue
        connection.settimeout(None)
        threading.Thread(target=serve, args=(connection,), daemon=True).start()
    return 0


if __name__ == "__main__":
    lifetime.run(main)
