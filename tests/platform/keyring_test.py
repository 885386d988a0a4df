#!/usr/bin/env python3
"""The JRDB login against a real Secret Service: GNOME Keyring, started unlocked in the private
D-Bus session that CTest's dbus-run-session gives this script.

    keyring_test.py VELT_CLI VELT_PLATFORM_TESTS

velt-cli --jrdb-login is answered on a pseudo-terminal; the password must not be echoed, must be
in no process's arguments and in no file under the settings or data folder, and --jrdb-logout
must forget it. Without a terminal, or without a Secret Service, it fails saying what to do.
"""

import os
import pty
import select
import subprocess
import sys
import tempfile
import time

CLI, PLATFORM_TESTS = sys.argv[1], sys.argv[2]
LOGIN_ID, PASSWORD = "会員42", "秘密-Pass 9"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def password_in_cmdlines():
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if PASSWORD.encode() in f.read():
                    found.append(pid)
        except OSError:
            pass
    return found


def read_until(fd, text, seconds=20):
    seen = b""
    deadline = time.time() + seconds
    while text.encode() not in seen and time.time() < deadline:
        if select.select([fd], [], [], 0.2)[0]:
            try:
                seen += os.read(fd, 4096)
            except OSError:
                break
    return seen.decode("utf-8", "replace")


def login_on_terminal(env):
    """velt-cli --jrdb-login with the answers typed on a pty; (exit code, what the pty showed)."""
    master, slave = pty.openpty()
    proc = subprocess.Popen([CLI, "--jrdb-login"], stdin=slave, stdout=slave, stderr=slave,
                            env=env, close_fds=True)
    os.close(slave)
    shown = read_until(master, "ID: ")
    os.write(master, (LOGIN_ID + "\n").encode())
    shown += read_until(master, "): ")
    check(not password_in_cmdlines(), "no process has the password in its arguments")
    os.write(master, (PASSWORD + "\n").encode())
    code = proc.wait(timeout=30)
    shown += read_until(master, "\n", 1)
    os.close(master)
    return code, shown


def lookup(env):
    result = subprocess.run(["secret-tool", "lookup", "service", "jrdb"], env=env,
                            capture_output=True)
    return result.stdout.decode()


def files_holding_password(*folders):
    hits = []
    for folder in folders:
        for base, _, names in os.walk(folder):
            for name in names:
                path = os.path.join(base, name)
                try:
                    with open(path, "rb") as f:
                        if PASSWORD.encode() in f.read():
                            hits.append(path)
                except OSError:
                    pass
    return hits


def main():
    home = tempfile.mkdtemp(prefix="velt-keyring-")
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=home + "/data",
               XDG_CONFIG_HOME=home + "/config", XDG_RUNTIME_DIR=home, LC_ALL="C.UTF-8")
    for name in ("VELT_JRDB_ID", "VELT_JRDB_PASSWORD"):
        env.pop(name, None)
    os.makedirs(home + "/data")
    daemon = subprocess.Popen(["gnome-keyring-daemon", "--foreground", "--unlock",
                               "--components=secrets"], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, env=env)
    daemon.stdin.write(b"keyring-password")
    daemon.stdin.close()
    daemon.stdout.read()  # closed once the daemon is set up
    try:
        return run_cases(env, home)
    finally:
        daemon.terminate()
        daemon.wait()


def run_cases(env, home):
    probe = ["secret-tool", "store", "--label=probe", "velt-probe", "1"]
    for _ in range(100):  # until the keyring is unlocked and takes an item
        if subprocess.run(probe, input=b"x", env=env, capture_output=True).returncode == 0:
            break
        time.sleep(0.1)
    subprocess.run(["secret-tool", "clear", "velt-probe", "1"], env=env)

    result = subprocess.run([PLATFORM_TESTS, "--gtest_filter=Credentials.*"],
                            env=dict(env, VELT_TEST_KEYRING="1"), capture_output=True, text=True)
    check(result.returncode == 0 and "SKIPPED" not in result.stdout,
          "the store, replace and forget steps pass:\n" + result.stdout[-2000:])

    code, shown = login_on_terminal(env)
    check(code == 0, "--jrdb-login on a terminal succeeds: " + shown)
    check(PASSWORD not in shown, "the password is not echoed")
    check(LOGIN_ID in shown and "保存しました" in shown, "the stored ID is named: " + shown)
    check(lookup(env) == LOGIN_ID + "\n" + PASSWORD, "the Secret Service holds the login")
    attributes = subprocess.run(["secret-tool", "search", "--all", "service", "jrdb"], env=env,
                                capture_output=True, text=True).stdout
    check(all(PASSWORD not in line for line in attributes.splitlines()
              if line.startswith(("label", "attribute"))), "the password is in no attribute")
    settings = os.path.dirname(CLI)
    check(not files_holding_password(settings, home + "/config", home + "/data"),
          "the password is in no file: %s" % files_holding_password(settings, home + "/config"))

    # Each case: extra environment, stdin, exit code, a text the output must hold.
    no_bus = {"DBUS_SESSION_BUS_ADDRESS": "unix:path=" + home + "/no-bus"}
    scripted = {"VELT_JRDB_ID": "script-id", "VELT_JRDB_PASSWORD": PASSWORD}
    cases = [
        (["--jrdb-logout"], {}, 0, "消しました"),
        (["--jrdb-logout"], {}, 0, "保存されていません"),
        (["--jrdb-login"], {}, 1, "VELT_JRDB_ID と VELT_JRDB_PASSWORD"),  # no terminal
        (["--jrdb-login"], scripted, 0, "script-id"),
        (["--jrdb-login"], dict(no_bus, **scripted), 1, "Secret Service がありません"),
        (["--jrdb-logout"], {}, 0, "消しました"),
    ]
    for args, extra, want_code, want_text in cases:
        run = subprocess.run([CLI, *args], env=dict(env, **extra), stdin=subprocess.DEVNULL,
                             capture_output=True, text=True, timeout=60)
        output = run.stdout + run.stderr
        check(run.returncode == want_code and want_text in output,
              "%s %s: exit %d, %r" % (args, sorted(extra), run.returncode, output))
        check(PASSWORD not in output, "no message shows the password")
    check(lookup(env) == "", "nothing is left stored")
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
