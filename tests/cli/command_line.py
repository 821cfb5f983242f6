#!/usr/bin/python3
"""The kavrel command line as scripts and people meet it: its exit statuses
from real runs, --json, --quiet, the progress line on a terminal, --version,
the help and the manual page.

    command_line.py KAVREL_PROGRAM
"""
import json
import os
import pty
import select
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
KAVREL = None


class Site:
    """A control file and its files on the HTTP test server, and a machine
    (an application folder with a temporary folder, home and hives of its own)."""

    def __init__(self):
        self.root = tempfile.TemporaryDirectory(prefix="kavrel-cli-")
        self.www, self.app = (os.path.join(self.root.name, n) for n in ("www", "app"))
        for folder in ("www", "app", "temp", "home", "hives"):
            os.mkdir(os.path.join(self.root.name, folder))
        self.server = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "..", "servers", "http_server.py"), self.www],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.base = "http://127.0.0.1:%s/" % self.server.stdout.readline().split()[1]
        self.env = dict(os.environ, TMPDIR=os.path.join(self.root.name, "temp"),
                        HOME=os.path.join(self.root.name, "home"),
                        KAVREL_REGISTRY_DIR=os.path.join(self.root.name, "hives"))

    def close(self):
        self.server.terminate()
        self.server.wait()
        self.server.stdin.close()
        self.server.stdout.close()
        self.root.cleanup()

    def publish(self, update, files=(), action=""):
        """update.ini with the [update] lines, an [action] section and entries
        that fetch the given server paths into the application folder."""
        ini = "[update]\r\n" + update + action + "[files]\r\ncount=%d\r\n" % len(files)
        for i, path in enumerate(files, 1):
            ini += "[file%d]\r\nurl=%s%s\r\ntargetdir=%s\r\n" % (i, self.base, path, self.app)
        with open(os.path.join(self.www, "update.ini"), "w", newline="") as f:
            f.write(ini)

    def args(self, *extra, control="update.ini"):
        return [KAVREL, "run", "-p", "URL=" + self.base + control, "-p", "UpdateUpdate=kvuSilent",
                *extra]

    def run(self, *extra, control="update.ini"):
        return subprocess.run(self.args(*extra, control=control), cwd=self.app, env=self.env,
                              capture_output=True, text=True, timeout=120)


class CommandLineTest(unittest.TestCase):
    def setUp(self):
        self.site = Site()

    def tearDown(self):
        self.site.close()

    def test_each_exit_status_comes_from_a_real_run(self):
        s = self.site
        with open(os.path.join(s.app, "app.dat"), "w") as f:
            f.write("abc")
        current = "localversion=%s\r\nnewsize=3\r\n" % os.path.join(s.app, "app.dat")
        cases = [  # (what, [update] lines, [action] section, run options, status)
            ("updated", "unconditional=1\r\n", "", [], 0),
            ("no update needed", current, "", [], 5),
            ("refused", "unconditional=1\r\n", "[action]\r\nquery=Go on?\r\n",
             ["--answers", "no"], 4),
            ("refused: no to fetching the files", "unconditional=1\r\n", "",
             ["-p", "UpdateUpdate=kvuPromptOnce", "--answers", "no"], 4),
            ("failed: no control file", "", "", ["-p", "URL=" + s.base + "missing.ini"], 1),
            ("usage", "", "", ["-p", "NoSuchProperty=1"], 2),
        ]
        for what, update, action, options, status in cases:
            with self.subTest(what):
                s.publish(update, ["gen/100/new.dat"], action)
                r = s.run(*options)
                self.assertEqual(r.returncode, status, r.stdout + r.stderr)

    def test_a_cancelled_run_ends_with_3(self):
        s = self.site
        s.publish("unconditional=1\r\n", ["slow-100-1024/gen/1000000/big.dat"])
        with subprocess.Popen(s.args(), cwd=s.app, env=s.env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True) as run:
            for line in run.stdout:  # until the transfer has started
                if line.startswith("[915]") and "big.dat" in line:
                    break
            run.send_signal(signal.SIGINT)
            self.assertEqual(run.wait(timeout=60), 3)
        self.assertFalse(os.path.exists(os.path.join(s.app, "big.dat")))

    def test_json_and_quiet(self):
        s = self.site
        s.publish("unconditional=1\r\n", ["gen/100/new.dat"])
        r = s.run("--json")
        self.assertEqual(r.returncode, 0, r.stderr)
        checked = subprocess.run([sys.executable, "-m", "json.tool", "--json-lines"],
                                 input=r.stdout, capture_output=True, text=True)
        self.assertEqual(checked.returncode, 0, checked.stderr + r.stdout)
        objects = [json.loads(line) for line in r.stdout.splitlines()]
        self.assertTrue(all(o["type"] == "status" for o in objects[:-1]))
        self.assertIn(948, [o["id"] for o in objects[:-1]])
        self.assertEqual(objects[-1], {"type": "summary", "status": 0, "outcome": "updated",
                                       "messages": len(objects) - 1})
        failed = s.run("--json", control="missing.ini")
        self.assertEqual(json.loads(failed.stdout.splitlines()[-1])["outcome"], "failed")
        quiet = s.run("--quiet")
        self.assertEqual((quiet.returncode, quiet.stdout), (0, ""))
        self.assertEqual(s.run("--quiet", "--json").returncode, 2)

    def test_the_progress_line_shows_on_a_terminal_only(self):
        s = self.site
        s.publish("unconditional=1\r\n", ["slow-20-65536/gen/2000000/big.dat"])
        pid, fd = pty.fork()
        if pid == 0:
            os.chdir(s.app)
            os.execve(KAVREL, s.args(), s.env)
        seen = b""
        while True:
            ready, _, _ = select.select([fd], [], [], 60)
            try:
                chunk = os.read(fd, 4096) if ready else b""
            except OSError:  # the terminal closed with the program's end
                chunk = b""
            if not chunk:
                break
            seen += chunk
        os.close(fd)
        _, status = os.waitpid(pid, 0)
        text = seen.decode("utf-8", "replace")
        self.assertEqual(os.waitstatus_to_exitcode(status), 0, text)
        self.assertRegex(text, r"\rbig\.dat  [0-9.]+ [KM]iB of 1\.9 MiB  [0-9.]+ [KM]iB/s  "
                               r"[0-9]+:[0-9]{2} left")
        # Wiped before the next message: that message starts a clean line.
        self.assertRegex(text, r"\r +\r\[9[0-9]{2}\]")
        piped = s.run()
        self.assertEqual(piped.returncode, 0)
        self.assertNotIn("\r", piped.stdout)

    def test_version_help_and_manual(self):
        def run(*args):
            return subprocess.run([KAVREL, *args], capture_output=True, text=True)
        version = run("--version")
        self.assertRegex(version.stdout, r"^kavrel [0-9]+\.[0-9]+\.[0-9]+\n$")
        for args in (["help", "publish"], ["publish", "--help"]):
            self.assertTrue(run(*args).stdout.startswith("usage: kavrel publish [--from OLD]"))
        self.assertEqual(run("help", "nosuch").returncode, 2)
        everything = run("--help").stdout
        manual = run("help", "--man").stdout
        self.assertTrue(manual.startswith(".TH KAVREL 1"))
        for name in ("run", "fetch", "publish", "lint", "diff"):
            self.assertIn("\n  %s " % name, everything)
            self.assertIn("\\fB%s\\fR" % name, manual)
        if subprocess.run(["which", "man"], capture_output=True).returncode == 0:
            with tempfile.NamedTemporaryFile("w", suffix=".1") as page:
                page.write(manual)
                page.flush()
                shown = subprocess.run(["man", "-l", page.name], capture_output=True, text=True,
                                       env=dict(os.environ, MANWIDTH="80"))
                self.assertIn("no update needed", shown.stdout)


if __name__ == "__main__":
    KAVREL = os.path.abspath(sys.argv.pop(1))
    unittest.main()
