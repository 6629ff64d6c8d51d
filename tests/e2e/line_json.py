#!/usr/bin/python3
"""Reads what a run of several boards left in JSON, with Python's own parser, checks the shape
every line must have, and prints a summary for the test to compare, one board a line, sorted
by port:

  line_json.py events FILE   the --json standard output:
      start boards=N
      PORT result=R exit=S serial=N|None bytes=B message=yes|no
      end exit=S succeeded=K boards=N
  line_json.py log FILE      the --log file:
      PORT result=R exit=S serial=N|None bytes=B message=yes|no operation=O

Any line that is not JSON, or an event or record out of shape, ends it with a traceback."""
import json
import sys

STAGES = {"talker load", "prepare", "erase", "download", "verify", "read", "monitor", "idle"}
LOG_KEYS = ["time", "host", "port", "part", "crystal", "input", "sha256", "operation", "serial",
            "result", "exit", "message", "seconds", "bytes", "version"]
RESULT_KEYS = ["event", "port", "result", "exit", "message", "seconds", "serial", "bytes",
               "output"]


def lines_of(path):
    with open(path, encoding="utf-8") as file:
        return [json.loads(line) for line in file]


def row(r):
    return (f"{r['port']} result={r['result']} exit={r['exit']} serial={r['serial']} "
            f"bytes={r['bytes']} message={'yes' if r['message'] else 'no'}")


def check_board_event(event, results):
    """One board's event, with its port, or the run's own message."""
    port, kind = event["port"], event["event"]
    if port is None:  # the run's own text, before any board
        assert kind == "message", event
        return
    assert isinstance(port, str) and port, event
    if kind == "stage":
        assert event["stage"] in STAGES and isinstance(event["total"], int), event
    elif kind == "progress":
        assert 0 <= event["done"] <= event["total"], event
    elif kind == "message":
        assert event["stream"] in ("stdout", "stderr") and isinstance(event["text"], str), event
        assert "\n" not in event["text"], event
    elif kind == "result":
        assert list(event) == RESULT_KEYS, event
        assert event["result"] in ("success", "failure"), event
        assert (event["result"] == "success") == (event["exit"] == 0), event
        assert isinstance(event["seconds"], (int, float)) and event["seconds"] >= 0, event
        assert event["output"] is None or isinstance(event["output"], str), event
        results.setdefault(port, []).append(event)
    else:
        assert kind == "waiting", event


def summarise_events(path):
    events = lines_of(path)
    start, end = events[0], events[-1]
    assert start["event"] == "start" and isinstance(start["version"], str), start
    assert end["event"] == "end", end
    results = {}
    for event in events[1:-1]:
        check_board_event(event, results)
    every = [result for port in results for result in results[port]]
    assert end["succeeded"] == sum(r["result"] == "success" for r in every), (end, every)
    print(f"start boards={start['boards']}")
    for port in sorted(results):
        for r in results[port]:
            print(row(r))
    print(f"end exit={end['exit']} succeeded={end['succeeded']} boards={end['boards']}")


def summarise_log(path):
    records = lines_of(path)
    for r in records:
        assert list(r) == LOG_KEYS, r
        assert (r["result"] == "success") == (r["message"] == ""), r
    for r in sorted(records, key=lambda r: (r["port"], str(r["serial"]))):
        print(f"{row(r)} operation={r['operation']}")


if __name__ == "__main__":
    {"events": summarise_events, "log": summarise_log}[sys.argv[1]](sys.argv[2])
