#!/usr/bin/env python3
"""Turns the samples of bench-client.exe and bench-loadgen into the table
(markdown, on stdout) and results.json. With --check, exits 1 when a figure
or its baseline has no sample, or a measuring program reported an error."""

import argparse
import datetime
import json
import os
import platform
import statistics
import subprocess
import sys

# DLLs every Windows installation has; anything else would have to ship.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "ole32.dll", "oleaut32.dll", "ws2_32.dll", "wsock32.dll",
    "mswsock.dll", "msvcrt.dll", "advapi32.dll", "comctl32.dll", "comdlg32.dll", "shell32.dll", "shlwapi.dll",
    "uxtheme.dll", "ntdll.dll", "ucrtbase.dll", "imm32.dll", "winmm.dll", "version.dll", "psapi.dll",
}

MIB = 1024.0 * 1024.0


def is_system_dll(name):
    lower = name.lower()
    return lower in SYSTEM_DLLS or lower.startswith("api-ms-win-")


def read_samples(paths):
    samples, notes, errors, meta = {}, [], [], {}
    for path in paths:
        if not path or not os.path.exists(path):
            errors.append(f"no output file {path}")
            continue
        with open(path, encoding="utf-8", errors="replace") as stream:
            for line in stream:
                line = line.strip()
                if not line.startswith("{"):
                    continue
                try:
                    record = json.loads(line)
                except json.JSONDecodeError:
                    errors.append(f"unreadable line in {os.path.basename(path)}: {line[:80]}")
                    continue
                if "id" in record:
                    samples.setdefault((record["id"], record["who"]), []).append(float(record["value"]))
                elif "note" in record:
                    notes.append(f"{record['note']}: {record['text']}")
                elif "error" in record:
                    errors.append(record["error"])
                elif "meta" in record:
                    meta[record["meta"]] = record["value"]
    return samples, list(dict.fromkeys(notes)), errors, meta


def pe_imports(objdump, exe):
    output = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    return [line.split("DLL Name:", 1)[1].strip() for line in output.splitlines() if "DLL Name:" in line]


def summary(values):
    if not values:
        return None
    return {"median": statistics.median(values), "min": min(values), "max": max(values), "n": len(values),
            "samples": values}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--client-raw", required=True)
    parser.add_argument("--server-raw", required=True)
    parser.add_argument("--client-exe", required=True)
    parser.add_argument("--baseline-exe", required=True)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--tick-ms", type=float, required=True, help="CPU time resolution")
    parser.add_argument("--mode", required=True)
    parser.add_argument("--wine", default="")
    parser.add_argument("--load-before", default="")
    parser.add_argument("--out", required=True)
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()

    samples, notes, errors, meta = read_samples([args.client_raw, args.server_raw])
    tick = args.tick_ms
    idle_s = meta.get("idle_seconds", "?")

    # Whole-file figures, read here rather than measured.
    for exe, who in ((args.client_exe, "client"), (args.baseline_exe, "baseline")):
        if os.path.exists(exe):
            samples[("exe_bytes", who)] = [float(os.path.getsize(exe))]
    imports = []
    if os.path.exists(args.client_exe):
        try:
            imports = pe_imports(args.objdump, args.client_exe)
            samples[("foreign_dlls", "client")] = [float(sum(not is_system_dll(d) for d in imports))]
        except (OSError, subprocess.CalledProcessError) as failure:
            errors.append(f"objdump: {failure}")

    # id, who-of-baseline, title, unit scale, unit, target kind, target value, target text
    # kinds: ratio_le (median / baseline median), le, lt, ge, near (|x - value| <= 2 ticks)
    figures = [
        ("startup_ms", "baseline", "Start-up to painted login window", 1, "ms", "ratio_le", 1.10, "≤ 1.10×"),
        ("roundtrip_ms", "baseline", "Login round trip to confirmation window", 1, "ms", "ratio_le", 1.2, "≤ 1.2×"),
        ("roundtrip_ms#baseline_async", None, "… baseline reading the reply on a socket message", 1, "ms", None, None, "—"),
        ("roundtrip_ms#baseline_async_controls", None, "… and with the confirmation window's controls", 1, "ms", None, None, "—"),
        ("idle_cpu_ms.login", "baseline", f"Idle CPU, login window (ms per {idle_s} s)", 1, "ms", "le", tick, f"≤ {tick:g} ms (1 tick)"),
        ("idle_cpu_ms.login#baseline_no_focus", None, f"… baseline with no focus, so no blinking caret (ms per {idle_s} s)", 1, "ms", None, None, "—"),
        ("idle_cpu_ms.confirm", None, f"Idle CPU, confirmation window open (ms per {idle_s} s)", 1, "ms", "le", tick, f"≤ {tick:g} ms (1 tick)"),
        ("idle_cpu_ms.box", None, f"Idle CPU, rejection box open (ms per {idle_s} s)", 1, "ms", "le", tick, f"≤ {tick:g} ms (1 tick)"),
        ("idle_cpu_ms.hidden", None, f"Idle CPU, no window after confirmation (ms per {idle_s} s)", 1, "ms", "le", tick, f"≤ {tick:g} ms (1 tick)"),
        ("cpu_check_ms#baseline", None, "Check of the CPU reading: 300 ms burnt, read as", 1, "ms", "near", 300, f"300 ± {2 * tick:g} ms"),
        ("peak_working_set_bytes", "baseline", "Peak working set", MIB, "MiB", "ratio_le", 1.2, "≤ 1.2×"),
        ("private_bytes", "baseline", "Private bytes", MIB, "MiB", "ratio_le", 1.2, "≤ 1.2×"),
        ("exe_bytes", "baseline", "Executable size, five images included", MIB, "MiB", "le", 2.5 * MIB, "≤ 2.5 MiB"),
        ("foreign_dlls", None, "Imported DLLs that are not system DLLs", 1, "", "le", 0, "0"),
        ("server.logins_per_s.c1", None, "Exam server logins/s, 1 connection (closed loop)", 1, "/s", None, None, "— (round-trip bound)"),
        ("server.logins_per_s.c100", None, "Exam server logins/s, 100 connections", 1, "/s", "ge", 20000, "≥ 20,000"),
        ("server.logins_per_s.c1000", None, "Exam server logins/s, 1,000 connections", 1, "/s", "ge", 20000, "≥ 20,000"),
    ]
    rate = meta.get("server_rate", "?")
    for count in (1, 100, 1000):
        label = f"{count:,} connection" + ("s" if count > 1 else "")
        figures.append((f"server.latency_p50_ms.c{count}", None, f"Reply latency p50, {label}, {rate:g} logins/s offered"
                        if isinstance(rate, (int, float)) else f"Reply latency p50, {label}", 1, "ms", None, None, "—"))
        target = ("lt", 2, "< 2 ms") if count == 1000 else (None, None, "—")
        figures.append((f"server.latency_p99_ms.c{count}", None, f"Reply latency p99, {label}, {rate:g} logins/s offered"
                        if isinstance(rate, (int, float)) else f"Reply latency p99, {label}", 1, "ms", *target))
    for count in (1, 100, 1000):
        figures.append((f"server.saturated_p99_ms.c{count}", None,
                        f"Reply latency p99 at saturation (closed loop), {count:,} conn.", 1, "ms", None, None, "—"))
    for count in (1, 100, 1000):
        figures.append((f"server.foreign_cpu_percent.c{count}", None,
                        f"CPU taken by other programs during the {count:,}-connection runs", 1, "%", None, None, "—"))
    figures.append(("server.idle_bytes_per_conn", None,
                    f"Exam server memory per idle connection ({meta.get('server_idle_connections', '?'):,} open)"
                    if isinstance(meta.get("server_idle_connections"), (int, float)) else
                    "Exam server memory per idle connection", 1024, "KiB", "le", 8192, "≤ 8 KiB"))

    rows, results, missing = [], [], []
    for fid, baseline_who, title, scale, unit, kind, target, target_text in figures:
        key, _, who = fid.partition("#")
        who = who or ("server" if key.startswith("server.") else "client")
        own = summary(samples.get((key, who), []))
        base = summary(samples.get((key, baseline_who), [])) if baseline_who else None
        if own is None:
            missing.append(fid)
        if baseline_who and base is None:
            missing.append(f"{fid} (baseline)")
        ratio = own["median"] / base["median"] if own and base and base["median"] else None
        met = None
        if own and kind:
            value = own["median"]
            if kind == "ratio_le":
                met = ratio is not None and ratio <= target
            elif kind == "le":
                met = value <= target
            elif kind == "lt":
                met = value < target
            elif kind == "ge":
                met = value >= target
            elif kind == "near":
                met = abs(value - target) <= 2 * tick
        stable = "ratio" if kind == "ratio_le" else "absolute"

        def show(number):
            if number is None:
                return "—"
            scaled = number / scale
            if abs(scaled) >= 1000:
                return f"{scaled:,.0f}"
            if abs(scaled) >= 100:
                return f"{scaled:.0f}"
            if abs(scaled) >= 10:
                return f"{scaled:.1f}"
            return f"{scaled:.2f}" if scaled else "0"

        unit_text = unit if unit in ("/s", "%") else (f" {unit}" if unit else "")
        rows.append([
            title,
            show(own["median"]) + unit_text if own else "MISSING",
            f"{show(own['min'])}–{show(own['max'])}" if own else "—",
            show(base["median"]) + unit_text if base else "—",
            f"{ratio:.2f}×" if ratio is not None else "—",
            target_text,
            {True: "yes", False: "**no**", None: "—"}[met],
        ])
        results.append({
            "id": fid, "title": title, "unit": unit, "scale": scale, "kind": stable,
            "value": own, "baseline": base, "ratio": ratio, "target": target_text, "met": met,
        })

    header = ["figure", "median", "min–max", "baseline", "ratio", "target", "met"]
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    table = "\n".join(lines)

    def first_line(path):
        try:
            with open(path, encoding="utf-8") as stream:
                return stream.readline().strip()
        except OSError:
            return ""

    cpu = ""
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as stream:
            cpu = next((l.split(":", 1)[1].strip() for l in stream if l.startswith("model name")), "")
    except OSError:
        pass
    machine = {
        "cpu": cpu, "cores": os.cpu_count(), "kernel": platform.release(),
        "memory": next((f"{int(l.split()[1]) / 1024 / 1024:.0f} GiB RAM" for l in open("/proc/meminfo")
                        if l.startswith("MemTotal")), ""),
        "os": next((l.split("=", 1)[1].strip().strip('"') for l in open("/etc/os-release") if l.startswith("PRETTY_NAME")), ""),
        "wine": args.wine, "load_before": args.load_before, "load_after": first_line("/proc/loadavg"),
        "cpu_tick_ms": tick,
    }
    document = {
        "date": datetime.datetime.now().astimezone().isoformat(timespec="seconds"),
        "mode": args.mode, "machine": machine, "meta": meta, "imports": imports,
        "figures": results, "missing": missing, "notes": notes, "errors": errors, "table": table,
    }
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with open(args.out, "w", encoding="utf-8") as stream:
        json.dump(document, stream, ensure_ascii=False, indent=2)
    with open(os.path.splitext(args.out)[0] + ".md", "w", encoding="utf-8") as stream:
        stream.write(table + "\n")

    print(table)
    print()
    print(f"Imports of the client: {', '.join(imports) if imports else '(none read)'}")
    print(f"Machine: {machine['cpu']}, {machine['cores']} cores, {machine['memory']}, {machine['os']}, "
          f"kernel {machine['kernel']}, {machine['wine']}; load {machine['load_before']} before, "
          f"{machine['load_after']} after")
    for note in notes:
        print(f"note: {note}")
    for error in errors:
        print(f"error: {error}")
    for fid in missing:
        print(f"missing: {fid}")
    print(f"Results: {args.out}")
    if args.check and (missing or errors):
        print(f"bench: check failed: {len(missing)} figures missing, {len(errors)} errors", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
