"""Runs every relay through the same phases, one relay after another, and
writes results/results.md with the plots. Called by run.sh, which builds
everything and starts the Wine session first.

Every phase is one run of the load client (qbench) with a time limit; after
each phase a check proves the relay still listens and a new block lands. A
relay that fails a check is started again for the next phase, and the failure
is reported."""

import argparse
import json
import os
import platform
import subprocess
import sys
import time
from pathlib import Path

import relays
import report

BENCH = Path(__file__).resolve().parent
RESULTS = BENCH / "results"
RAW = RESULTS / "raw"
QBENCH = RAW / "bin" / "qbench"
SETTLE_SECONDS = 2.0
QUIET_SECONDS = 60.0

FULL_PLAN = {
    "latency_count": 2000,
    "held_count": 1000,
    "sizes": [(4096, 500), (65536, 200), (1 << 20, 50), (4 << 20, 20)],
    "disk_count": 1000,
    "clients": [1, 10, 100],
    "throughput_seconds": 5,
    "stream_bytes": 64 << 20,
    "scale": [100, 300, 1000],
    "burst": 1000,
    "burst_seconds": 20,
    "idle_connections": 100,
    "idle_seconds": 10,
}

# A short run of the same phases, to try the harness.
QUICK_PLAN = dict(FULL_PLAN, latency_count=300, held_count=100, sizes=[(4096, 50), (1 << 20, 10)],
                  disk_count=100, throughput_seconds=1, stream_bytes=16 << 20,
                  scale=[100, 1000], burst_seconds=5, idle_seconds=2)


def qbench(mode, relay, timeout, *arguments, output=None, pids=None):
    command = [str(QBENCH), mode, "--port", str(relay.port),
               "--file", str(output or relay.output), "--timeout", str(timeout)]
    command += [str(argument) for argument in arguments]
    for name, pid in (pids or {}).items():
        command += ["--pid", "%s=%d" % (name, pid)]
    try:
        finished = subprocess.run(command, capture_output=True, text=True,
                                  timeout=timeout + 60)
    except subprocess.TimeoutExpired:
        return {"ok": 0, "error": "the load client did not end"}
    try:
        return json.loads(finished.stdout)
    except ValueError:
        return {"ok": 0, "error": "no result (exit %d): %s"
                % (finished.returncode, finished.stderr.strip()[:300])}


class Session:
    """One relay through all phases."""

    def __init__(self, kind, plan, tmpfs, disk):
        self.kind = kind
        self.plan = plan
        self.tmpfs = tmpfs
        self.disk = disk
        self.relay = None
        self.result = {"label": kind.label, "phases": {}, "checks": [], "restarts": 0}

    def log(self, text):
        print("[%s] %s" % (self.kind.name, text), flush=True)

    def start(self, output, first=False):
        port = relays.free_ports(1)[0]
        self.relay = self.kind(port, output)
        self.relay.start()
        if first:
            # What a user notices right after launch: when the first block lands.
            check = qbench("check", self.relay, 60)
            self.result["startup"] = {
                "ok": check.get("ok", 0),
                "error": check.get("error"),
                "listening_seconds": self.relay.listening_at - self.relay.launched_at,
                "first_block_seconds": time.monotonic() - self.relay.launched_at,
            }
        time.sleep(SETTLE_SECONDS)

    def stop(self):
        if self.relay:
            self.relay.stop()
            self.relay = None

    def phase(self, name, mode, timeout, *arguments, with_pids=False, raw=None):
        self.log("%s ..." % name)
        if raw:
            arguments += ("--raw", RAW / raw)
        pids = self.relay.pids() if with_pids else None
        outcome = qbench(mode, self.relay, timeout, *arguments, pids=pids)
        if raw:
            outcome["raw"] = raw
        self.result["phases"][name] = outcome
        if not outcome.get("ok"):
            self.log("  failed: %s" % outcome.get("error"))
        # Connections the phase left behind (a burst leaves handshakes that the
        # kernel retries for a while) must not reach into the next phase.
        outcome["quiet_seconds"] = relays.wait_until_quiet(self.relay.port, QUIET_SECONDS)
        check = qbench("check", self.relay, 30)
        check["after"] = name
        self.result["checks"].append(check)
        if not check.get("ok"):
            self.log("  check after %s failed: %s; starting it again"
                     % (name, check.get("error")))
            self.result["restarts"] += 1
            output = self.relay.output
            self.stop()
            self.start(output)
        return outcome

    def wine_placement(self):
        """Every Win32 call is a round trip between quendra.exe and the wineserver;
        whether the two share a core or wake each other across cores decides
        much of the latency, so it is measured both ways, and the single calls
        are timed with the probe and the wineserver on one core."""
        server = relays.wineserver_pid()
        program = self.relay.process.pid
        every = set(range(os.cpu_count() or 1))
        if not server or len(every) < 2:
            return
        try:
            for name, program_cpus, server_cpus in (("latency_one_core", {0}, {0}),
                                                    ("latency_two_cores", {0}, {1})):
                relays.set_affinity(program, program_cpus)
                relays.set_affinity(server, server_cpus)
                self.phase(name, "latency", 300, "--count", self.plan["held_count"],
                           "--warmup", 20, "--size", 64)
            relays.set_affinity(program, every)
            self.log("costs of single Win32 calls under Wine ...")
            self.result["wine_costs"] = wine_costs(self.tmpfs, pinned=(server, {0}))
        finally:
            relays.set_affinity(program, every)
            relays.set_affinity(server, every)

    def idle_memory(self):
        memory = {name: relays.read_rss_kb(pid) for name, pid in self.relay.pids().items()}
        self.result["phases"]["idle_memory"] = {"ok": 1, "rss_kb": memory}

    def run(self):
        plan = self.plan
        self.start(self.tmpfs / ("%s.txt" % self.kind.name), first=True)
        self.result["port"] = self.relay.port
        try:
            self.idle_memory()
            self.phase("latency", "latency", 300, "--count", plan["latency_count"],
                       "--warmup", 50, "--size", 64, raw="%s-latency.txt" % self.kind.name)
            if self.kind is relays.QuendraRelay:
                self.wine_placement()
            self.phase("latency_held", "latency", 300, "--count", plan["held_count"],
                       "--warmup", 20, "--size", 64, "--hold", plan["scale"][-1])
            for connections in plan["scale"]:
                self.phase("scale_%d" % connections, "scale", 300, "--connections",
                           connections, "--deliver", "--size", 64, with_pids=True)
            self.phase("idle", "idle", plan["idle_seconds"] + 120, "--connections",
                       plan["idle_connections"], "--seconds", plan["idle_seconds"],
                       with_pids=True)
            # One client needs no held opens: the same loop without them tells what
            # holding them costs this relay.
            self.phase("throughput_1_unheld", "throughput", plan["throughput_seconds"] + 120,
                       "--connections", 1, "--seconds", plan["throughput_seconds"],
                       "--size", 64, "--no-hold")
            for clients in plan["clients"]:
                self.phase("throughput_%d" % clients, "throughput",
                           plan["throughput_seconds"] + 120, "--connections", clients,
                           "--seconds", plan["throughput_seconds"], "--size", 64)
            for size, count in plan["sizes"]:
                self.phase("latency_%d" % size, "latency", 300, "--count", count,
                           "--warmup", 3, "--size", size)
            self.phase("stream", "stream", 300, "--bytes", plan["stream_bytes"])
            # Last: a burst leaves the backlog's overflow behind for a while.
            self.phase("burst", "scale", plan["burst_seconds"], "--connections",
                       plan["burst"], "--burst", "--size", 64)
        finally:
            self.stop()
        # The same latency run once more, with the output file on the disk.
        self.start(self.disk / ("%s.txt" % self.kind.name))
        try:
            self.phase("disk_latency", "latency", 300, "--count", plan["disk_count"],
                       "--warmup", 20, "--size", 64)
        finally:
            self.stop()
        return self.result


def wine_costs(folder, pinned):
    """Per-call costs of the relay's Win32 calls under Wine, from the probe, run
    on the same core as the wineserver (pinned: its pid and that core)."""
    probe = RAW / "bin" / "wine_costs.exe"
    output = folder / "probe.txt"
    output.write_bytes(b"")
    server, cpus = pinned
    relays.set_affinity(server, cpus)
    try:
        finished = subprocess.run(
            [str(relays.WINE), str(probe), relays.windows_path(relays.QUENDRA_FOLDER),
             relays.windows_path(output)],
            capture_output=True, text=True, timeout=300, stdin=subprocess.DEVNULL,
            preexec_fn=lambda: os.sched_setaffinity(0, cpus))
        return json.loads(finished.stdout)
    except (OSError, ValueError, subprocess.TimeoutExpired) as error:
        return {"error": str(error)}


def self_check(folder):
    """The load client must fail a relay that loses blocks and one that does not
    strip the line end; returns the faults it failed to notice."""
    unnoticed = []
    for fault in ("drop", "keep-line-end"):
        relay = relays.FaultyRelay(relays.free_ports(1)[0], folder / ("faulty-%s.txt" % fault))
        relay.fault = fault
        relay.start()
        try:
            if qbench("check", relay, 3).get("ok"):
                unnoticed.append(fault)
        finally:
            relay.stop()
    return unnoticed


def machine_busy_share(before, after):
    """Share of all cores busy between two readings of /proc/stat."""
    busy = (after[0] - before[0])
    total = (after[1] - before[1])
    return busy / total if total else None


def other_load(seconds=3.0):
    """Share of both cores that other work keeps busy while the benchmark runs
    nothing: looked at just before and just after the run."""
    before = cpu_times()
    time.sleep(seconds)
    return machine_busy_share(before, cpu_times())


def cpu_times():
    with open("/proc/stat") as stat:
        fields = [int(value) for value in stat.readline().split()[1:]]
    idle = fields[3] + fields[4]
    return (sum(fields) - idle, sum(fields))


def command_output(command):
    try:
        return subprocess.run(command, capture_output=True, text=True,
                              timeout=30).stdout.strip()
    except (OSError, subprocess.TimeoutExpired):
        return ""


def machine_facts():
    model = ""
    with open("/proc/cpuinfo") as cpuinfo:
        for line in cpuinfo:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    node_red = json.loads((BENCH / "node_modules" / "node-red" / "package.json").read_text())
    return {
        "date": time.strftime("%Y-%m-%d %H:%M %Z"),
        "cpu": model,
        "cores": os.cpu_count(),
        "kernel": platform.release(),
        "wine": command_output([str(relays.WINE), "--version"]),
        "python": platform.python_version(),
        "node": command_output([str(relays.NODE), "--version"]),
        "node_red": node_red.get("version", ""),
        "clock_ticks": os.sysconf("SC_CLK_TCK"),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--quendra", help="quendra.exe to run under Wine")
    parser.add_argument("--relays", default="floor,python,nodered,quendra",
                        help="comma-separated: floor, python, nodered, quendra")
    parser.add_argument("--quick", action="store_true", help="a short run to try the harness")
    arguments = parser.parse_args()

    names = [name for name in arguments.relays.split(",") if name]
    for name in names:
        if name not in relays.KINDS:
            parser.error("unknown relay %s" % name)
    if "floor" not in names:
        parser.error("the floor relay is needed: every figure is given as a ratio to it")
    if "quendra" in names:
        if not arguments.quendra or not Path(arguments.quendra).is_file():
            parser.error("--quendra must name the built quendra.exe")
        relays.QuendraRelay.program = arguments.quendra

    plan = QUICK_PLAN if arguments.quick else FULL_PLAN
    RAW.mkdir(parents=True, exist_ok=True)
    # Output files on tmpfs: on this machine's disk every truncate-and-rewrite
    # waits for ext4's flush on close, which would hide the relays' own costs.
    # One latency run per relay also goes to the disk, for comparison.
    tmpfs = Path("/dev/shm/quendra-bench-%d" % os.getpid())
    disk = Path("/tmp/quendra-bench-%d" % os.getpid())
    tmpfs.mkdir(parents=True)
    disk.mkdir(parents=True)

    results = {"machine": machine_facts(), "plan": {k: v for k, v in plan.items()},
               "quick": arguments.quick, "relays": {}}
    results["machine"]["load_before"] = os.getloadavg()
    results["machine"]["other_busy_before"] = other_load()
    busy_before = cpu_times()
    started = time.monotonic()
    try:
        unnoticed = self_check(tmpfs)
        if unnoticed:
            print("The load client did not notice a faulty relay (%s): stopping."
                  % ", ".join(unnoticed))
            return 1
        for name in names:
            session = Session(relays.KINDS[name], plan, tmpfs, disk)
            try:
                results["relays"][name] = session.run()
            except RuntimeError as error:
                print("[%s] %s" % (name, error), flush=True)
                results["relays"][name] = {"label": relays.KINDS[name].label,
                                           "error": str(error), "phases": {}, "checks": []}
    finally:
        for folder in (tmpfs, disk):
            for file in folder.glob("*"):
                file.unlink()
            folder.rmdir()
    results["machine"]["load_after"] = os.getloadavg()
    results["machine"]["busy_share"] = machine_busy_share(busy_before, cpu_times())
    results["machine"]["other_busy_after"] = other_load()
    results["machine"]["minutes"] = (time.monotonic() - started) / 60

    saved = json.dumps(results, indent=1)
    (RAW / "results.json").write_text(saved)
    # Every run is kept as well, to compare runs taken under different load.
    (RAW / time.strftime("results-%Y%m%d-%H%M%S.json")).write_text(saved)
    report.write(results, RESULTS, RAW)
    print("Wrote %s" % (RESULTS / "results.md"))
    failed = [name for name, result in results["relays"].items()
              if result.get("error") or not result.get("phases")]
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
