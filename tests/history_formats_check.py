#!/usr/bin/env python3
"""Reads history reports in JSON and the same reports in CSV with Python's own
json and csv modules and checks that both hold the same rows and figures.

    history_formats_check.py REPORT.json REPORT.csv [REPORT.json REPORT.csv]...

Prints "ok N rows" per pair and exits 0, or prints what differs and exits 1.
"""
import csv
import json
import sys

FIGURES = ["sessions", "turns", "active_sec", "idle_sec", "wall_sec", "duty_cycle_pct",
           "tool_calls", "input_tokens", "output_tokens", "cache_read_tokens",
           "cache_creation_tokens"]
SESSION_FACTS = ["id", "start", "profile", "model", "project", "live"]


def fail(message):
    print(message)
    sys.exit(1)


def check_figures(where, figures):
    for name in FIGURES:
        if name not in figures:
            fail(f"{where}: no {name}")
        value = figures[name]
        if name == "duty_cycle_pct":
            if not isinstance(value, (int, float)) or not 0 <= value <= 100:
                fail(f"{where}: duty {value!r}")
        elif not isinstance(value, int) or value < 0:
            fail(f"{where}: {name} {value!r} is no count")
    if figures["idle_sec"] != figures["wall_sec"] - figures["active_sec"]:
        fail(f"{where}: idle is not wall less active")


def check_pair(json_path, csv_path):
    with open(json_path, "rb") as f:
        report = json.loads(f.read().decode("utf-8"))
    with open(csv_path, newline="", encoding="utf-8") as f:
        records = list(csv.reader(f, strict=True))

    key = report["by"]
    for member in ["tz", "since", "until", "sessions_root", "rows", "total"]:
        if member not in report:
            fail(f"JSON lacks {member}")
    facts = SESSION_FACTS if key == "session" else []
    heading = [key] + facts + FIGURES
    if records[0] != heading:
        fail(f"CSV heading {records[0]} is not {heading}")
    rows = report["rows"]
    if len(records) != len(rows) + 2:
        fail(f"CSV has {len(records) - 2} rows, JSON {len(rows)}")
    check_figures("total", report["total"])
    sums = {name: 0 for name in FIGURES}
    for index, row in enumerate(rows):
        check_figures(f"row {index}", row)
        record = records[index + 1]
        if len(record) != len(heading):
            fail(f"CSV row {index} has {len(record)} fields")
        if record[0] != row[key]:
            fail(f"row {index}: CSV key {record[0]!r}, JSON {row[key]!r}")
        for at, name in enumerate(facts, start=1):
            value = row[name]
            text = ("true" if value else "false") if isinstance(value, bool) else str(value)
            if record[at] != text:
                fail(f"row {index}: CSV {name} {record[at]!r}, JSON {text!r}")
        for at, name in enumerate(FIGURES, start=1 + len(facts)):
            if float(record[at]) != float(row[name]):
                fail(f"row {index}: CSV {name} {record[at]}, JSON {row[name]}")
            sums[name] += row[name]
    total = records[-1]
    if total[0] != "total":
        fail(f"last CSV row is {total[0]!r}, not the total")
    for at, name in enumerate(FIGURES, start=1 + len(facts)):
        if int(float(total[at])) != int(float(report["total"][name])) and name != "duty_cycle_pct":
            fail(f"total {name}: CSV {total[at]}, JSON {report['total'][name]}")
        # Rows of time count a session once in each day it touches; only the
        # other figures add up to the total.
        if name not in ("sessions", "duty_cycle_pct") and sums[name] != report["total"][name]:
            fail(f"rows add up to {sums[name]} {name}, the total says {report['total'][name]}")
    print(f"ok {len(rows)} rows")


def main():
    paths = sys.argv[1:]
    if not paths or len(paths) % 2 != 0:
        fail("usage: history_formats_check.py REPORT.json REPORT.csv ...")
    for at in range(0, len(paths), 2):
        check_pair(paths[at], paths[at + 1])


main()
