"""Makes a cabinet with Debian's gcab for a Windows test program, which under
Wine cannot learn how a Linux program it started ended.

    make_cabinet.py FOLDER CABINET [-z] NAME...

runs "gcab -c [-z] CABINET NAME..." in FOLDER. Once the cabinet is written it
prints "PORT 1", the line the starter passes on as a success, and waits for
the starter to close its stdin; when gcab fails it prints gcab's complaint on
stderr and ends without that line.
"""

import subprocess
import sys

import lifetime


def main():
    folder, cabinet, rest = sys.argv[1], sys.argv[2], sys.argv[3:]
    options = [a for a in rest[:1] if a == "-z"]
    names = rest[len(options):]
    done = subprocess.run(["/usr/bin/gcab", "-c", *options, cabinet, *names], cwd=folder)
    if done.returncode != 0:
        return 1
    stop = lifetime.stop_event()
    lifetime.announce_port(1)
    stop.wait()
    return 0


if __name__ == "__main__":
    lifetime.run(main)
