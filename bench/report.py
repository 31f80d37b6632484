"""Turns the results of a run into results.md (tables, targets) and the plots.

Can be run by itself on a saved run: report.py results/raw/results.json"""

import json
import math
import re
import sys
import textwrap
from pathlib import Path

ORDER = ["floor", "python", "nodered", "quendra"]
SIZE_LABELS = {4096: "4 KiB", 65536: "64 KiB", 1 << 20: "1 MiB", 4 << 20: "4 MiB"}
# A growth exponent above this counts as faster than linear (1.0 is linear);
# the margin absorbs the noise of a shared two-core machine.
LINEAR_LIMIT = 1.15


def fmt_ns(value):
    if value is None:
        return None
    if value < 1e6:
        return "%.1f µs" % (value / 1e3)
    if value < 1e9:
        return "%.2f ms" % (value / 1e6)
    return "%.2f s" % (value / 1e9)


def fmt_seconds(value):
    return None if value is None else fmt_ns(value * 1e9)


def fmt_rate(value):
    return None if value is None else "{:,.0f} blocks/s".format(value)


def fmt_mibs(value):
    return None if value is None else "%.0f MiB/s" % value


def fmt_kib(value):
    if value is None:
        return None
    if abs(value) >= 10 * 1024:
        return "%.1f MiB" % (value / 1024)
    return "%.1f KiB" % value


def fmt_percent(value):
    return None if value is None else "%.2f %%" % value


def fmt_per_second(value):
    return None if value is None else "%.1f /s" % value


def phase(result, name):
    outcome = result.get("phases", {}).get(name)
    return outcome if outcome and outcome.get("ok") else None


def field(name, key):
    def get(result, machine):
        outcome = phase(result, name)
        value = outcome.get(key) if outcome else None
        return value if value is None or value >= 0 else None
    return get


def idle_rss(process):
    def get(result, machine):
        outcome = result.get("phases", {}).get("idle_memory")
        return outcome["rss_kb"].get(process) if outcome else None
    return get


def held_rss(process, connections):
    return field("scale_%d" % connections, "held_rss_kb.%s" % process)


def rss_per_connection(process, connections):
    def get(result, machine):
        outcome = phase(result, "scale_%d" % connections)
        if not outcome:
            return None
        before = outcome.get("before_rss_kb.%s" % process)
        held = outcome.get("held_rss_kb.%s" % process)
        if before is None or held is None or before < 0 or held < 0:
            return None
        return (held - before) / connections
    return get


def idle_cpu_percent(process):
    def get(result, machine):
        outcome = phase(result, "idle")
        if not outcome:
            return None
        start = outcome.get("start_cpu_ticks.%s" % process)
        end = outcome.get("end_cpu_ticks.%s" % process)
        if start is None or end is None or start < 0 or end < 0:
            return None
        seconds = outcome["measured_seconds"]
        return 100.0 * (end - start) / machine["clock_ticks"] / seconds
    return get


def idle_wakeups(process):
    def get(result, machine):
        outcome = phase(result, "idle")
        if not outcome:
            return None
        start = outcome.get("start_wakeups.%s" % process)
        end = outcome.get("end_wakeups.%s" % process)
        if start is None or end is None or start < 0 or end < 0:
            return None
        return (end - start) / outcome["measured_seconds"]
    return get


def delivered_of(connections):
    def get(result, machine):
        outcome = result.get("phases", {}).get("scale_%d" % connections)
        return None if not outcome else outcome.get("delivered_whole")
    return get


def burst_text(result, machine):
    outcome = result.get("phases", {}).get("burst")
    if not outcome:
        return None
    accepted = max(0, outcome.get("accepted", 0))
    text = "%d of %d" % (accepted, outcome.get("connections", 0))
    if outcome.get("ok"):
        text = "all in %s" % fmt_seconds(outcome.get("accept_all_seconds"))
    overflows = outcome.get("listen_overflows", -1)
    if overflows >= 0:
        text += ", %d queue overflows" % overflows
    return text


def startup(key):
    def get(result, machine):
        outcome = result.get("startup")
        return outcome.get(key) if outcome and outcome.get("ok") else None
    return get


def checks_text(result, machine):
    checks = result.get("checks", [])
    if not checks:
        return None
    passed = sum(1 for check in checks if check.get("ok"))
    return "%d of %d" % (passed, len(checks))


def rows(plan):
    table = [
        ("Start: from launch until it listens", startup("listening_seconds"), fmt_seconds),
        ("Start: from launch until a first block lands", startup("first_block_seconds"),
         fmt_seconds),
        ("Delivery latency p50, 64 B block (%s sends)" % "{:,}".format(plan["latency_count"]),
         field("latency", "latency_p50_ns"), fmt_ns),
        ("Delivery latency p99, 64 B block", field("latency", "latency_p99_ns"), fmt_ns),
        ("Delivery latency p50, 64 B, quendra.exe and the wineserver held on one core",
         field("latency_one_core", "latency_p50_ns"), fmt_ns),
        ("Delivery latency p50, 64 B, the two held on different cores",
         field("latency_two_cores", "latency_p50_ns"), fmt_ns),
    ]
    for size, count in plan["sizes"]:
        table.append(("Delivery latency p50, %s block (%d sends)"
                      % (SIZE_LABELS.get(size, "%d B" % size), count),
                      field("latency_%d" % size, "latency_p50_ns"), fmt_ns))
    table.append(("Delivery latency p50, 64 B, with {:,} idle connections held".format(
        plan["scale"][-1]), field("latency_held", "latency_p50_ns"), fmt_ns))
    table.append(("Delivery latency p50, 64 B, output on the ext4 disk",
                  field("disk_latency", "latency_p50_ns"), fmt_ns))
    for clients in plan["clients"]:
        table.append(("Throughput, %d client%s each waiting for its block"
                      % (clients, "" if clients == 1 else "s"),
                      field("throughput_%d" % clients, "blocks_per_second"), fmt_rate))
    table.append(("Throughput, 1 client, the relay's opens not held (see Method)",
                  field("throughput_1_unheld", "blocks_per_second"), fmt_rate))
    table.append(("Streaming %d MiB from one client" % (plan["stream_bytes"] >> 20),
                  field("stream", "mib_per_second"), fmt_mibs))
    for connections in plan["scale"]:
        table.append(("Accepting {:,} connections (paced to the backlog)".format(connections),
                      field("scale_%d" % connections, "accept_all_seconds"), fmt_seconds))
    most = plan["scale"][-1]
    table += [
        ("{:,} connections held: blocks landed, one per connection".format(most),
         delivered_of(most), lambda value: None if value is None else "%d" % value),
        ("First block on each of {:,} connections held: latency p50".format(most),
         field("scale_%d" % most, "latency_p50_ns"), fmt_ns),
        ("Burst of {:,} connects at once: accepted within {} s".format(
            plan["burst"], plan["burst_seconds"]), burst_text, None),
        ("Resident memory, idle", idle_rss("relay"), fmt_kib),
        ("Resident memory, {:,} connections held".format(most), held_rss("relay", most),
         fmt_kib),
        ("Resident memory per connection ({:,} held)".format(most),
         rss_per_connection("relay", most), fmt_kib),
        ("CPU, %d idle clients for %d s (share of one core)"
         % (plan["idle_connections"], plan["idle_seconds"]),
         idle_cpu_percent("relay"), fmt_percent),
        ("Wake-ups, %d idle clients" % plan["idle_connections"], idle_wakeups("relay"),
         fmt_per_second),
        ("wineserver: resident memory, idle", idle_rss("wineserver"), fmt_kib),
        ("wineserver: resident memory per connection ({:,} held)".format(most),
         rss_per_connection("wineserver", most), fmt_kib),
        ("wineserver: CPU, %d idle clients (share of one core)" % plan["idle_connections"],
         idle_cpu_percent("wineserver"), fmt_percent),
        ("Checks passed (after every phase: still listening, a new block lands)",
         checks_text, None),
    ]
    return table


def cell(value, text, floor_value):
    if text is None:
        return "—"
    if isinstance(value, (int, float)) and isinstance(floor_value, (int, float)) \
            and floor_value > 0 and value >= 0:
        return "%s (%.2f×)" % (text, value / floor_value)
    return text


def table_markdown(results):
    names = [name for name in ORDER if name in results["relays"]]
    machine = results["machine"]
    lines = ["| Figure | " + " | ".join(results["relays"][n]["label"] for n in names) + " |",
             "|---|" + "---|" * len(names)]
    for label, get, formatter in rows(results["plan"]):
        values = {name: get(results["relays"][name], machine) for name in names}
        if all(value is None for value in values.values()):
            continue
        floor_value = values.get("floor")
        cells = []
        for name in names:
            value = values[name]
            text = formatter(value) if formatter else value
            cells.append(cell(value, text, floor_value if formatter else None))
        lines.append("| %s | %s |" % (label, " | ".join(cells)))
    return "\n".join(lines)


def exponent(small, large, ratio):
    if small is None or large is None or small <= 0 or large <= 0:
        return None
    return math.log(large / small) / math.log(ratio)


# Below this much growth (KiB) resident memory moves by whole pages and by the
# garbage collector's mood, so no growth exponent is read from it.
MEMORY_NOISE_KIB = 256


def memory_exponent(result, machine, low, high):
    small = rss_per_connection("relay", low)(result, machine)
    large = rss_per_connection("relay", high)(result, machine)
    if small is None or large is None:
        return None
    small, large = small * low, large * high
    if small < MEMORY_NOISE_KIB or large < MEMORY_NOISE_KIB:
        return None
    return exponent(small, large, high / low)


def growth(results):
    """How each figure grows with connections and block size: the exponent k of
    figure ~ n^k between two points (1.0 is linear), and the same for the
    figure's ratio to the floor's (0 when it grows just as the floor's does)."""
    plan = results["plan"]
    low, high = plan["scale"][0], plan["scale"][-1]
    sizes = [size for size, _ in plan["sizes"]]
    machine = results["machine"]
    floor = results["relays"].get("floor", {})
    pairs = {
        "accept": (field("scale_%d" % low, "accept_all_seconds"),
                   field("scale_%d" % high, "accept_all_seconds"), high / low),
        "held_latency": (field("scale_%d" % low, "latency_p50_ns"),
                         field("scale_%d" % high, "latency_p50_ns"), high / low),
    }
    if len(sizes) >= 2:
        pairs["block"] = (field("latency_%d" % sizes[-2], "latency_p50_ns"),
                          field("latency_%d" % sizes[-1], "latency_p50_ns"),
                          sizes[-1] / sizes[-2])
    table = {}
    for name in [n for n in ORDER if n in results["relays"]]:
        result = results["relays"][name]
        entry = {}
        for key, (small_of, large_of, ratio) in pairs.items():
            small, large = small_of(result, machine), large_of(result, machine)
            entry[key] = exponent(small, large, ratio)
            floor_small, floor_large = small_of(floor, machine), large_of(floor, machine)
            if name != "floor" and None not in (small, large, floor_small, floor_large) \
                    and floor_small > 0 and floor_large > 0:
                entry[key + "_relative"] = exponent(small / floor_small, large / floor_large,
                                                    ratio)
        # Memory from the middle count up, where the growth stands well above
        # the allocator's granularity.
        middle = plan["scale"][-2] if len(plan["scale"]) > 2 else low
        entry["memory"] = memory_exponent(result, machine, middle, high)
        table[name] = entry
    return table


def faster_than_linear(entry, key):
    """Faster than linear, and faster than the floor grows on this machine."""
    value = entry.get(key)
    if value is None or value <= LINEAR_LIMIT:
        return False
    relative = entry.get(key + "_relative")
    return relative is None or relative > LINEAR_LIMIT - 1


def growth_markdown(results, table):
    plan = results["plan"]
    low, high = plan["scale"][0], plan["scale"][-1]
    sizes = [size for size, _ in plan["sizes"]]
    columns = [
        ("accept", "Accept time, {:,} → {:,} connections".format(low, high)),
        ("memory", "Memory for the connections, {:,} → {:,}".format(
            plan["scale"][-2] if len(plan["scale"]) > 2 else low, high)),
        ("held_latency", "First block on each connection, {:,} → {:,} held".format(low, high)),
    ]
    if len(sizes) >= 2:
        columns.append(("block", "Delivery latency, %s → %s block"
                        % (SIZE_LABELS.get(sizes[-2]), SIZE_LABELS.get(sizes[-1]))))
    names = list(table)
    lines = ["| Growth exponent k (figure ∝ n^k; 1 = linear; in brackets k of the ratio to "
             "the floor, 0 = grows as the floor does) | "
             + " | ".join(results["relays"][n]["label"] for n in names) + " |",
             "|---|" + "---|" * len(names)]
    for key, label in columns:
        cells = []
        for name in names:
            value = table[name].get(key)
            relative = table[name].get(key + "_relative")
            text = "—" if value is None else "%.2f" % value
            if value is not None and relative is not None:
                text += " (%+.2f vs floor)" % relative
            cells.append(text)
        lines.append("| %s | %s |" % (label, " | ".join(cells)))
    return "\n".join(lines)


def targets_markdown(results, growth_table):
    relays = results["relays"]
    machine = results["machine"]
    if "quendra" not in relays:
        return "quendra.exe was not part of this run."
    q = relays["quendra"]
    lines = []

    def verdict(met):
        return "**met**" if met else "**missed**"

    p50 = {name: field("latency", "latency_p50_ns")(relays[name], machine)
           for name in relays}
    if p50.get("quendra") and p50.get("floor"):
        ratio = p50["quendra"] / p50["floor"]
        lines.append("- p50 delivery latency within 3× the floor: %s (%s, %.2f× the floor's %s)"
                     % (verdict(ratio <= 3), fmt_ns(p50["quendra"]), ratio,
                        fmt_ns(p50["floor"])))
    others = [name for name in ("python", "nodered") if p50.get(name)]
    if p50.get("quendra") and others:
        below = all(p50["quendra"] < p50[name] for name in others)
        lines.append("- p50 below the Python relay and Node-RED: %s (%s)" % (
            verdict(below), "; ".join(
                "%s %s's %s" % ("below" if p50["quendra"] < p50[n] else "above",
                                     relays[n]["label"], fmt_ns(p50[n])) for n in others)))
    most = results["plan"]["scale"][-1]
    delivered = delivered_of(most)(q, machine)
    scale_ok = bool(phase(q, "scale_%d" % most))
    checks_ok = all(check.get("ok") for check in q.get("checks", [])) and q.get("checks")
    lines.append("- {:,} concurrent connections served correctly: {} ({} of {:,} blocks "
                 "landed; checks after every phase {})".format(
                     most, verdict(scale_ok and delivered == most), delivered, most,
                     "all passed" if checks_ok else "not all passed"))
    cpu = idle_cpu_percent("relay")(q, machine)
    if cpu is not None:
        lines.append("- idle CPU under 1%% of one core: %s (%s for quendra.exe; wineserver %s)"
                     % (verdict(cpu < 1), fmt_percent(cpu),
                        fmt_percent(idle_cpu_percent("wineserver")(q, machine)) or "—"))
    entry = growth_table.get("quendra", {})
    keys = [key for key in ("accept", "memory", "held_latency", "block")
            if entry.get(key) is not None]
    if keys:
        faster = [key for key in keys if faster_than_linear(entry, key)]
        worst = max(entry[key] for key in keys)
        lines.append("- no figure growing faster than linearly: %s (largest exponent %.2f%s; "
                     "see the growth table)"
                     % (verdict(not faster), worst,
                        "; faster than linear and than the floor: " + ", ".join(faster)
                        if faster else ""))
    return "\n".join(lines)


PER_BLOCK_CALLS = [
    ("the notification through the window's message queue (post, get, dispatch)",
     "posted_message_us", 1),
    ("ioctlsocket FIONREAD: the count, and the query that ends the drain", "fionread_us", 2),
    ("recv of the waiting bytes", "recv_us", 1),
    ("SetCurrentDirectoryA of the program folder", "set_current_directory_us", 1),
    ("CreateFileA, one WriteFile and CloseHandle of the output file",
     "create_write_close_us", 1),
]
PER_CONNECTION_CALLS = [
    ("accept", "accept_us", 1),
    ("the connection object's own hidden top-level window, made", "hidden_window_make_us", 1),
    ("the same window, destroyed when the connection closes", "hidden_window_destroy_us", 1),
    ("the connection object's own Winsock session (WSAStartup, WSACleanup)",
     "wsa_session_us", 1),
]


def cost_table(costs, calls):
    lines = ["| Win32 call under Wine | µs per call | calls | µs |", "|---|---|---|---|"]
    total = 0.0
    for label, key, count in calls:
        value = costs.get(key)
        if value is None:
            continue
        total += value * count
        lines.append("| %s | %.1f | %d | %.1f |" % (label, value, count, value * count))
    lines.append("| **sum** | | | **%.1f** |" % total)
    return lines, total


def wine_costs_markdown(results):
    """The relay's calls timed one by one under Wine on this machine (bench/probe),
    beside the figures measured for quendra.exe."""
    costs = results["relays"].get("quendra", {}).get("wine_costs")
    if not costs or costs.get("error"):
        return None
    machine = results["machine"]
    relays = results["relays"]
    q = relays["quendra"]
    lines = ["Each call the program makes, timed alone under Wine on this machine "
             "(bench/probe/wine_costs.c), against what was measured for quendra.exe.", ""]
    block, block_total = cost_table(costs, PER_BLOCK_CALLS)
    lines += ["One 64 B block:", ""] + block
    p50 = field("latency", "latency_p50_ns")(q, machine)
    one_core = field("latency_one_core", "latency_p50_ns")(q, machine)
    two_cores = field("latency_two_cores", "latency_p50_ns")(q, machine)
    floor = field("latency", "latency_p50_ns")(relays.get("floor", {}), machine)
    if p50:
        lines += ["", "The calls were timed with the probe and the wineserver on one core. Measured "
                  "p50 for quendra.exe: %s as the scheduler placed it; %s with quendra.exe and the "
                  "wineserver held on one core, %s held on two (each call then wakes the other "
                  "process across cores, which costs much more in this virtual machine). The "
                  "calls above add up to %.0f µs; the floor relay's whole delivery takes %s."
                  % (fmt_ns(p50), fmt_ns(one_core) or "—", fmt_ns(two_cores) or "—",
                     block_total, fmt_ns(floor) or "—")]
    connection, connection_total = cost_table(costs, PER_CONNECTION_CALLS)
    lines += ["", "One connection:", ""] + connection
    most = results["plan"]["scale"][-1]
    accept = field("scale_%d" % most, "accept_all_seconds")(q, machine)
    if accept:
        lines += ["", "Measured for quendra.exe: %.0f µs per connection to accept {:,} (paced). "
                  "A message-only window (parent HWND_MESSAGE) costs %.1f µs to make and %.1f µs "
                  "to destroy.".format(most)
                  % (accept / most * 1e6, costs.get("message_only_window_make_us", -1),
                     costs.get("message_only_window_destroy_us", -1))]
    small = costs.get("mib_in_128_byte_writes_us")
    whole = costs.get("mib_in_one_write_us")
    if small and whole:
        lines += ["", "Writing 1 MiB: through 128-byte WriteFile calls %.1f ms (%.2f µs per call), "
                  "in one WriteFile %.2f ms." % (small / 1e3, costs.get("write_128_us", 0),
                                                  whole / 1e3)]
    return "\n".join(lines)


def failures_markdown(results):
    lines = []
    for name in [n for n in ORDER if n in results["relays"]]:
        result = results["relays"][name]
        if result.get("error"):
            lines.append("- %s: %s" % (result["label"], result["error"]))
        for phase_name, outcome in result.get("phases", {}).items():
            if not outcome.get("ok"):
                lines.append("- %s, %s: %s" % (result["label"], phase_name,
                                               outcome.get("error")))
        for check in result.get("checks", []):
            if not check.get("ok"):
                lines.append("- %s, check after %s: %s" % (result["label"], check["after"],
                                                           check.get("error")))
        for size, _ in results["plan"]["sizes"]:
            outcome = phase(result, "latency_%d" % size)
            if outcome and outcome.get("landed_last_piece"):
                lines.append("- %s, %s blocks: %d of %d arrived in more than one piece; the "
                             "time is until the last piece landed"
                             % (result["label"], SIZE_LABELS.get(size, size),
                                outcome["landed_last_piece"],
                                outcome["landed_last_piece"] + outcome["landed_whole"]))
    return "\n".join(lines) if lines else "None."


def conditions_markdown(results):
    machine = results["machine"]
    busy = machine.get("busy_share")
    lines = [
        "- Machine: %s, %d cores, Linux %s; %s; Python %s; Node.js %s with Node-RED %s."
        % (machine["cpu"], machine["cores"], machine["kernel"], machine["wine"],
           machine["python"], machine["node"], machine["node_red"]),
        "- Run: %s, %.1f minutes%s. Load average before %.2f, after %.2f; all cores "
        "together %.0f%% busy during the run (the benchmark's own processes included)."
        % (machine["date"], machine.get("minutes", 0),
           " (quick run: fewer sends, shorter windows)" if results.get("quick") else "",
           machine["load_before"][0], machine["load_after"][0],
           100 * busy if busy is not None else -1),
    ]
    others = [machine.get("other_busy_before"), machine.get("other_busy_after")]
    if None not in others:
        shared = max(others) > 0.1
        lines.append(
            "- Other work on the machine, with none of the benchmark running: %.0f%% of the "
            "two cores just before the run, %.0f%% just after.%s"
            % (100 * others[0], 100 * others[1],
               " The machine was shared while these figures were taken: the ones that need "
               "both cores free (above all quendra.exe's, whose every call is a round trip "
               "between its process and the wineserver) move from run to run."
               if shared else ""))
    return "\n".join(lines)


def write_plots(results, folder, raw):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as pyplot
    except ImportError:
        print("matplotlib is missing: no plots (bench/install.sh installs it)")
        return []
    names = [name for name in ORDER if name in results["relays"]]
    labels = {name: results["relays"][name]["label"] for name in names}
    written = []

    figure, axes = pyplot.subplots(figsize=(8, 4.5))
    for name in names:
        outcome = phase(results["relays"][name], "latency")
        if not outcome or not (raw / outcome.get("raw", "")).is_file():
            continue
        values = sorted(int(line) / 1e3 for line in (raw / outcome["raw"]).read_text().split())
        if not values:
            continue
        fractions = [(i + 1) / len(values) for i in range(len(values))]
        axes.step(values, fractions, where="post", label=labels[name])
    axes.set_xscale("log")
    axes.set_xlabel("delivery latency, µs (log scale): send until the file holds the block")
    axes.set_ylabel("share of sends")
    axes.set_title("Delivery latency of a 64 B block, %s sends"
                   % "{:,}".format(results["plan"]["latency_count"]))
    axes.grid(True, which="both", alpha=0.3)
    axes.legend()
    figure.tight_layout()
    figure.savefig(folder / "latency.png", dpi=110)
    pyplot.close(figure)
    written.append("latency.png")

    figure, axes = pyplot.subplots(figsize=(8, 4.5))
    clients = results["plan"]["clients"]
    for name in names:
        points = [(n, field("throughput_%d" % n, "blocks_per_second")(
            results["relays"][name], results["machine"])) for n in clients]
        points = [(n, value) for n, value in points if value]
        if points:
            axes.plot([n for n, _ in points], [v for _, v in points], marker="o",
                      label=labels[name])
    axes.set_xscale("log")
    axes.set_yscale("log")
    axes.set_xticks(clients)
    axes.set_xticklabels([str(n) for n in clients])
    axes.set_xlabel("concurrent clients, each waiting for its own block to land")
    axes.set_ylabel("blocks per second (log scale)")
    axes.set_title("Throughput by client count, 64 B blocks")
    axes.grid(True, which="both", alpha=0.3)
    axes.legend()
    figure.tight_layout()
    figure.savefig(folder / "throughput.png", dpi=110)
    pyplot.close(figure)
    written.append("throughput.png")
    return written


METHOD = """\
How it is measured (bench/run.sh; every relay in turn, the same phases, one load client):

- Every block is unique: bytes of every value (NUL, CR, LF included), a marker naming
  it, and CR LF, which every relay strips. A block has landed when the output file holds
  exactly the block less its CR LF; the client learns of changes by inotify and reads
  the file through a descriptor it holds open.
- Latency: one connection sends a block, waits until it lands, sends the next.
- Throughput: N connections, each waiting for its own block to land before sending the
  next, for a fixed window. As the file keeps only the last block, the client holds each
  open of the output file by the relay for a moment (a fanotify permission event) to
  read the block it is about to replace, so no landing goes unseen. Holding them costs
  time: the row "1 client, opens not held" runs the same loop without it (with one
  client nothing can go unseen), and the difference is that cost. Under Wine the open is
  made by the wineserver, which every Wine call waits for while it is held.
- Streaming: one connection sends 64 MiB as fast as the relay takes it; done when the
  file holds a last piece of the stream that ends with its last byte.
- Many connections: with 1,000 idle connections held, one more connection runs the
  latency loop (the cost of the connection count for every block); then each of the
  held connections delivers one block in turn (the first block on a connection).
- Connections are opened paced to the relay's accept queue (never more connects in
  flight than its backlog has room for), so the accept time is the relay's own and not
  TCP's SYN retransmission timer; the burst row opens them all at once instead.
- Memory is VmRSS of the relay's process (for Wine: the quendra.exe process; the
  wineserver, which holds the sockets and windows of every Wine process, is shown in
  its own rows). CPU is utime + stime from /proc/<pid>/stat; wake-ups are the context
  switches of all its threads.
- quendra.exe runs under Wine with IdlePriority=0 (normal priority); output files are
  on tmpfs (/dev/shm) except in the disk row, because on this machine's ext4 disk every
  truncate-and-rewrite waits for ext4's flush on close, which hides the relays' costs.
- The Python relay is asyncio with a Protocol whose data_received writes the file
  (default backlog 100). Node-RED runs bench/relays/nodered/flows.json: a tcp in node
  (stream of Buffers) into a function node that strips the CR and CR LF, into a file
  node in overwrite mode; its file node writes through a stream (open, write, close)
  and queues messages while a write is under way.
"""


def write(results, folder, raw):
    folder = Path(folder)
    plots = write_plots(results, folder, Path(raw))
    growth_table = growth(results)
    parts = [
        "# Benchmark results",
        "",
        conditions_markdown(results),
        "",
        "Each figure is given with its ratio to the floor relay (the least work this "
        "machine can do for the job).",
        "",
        table_markdown(results),
        "",
        growth_markdown(results, growth_table),
        "",
        "## Targets",
        "",
        targets_markdown(results, growth_table),
        "",
        "## Where quendra.exe's time goes",
        "",
        wine_costs_markdown(results) or "The probe of Win32 call costs did not run.",
        "",
        "## Failures and remarks",
        "",
        failures_markdown(results),
        "",
    ]
    for plot in plots:
        parts += ["![%s](%s)" % (plot[:-4], plot), ""]
    gaps = gaps_markdown(results)
    if gaps:
        parts += ["## Why quendra.exe falls short where it does", "", gaps, ""]
    parts += ["## Method", "", METHOD]
    (folder / "results.md").write_text("\n".join(parts))


def gaps_markdown(results):
    """The explanation of each missed target and of the figures far from the
    floor, with this run's numbers."""
    relays = results["relays"]
    machine = results["machine"]
    q = relays.get("quendra")
    costs = (q or {}).get("wine_costs") or {}
    if not q or not costs or costs.get("error"):
        return ""
    value = lambda name, key, relay="quendra": field(name, key)(relays.get(relay, {}), machine)
    per_block = sum(costs.get(key, 0) * count for _, key, count in PER_BLOCK_CALLS)
    own = costs.get("set_current_directory_us", 0) + costs.get("fionread_us", 0)
    floor_p50 = value("latency", "latency_p50_ns", "floor") or 0
    most = results["plan"]["scale"][-1]
    accept = value("scale_%d" % most, "accept_all_seconds")
    floor_accept = value("scale_%d" % most, "accept_all_seconds", "floor")
    burst = relays["quendra"].get("phases", {}).get("burst", {})
    lines = [
        "- **Delivery latency.** Under Wine every call the program makes for a block is a "
        "round trip to the wineserver: the notification through the message queue, two "
        "FIONREAD queries, the recv, SetCurrentDirectoryA and the create-write-close of "
        "the file add up to %.0f µs on this machine when timed one by one (the floor "
        "relay's whole delivery: %s). Of these, SetCurrentDirectoryA for every block and "
        "the FIONREAD that ends each drain (%.0f µs together) are the relay's own steps; "
        "without them the rest is still %.0f µs, %.1f× the floor, so 3× the floor and the "
        "Python relay (%s, a few native system calls per block) are out of reach under Wine "
        "here. How the scheduler places quendra.exe and the wineserver moves the p50 between "
        "%s (one core) and %s (two cores), from run to run."
        % (per_block, fmt_ns(floor_p50), own, per_block - own,
           (per_block - own) * 1e3 / floor_p50 if floor_p50 else 0,
           fmt_ns(value("latency", "latency_p50_ns", "python")),
           fmt_ns(value("latency_one_core", "latency_p50_ns")) or "—",
           fmt_ns(value("latency_two_cores", "latency_p50_ns")) or "—"),
    ]
    alone = value("latency", "latency_p50_ns")
    held = value("latency_held", "latency_p50_ns")
    if alone and held:
        # The connection list is searched linearly for every notification.
        lines.append(
            "- **Many connections held.** With {:,} idle connections held the p50 is %s "
            "against %s with none (%+.0f%%): the linear search of the connection list for "
            "every notification %s.".format(most)
            % (fmt_ns(held), fmt_ns(alone), 100 * (held / alone - 1),
               "costs nothing that stands out of the noise" if held <= 1.25 * alone
               else "or something else that grows with the connections costs this much"))
    if accept and floor_accept:
        lines.append(
            "- **Accepting connections** takes %.0f µs per connection (floor: %.0f µs). Each "
            "accepted connection object makes its own hidden top-level window, although its "
            "notifications go to the server's window; under Wine with its X11 driver making "
            "such a window costs %.0f µs, and destroying it when the connection closes %.0f µs "
            "more. Proposed fix: no window for accepted connections (or message-only windows: "
            "%.0f µs to make)."
            % (accept / most * 1e6, floor_accept / most * 1e6,
               costs.get("hidden_window_make_us", 0), costs.get("hidden_window_destroy_us", 0),
               costs.get("message_only_window_make_us", 0)))
    big = results["plan"]["sizes"][-2][0] if len(results["plan"]["sizes"]) >= 2 else None
    if big and costs.get("mib_in_128_byte_writes_us"):
        lines.append(
            "- **Large blocks and streaming.** The file is written through a 128-byte "
            "buffer: 1 MiB takes %.1f ms in 8,192 WriteFile calls against %.2f ms in one, "
            "so a %s block lands in %s (floor %s) and a stream runs at %s (floor %s). "
            "Proposed fix: one WriteFile per block (or a buffer of 64 KiB)."
            % (costs["mib_in_128_byte_writes_us"] / 1e3, costs["mib_in_one_write_us"] / 1e3,
               SIZE_LABELS.get(big), fmt_ns(value("latency_%d" % big, "latency_p50_ns")),
               fmt_ns(value("latency_%d" % big, "latency_p50_ns", "floor")),
               fmt_mibs(value("stream", "mib_per_second")),
               fmt_mibs(value("stream", "mib_per_second", "floor"))))
    if burst:
        lines.append(
            "- **A burst of connects.** The listening backlog is 5: of %d clients connecting "
            "at the same moment %d were accepted within %d s (%d accept-queue overflows); "
            "the others wait for TCP's SYN retransmissions at 1, 3, 7, 15 s... The paced "
            "rows show that each connection is served once it gets in. A larger backlog "
            "would let a crowd in at once."
            % (burst.get("connections", 0), max(0, burst.get("accepted", 0)),
               results["plan"]["burst_seconds"], burst.get("listen_overflows", 0)))
    return "\n".join(lines)


def readme_section(results):
    plots = [name for name in ("latency.png", "throughput.png")]
    growth_table = growth(results)
    parts = [
        "## Benchmarks",
        "",
        "```sh",
        "bench/run.sh   # installs what is missing, builds, runs the four relays (about 5 min)",
        "```",
        "",
        "It measures quendra.exe under Wine beside a floor relay in C (the least work this "
        "machine can do for the job), a Python asyncio relay and Node-RED (tcp in → file "
        "node in overwrite mode), all on loopback, and writes `bench/results/results.md` "
        "(every figure with its ratio to the floor, the method, the costs of single Win32 "
        "calls under Wine) and the plots. Latest run:",
        "",
        conditions_markdown(results),
        "",
        table_markdown(results),
        "",
    ]
    for plot in plots:
        parts += ["![%s](bench/results/%s)" % (plot[:-4], plot), ""]
    parts += [
        "Targets:",
        "",
        targets_markdown(results, growth_table),
        "",
        "Why the gaps:",
        "",
        gaps_markdown(results),
        "",
    ]
    return "\n".join(wrap_prose(line) for line in "\n".join(parts).split("\n"))


def wrap_prose(line, width=90):
    """Wraps a paragraph or a list item as the rest of the README is wrapped;
    tables, headings, images and code stay as they are."""
    if len(line) <= width or line.startswith(("|", "#", "!", "`", " ")):
        return line
    indent = "  " if line.startswith("- ") else ""
    # A number keeps its unit on the same line.
    line = re.sub(r"(\d) (µs|ms|s|KiB|MiB|MiB/s|blocks/s)\b", "\\1\u00a0\\2", line)
    return textwrap.fill(line, width=width, subsequent_indent=indent,
                         break_long_words=False, break_on_hyphens=False)


def update_readme(results, readme):
    """Replaces the README's benchmark section (or adds it before the layout)."""
    text = readme.read_text()
    section = readme_section(results)
    start = text.find("## Benchmarks\n")
    if start >= 0:
        end = text.find("\n## ", start + 1)
        end = len(text) if end < 0 else end + 1
        text = text[:start] + section + "\n" + text[end:]
    else:
        anchor = text.find("## Layout")
        anchor = len(text) if anchor < 0 else anchor
        text = text[:anchor] + section + "\n" + text[anchor:]
    readme.write_text(text)


if __name__ == "__main__":
    arguments = [argument for argument in sys.argv[1:] if not argument.startswith("--")]
    saved = Path(arguments[0] if arguments else "results/raw/results.json")
    loaded = json.loads(saved.read_text())
    write(loaded, saved.parent.parent, saved.parent)
    if "--readme" in sys.argv:
        update_readme(loaded, saved.parent.parent.parent.parent / "README.md")
