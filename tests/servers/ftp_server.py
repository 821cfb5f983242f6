#!/usr/bin/python3
"""FTP server for the transfer tests (pyftpdlib).

    ftp_server.py ROOT --user NAME --password SECRET [--read-limit BYTES]
                  [--no-anonymous] [--verbose]

Listens on 127.0.0.1 on a free port, prints "PORT <n>" as its first line on
stdout, and serves until it receives SIGTERM or SIGINT or its stdin is closed
(so it also ends when the test process that started it goes away).

- NAME with SECRET has full access to ROOT (list, read, write, delete, rename,
  make folders); "anonymous" (any password) may list and read ROOT, unless
  --no-anonymous is given.
- Passive data connections listen on 127.0.0.1 on free ports chosen by the
  system; active mode works as pyftpdlib provides it.
- --read-limit throttles downloads to about BYTES per second, so a test can
  cancel a transfer while it runs.
- --drop-after BYTES closes every download's data connection once that many
  bytes have gone, as a network that drops it would (the control connection
  then tells "426").
- "SITE DATALOG" (no login needed) answers "200" followed by how each data
  connection served so far was made, oldest first, each "active" (the server
  connected to the address of a PORT or EPRT) or "passive" (the client
  connected after PASV or EPSV), separated by blanks.
"""

import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

import lifetime  # noqa: E402 (beside this script)


def main():
    parser = argparse.ArgumentParser(description="FTP server for the transfer tests")
    parser.add_argument("root")
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--read-limit", type=int, default=0)
    parser.add_argument("--drop-after", type=int, default=0)
    parser.add_argument("--no-anonymous", action="store_true")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()

    logging.basicConfig(level=logging.DEBUG if args.verbose else logging.ERROR,
                        stream=sys.stderr)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    if not args.no_anonymous:
        authorizer.add_anonymous(args.root, perm="elr")

    data_connections = []

    def on_dtp_connection(self):
        # A passive connection comes through the acceptor PASV or EPSV opened;
        # an active one through the connector of PORT or EPRT.
        data_connections.append("passive" if self._dtp_acceptor is not None else "active")
        FTPHandler._on_dtp_connection(self)

    def site_datalog(self, _line=""):
        self.respond(" ".join(["200"] + data_connections))

    proto_cmds = dict(FTPHandler.proto_cmds)
    proto_cmds["SITE DATALOG"] = dict(
        perm=None, auth=False, arg=False,
        help="Syntax: SITE DATALOG (how each data connection was made).")
    handler = type("Handler", (FTPHandler,), {"_on_dtp_connection": on_dtp_connection,
                                              "ftp_SITE_DATALOG": site_datalog,
                                              "proto_cmds": proto_cmds})
    handler.authorizer = authorizer
    handler.banner = "Kavrel test FTP server ready."
    handler.permit_foreign_addresses = False
    handler.auth_failed_timeout = 0.1  # refuse a wrong password without the usual delay
    if args.read_limit > 0:
        dtp = type("DTPHandler", (ThrottledDTPHandler,), {})
        dtp.read_limit = args.read_limit
        handler.dtp_handler = dtp
    if args.drop_after > 0:
        base = handler.dtp_handler

        def send(self, data):
            room = args.drop_after - self.tot_bytes_sent
            if room <= 0:
                self.close()
                return 0
            return base.send(self, data[:room])

        handler.dtp_handler = type("DroppingDTPHandler", (base,), {"send": send})
        handler.use_sendfile = False  # every byte through send()

    server = FTPServer(("127.0.0.1", 0), handler)
    stop = lifetime.stop_event()

    lifetime.announce_port(server.address[1])

    # One short poll at a time, so that a stop request is seen promptly and
    # the server is closed from this thread, which owns its I/O loop.
    while not stop.is_set():
        server.ioloop.loop(timeout=0.1, blocking=False)
    server.close_all()
    return 0


if __name__ == "__main__":
    lifetime.run(main)
