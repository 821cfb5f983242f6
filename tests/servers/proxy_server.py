#!/usr/bin/python3
"""A web proxy for the transfer tests: Debian's tinyproxy, run in the foreground.

    proxy_server.py [--user NAME --password SECRET]

Listens on 127.0.0.1 on a free port, prints "PORT <n>" as its first line on
stdout, and serves until it receives SIGTERM or SIGINT or its stdin is closed.
It serves clients on 127.0.0.1 only and adds its "Via" header to every request
it passes on, so a server can tell a request came through it. With --user it
asks for Basic proxy authentication (407 without the right pair). An ftp
location is not served: tinyproxy answers it with "400 Bad Request".
"""

import argparse
import os
import socket
import subprocess
import sys
import tempfile
import time

import lifetime  # noqa: E402 (beside this script)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.2):
            return True
    except OSError:
        return False


def start(folder, args):
    """Starts tinyproxy on a fresh port; another program may take the port
    between choosing and binding it, so a few ports are tried."""
    for _ in range(5):
        port = free_port()
        config = os.path.join(folder, "tinyproxy.conf")
        with open(config, "w") as f:
            f.write("Port %d\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\n"
                    "MaxClients 20\nLogLevel Error\nLogFile \"%s\"\n"
                    % (port, os.path.join(folder, "tinyproxy.log")))
            if args.user is not None:
                f.write("BasicAuth %s %s\n" % (args.user, args.password))
        child = subprocess.Popen(["tinyproxy", "-d", "-c", config], stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and child.poll() is None:
            if listening(port):
                return child, port
            time.sleep(0.05)
        child.kill()
        child.wait()
    raise RuntimeError("tinyproxy did not start")


def main():
    parser = argparse.ArgumentParser(description="web proxy for the transfer tests")
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    args = parser.parse_args()
    stop = lifetime.stop_event()
    with tempfile.TemporaryDirectory() as folder:
        child, port = start(folder, args)
        lifetime.announce_port(port)
        while not stop.wait(0.2):
            if child.poll() is not None:
                sys.stderr.write("proxy_server: tinyproxy ended\n")
                return 1
        child.terminate()
        try:
            child.wait(timeout=5)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()
    return 0


if __name__ == "__main__":
    lifetime.run(main)
