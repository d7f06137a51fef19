#!/usr/bin/env python3
# The bench BMC of make_fixture.py --bench (used by tools/bench/view-latency.mjs) as ipmitool
# sees it in ipmi_sim: the page benchmark's numbers stand for 300 sensors and a full SEL only
# if the simulator really holds what bench.json says. Also checks that the option leaves the
# default output (fixture.emu, fixture-sel.persist) as committed. Exits 77 (skipped) when
# ipmi_sim or ipmitool is missing.
import calendar
import fcntl
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
GENERATOR = os.path.join(HERE, "make_fixture.py")
ADDRESS = "127.0.0.1"
BOUND_S = 10
USER, PASSWORD = "admin", "vexa-admin-pw"


def run_generator(*args, cwd_script=GENERATOR):
    subprocess.run([sys.executable, cwd_script, *args], check=True, timeout=60)


def lock_within(f, seconds):
    """An exclusive flock on f, waiting at most seconds (then TimeoutError)."""
    def expired(*_):
        raise TimeoutError("the port-pick lock was held for %d s" % seconds)
    previous = signal.signal(signal.SIGALRM, expired)
    signal.setitimer(signal.ITIMER_REAL, seconds)
    try:
        fcntl.flock(f, fcntl.LOCK_EX)
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind((ADDRESS, 0))
        return s.getsockname()[1]


def presence_ping(port, timeout):
    """ASF 2.0, 3.2.4: one presence ping; True when its pong arrives within timeout."""
    ping = bytes([0x06, 0x00, 0xFF, 0x06, 0x00, 0x00, 0x11, 0xBE, 0x80, 0x5A, 0x00, 0x00])
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(timeout)
        try:
            s.sendto(ping, (ADDRESS, port))
            while True:
                data, _ = s.recvfrom(512)
                if len(data) >= 28 and data[8] == 0x40 and data[9] == 0x5A:
                    return True
        except OSError:  # refused (not bound yet) or timed out
            return False


def console(port, command):
    """One emulation command on the simulator's telnet console: read to the prompt, send,
    read to the next prompt, then close (it dies if a client leaves while it writes)."""
    with socket.create_connection((ADDRESS, port), timeout=BOUND_S) as s:
        def to_prompt():
            raw = b""
            deadline = time.monotonic() + BOUND_S
            while True:
                text = bytearray()
                i = 0
                while i < len(raw):
                    if raw[i] == 0xFF:
                        i += 3
                        continue
                    if raw[i] != 0x0D:
                        text.append(raw[i])
                    i += 1
                if text.endswith(b"> "):
                    return text.decode("latin-1")
                if time.monotonic() > deadline:
                    raise TimeoutError("no prompt from the emulator console")
                chunk = s.recv(4096)
                if not chunk:
                    raise ConnectionError("the emulator console closed")
                raw += chunk

        to_prompt()
        s.sendall(command.encode("ascii") + b"\n")
        reply = to_prompt()
    return reply[reply.find("\n") + 1:-2]


class DefaultOutput(unittest.TestCase):
    def test_default_run_writes_the_committed_fixture_and_bench_writes_only_its_folder(self):
        with tempfile.TemporaryDirectory(prefix="vexa-fixture-gen-") as work:
            script = os.path.join(work, "make_fixture.py")
            shutil.copy(GENERATOR, script)
            run_generator(cwd_script=script)
            for name in ("fixture.emu", "fixture-sel.persist"):
                with open(os.path.join(work, name), "rb") as made, \
                        open(os.path.join(HERE, name), "rb") as committed:
                    self.assertEqual(made.read(), committed.read(), name)
            os.remove(os.path.join(work, "fixture.emu"))
            os.remove(os.path.join(work, "fixture-sel.persist"))
            run_generator("--bench", os.path.join(work, "out"), cwd_script=script)
            self.assertEqual(sorted(os.listdir(work)), ["make_fixture.py", "out"])
            self.assertEqual(sorted(os.listdir(os.path.join(work, "out"))),
                             ["bench-sel.persist", "bench.emu", "bench.json"])


class BenchBmc(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="vexa-bench-bmc-")
        out = os.path.join(cls.work, "out")
        run_generator("--bench", out)
        with open(os.path.join(out, "bench.json")) as f:
            cls.layout = json.load(f)
        state = os.path.join(cls.work, "state")
        os.makedirs(os.path.join(state, "ipmi_sim", "vexa_fixture"))
        shutil.copy(os.path.join(out, cls.layout["sel"]),
                    os.path.join(state, "ipmi_sim", "vexa_fixture", "sel.20"))
        # The harness's port-pick lock (tests/support/IpmiSim.cpp): ipmi_sim binds with
        # SO_REUSEADDR, so a port is picked and bound by one starter at a time.
        lock_path = os.path.join(os.environ.get("TMPDIR") or "/tmp", "vexa-ipmisim-ports.lock")
        with open(lock_path, "a+") as lock:
            lock_within(lock, BOUND_S)
            cls.port = free_port(socket.SOCK_DGRAM)
            cls.console_port = free_port(socket.SOCK_STREAM)
            with open(os.path.join(HERE, "fixture-lan.conf")) as f:
                conf = f.read()
            for key, value in (("@ADDRESS@", ADDRESS), ("@PORT@", str(cls.port)),
                               ("@CONSOLE_PORT@", str(cls.console_port)),
                               ("@STATE_DIR@", state), ("@CONFIG_DIR@", HERE)):
                conf = conf.replace(key, value)
            lan_conf = os.path.join(cls.work, "lan.conf")
            with open(lan_conf, "w") as f:
                f.write(conf)
            cls.log = open(os.path.join(cls.work, "ipmi_sim.log"), "w")
            cls.sim = subprocess.Popen(
                ["ipmi_sim", "-c", lan_conf, "-f", os.path.join(out, cls.layout["emu"]), "-s",
                 state, "-n"], stdout=cls.log, stderr=subprocess.STDOUT)
            deadline = time.monotonic() + BOUND_S
            while not presence_ping(cls.port, 0.2):
                if cls.sim.poll() is not None or time.monotonic() > deadline:
                    cls.tearDownClass()
                    raise RuntimeError("ipmi_sim did not answer a presence ping")

    @classmethod
    def tearDownClass(cls):
        if cls.sim.poll() is None:
            os.kill(cls.sim.pid, 15)
            try:
                cls.sim.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.kill(cls.sim.pid, 9)
                cls.sim.wait(timeout=5)
        cls.log.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    def ipmitool(self, *args):
        return subprocess.run(
            ["ipmitool", "-I", "lanplus", "-C", "3", "-H", ADDRESS, "-p", str(self.port), "-U", USER,
             "-P", PASSWORD, *args], check=True, capture_output=True, text=True,
            timeout=30).stdout

    def rows(self, *args):
        return [[c.strip() for c in line.split("|")]
                for line in self.ipmitool(*args).splitlines() if line.strip()]

    def test_sensor_records_by_kind_type_and_lun_all_answer(self):
        full = self.rows("sdr", "elist", "full")
        compact = self.rows("sdr", "elist", "compact")
        self.assertEqual(len(full), self.layout["full"])
        self.assertEqual(len(compact), self.layout["compact"])
        self.assertEqual(len(full) + len(compact), self.layout["sensors"])
        # Names start with their type; the counts are the type nodes the console will list.
        by_type = {"1": "Temp ", "2": "Volt ", "4": "Fan "}
        for stype, count in self.layout["fullByType"].items():
            self.assertEqual(sum(r[0].startswith(by_type[stype]) for r in full), count, stype)
        numbers = [int(r[1].rstrip("h"), 16) for r in full]
        self.assertEqual(len(set(numbers)), len(numbers), "full sensor numbers are unique")
        # Every sensor answers on its own LUN (ipmitool asks the LUN of the record): the
        # compact ones live on LUN 1 and report their presence bits.
        for r in full + compact:
            self.assertEqual(r[2], "ok", r)
        self.assertTrue(all(r[4] in ("Presence detected", "Drive Present") for r in compact),
                        compact)

    def test_event_log_holds_every_entry_with_its_stored_time_stamps(self):
        info = dict(
            (k.strip(), v.strip()) for k, v in
            (line.split(":", 1) for line in self.ipmitool("sel", "info").splitlines()
             if ":" in line))
        self.assertEqual(int(info["Entries"]), self.layout["selEntries"])
        entries = self.rows("sel", "list")
        self.assertEqual(len(entries), self.layout["selEntries"])
        self.assertEqual(int(entries[0][0], 16), 1)
        self.assertEqual(int(entries[-1][0], 16), self.layout["selEntries"])
        first = calendar.timegm((2024, 3, 1, 0, 0, 0))
        last = time.gmtime(first + 263 * (self.layout["selEntries"] - 1))
        self.assertEqual(entries[0][1:3], ["03/01/24", "00:00:00 UTC"])
        self.assertEqual(entries[-1][1:3], [time.strftime("%m/%d/%y", last),
                                            time.strftime("%H:%M:%S UTC", last)])

    def test_the_console_changes_the_driven_reading(self):
        driven = self.layout["driven"]
        reading = lambda: self.rows("sdr", "get", driven["name"])  # noqa: E731
        line = [r for r in reading() if r[0].startswith("Sensor Reading")]
        self.assertIn("Sensor Reading        : %d " % driven["reading"], line[0][0])
        self.assertEqual(console(self.console_port, "sensor_set_value 0x20 %d %d 77 0" % (
            driven["lun"], driven["number"])).strip(), "")
        line = [r for r in reading() if r[0].startswith("Sensor Reading")]
        self.assertIn("Sensor Reading        : 77 ", line[0][0])
        console(self.console_port, "sensor_set_value 0x20 %d %d %d 0" % (
            driven["lun"], driven["number"], driven["reading"]))


if __name__ == "__main__":
    if shutil.which("ipmi_sim") is None or shutil.which("ipmitool") is None:
        print("bench_fixture_peer_test skipped: needs ipmi_sim and ipmitool (./dev setup)")
        sys.exit(77)
    sys.exit(0 if unittest.main(exit=False).result.wasSuccessful() else 1)
