#!/usr/bin/env python3
"""A soak of qrv-idctl on a line with faults: the virtual device with real
wire timing, noise, stray bytes, late and slow answers, restarts, bad CRCs,
lost answers and two devices sharing an address; N changes and a scan every
ten, each run as a technician would, with --json. Afterwards every printed
result and every day-log record is checked against the device's own log of
what it heard and did.

    bench/soak.py [CHANGES] [SEED]      (after ./test.sh has built build/)

Prints the attempts, the records, the results by kind, the results and
records that contradict the device (must be 0) and the devices each scan
missed."""

import collections
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BIN = os.path.join(ROOT, "build", "bin")
BAUD = 9600
# Devices by their place on the device's command line, from 1: five alone,
# the third slow at times, and two more sharing address 16.
START_IDS = [11, 12, 13, 14, 15, 16, 16]
DEVSIM_OPTIONS = [
    "--wire", "--noise", "1500", "--extra", "1@0.2", "--late", "20-300@0.1",
    "--restart", "1500-2000@0.2", "--bad-crc@0.02", "--no-answer@0.02",
]
FREE_IDS = range(20, 61)
CLAIMS_MOVED = {"confirmed", "moved", "unverified"}
CLAIMS_UNSENT = {"no_device", "several_devices", "taken", "not_run"}


def crc16(data):
    reg = 0xFFFF
    for byte in data:
        reg ^= byte
        for _ in range(8):
            reg = (reg >> 1) ^ 0xA001 if reg & 1 else reg >> 1
    return [reg & 0xFF, reg >> 8]


def hex_bytes(data):
    """As the tool and the device write bytes: "11 6 0 A 0 1 6A 98"."""
    return " ".join("%X" % b for b in data)


def change_request(old, new):
    body = [old, 6, 0, 10, 0, new]
    return hex_bytes(body + crc16(body))


def read_request(address):
    body = [address, 3, 0, 10, 0, 1]
    return hex_bytes(body + crc16(body))


class DeviceLog:
    """The device's log: its events, and who held which ID when."""

    def __init__(self, path):
        self.events = []
        with open(path, encoding="utf-8") as log:
            for line in log:
                fields = line.rstrip("\n").split("\t")
                if len(fields) == 6:
                    self.events.append(fields)
        self.changes = [(int(e[0]), e) for e in self.events if e[1] == "change"]

    def ids_at(self, ms):
        """Each device's ID at ms since the device's start."""
        ids = list(START_IDS)
        for at, event in self.changes:
            if at > ms:
                break
            extra = dict(kv.split("=") for kv in event[5].split())
            for device in event[4].split(","):
                ids[int(device) - 1] = int(extra["to"])
        return ids

    def between(self, start, end, kind):
        return [e for e in self.events if e[1] == kind and start <= int(e[0]) <= end]

    def answers(self, frame_numbers):
        return [e for e in self.events if e[1] == "tx" and e[2] in frame_numbers]

    def clean(self, answer):
        """An answer with no fault of its own and no noise over it on the wire."""
        at, length = int(answer[0]), len(answer[3].split()) * 11000 // BAUD + 1
        return answer[5] == "-" and not [
            e for e in self.events if e[1] == "noise" and "overlap" in e[5] and
            at - 4 <= int(e[0]) <= at + length]


def day_log_records(folder):
    """The records of the day logs in folder: (old, new, sent, last line)."""
    records = []
    for name in sorted(os.listdir(folder)):
        if not (name.startswith("20") and name.endswith(".txt")):
            continue
        text = open(os.path.join(folder, name), encoding="utf-8", newline="").read()
        for record in text.split('"')[1::2]:
            lines = record.split("\r\n")
            head = lines[1]
            old = int(head.split("原ID= ")[1].split(";")[0])
            new = int(head.split("新ID= ")[1].split()[0])
            sent = lines[3].split("：", 1)[1]
            last = [l for l in lines if l.endswith("*" * 36) and not l.startswith("*")]
            records.append((old, new, sent, last[0][: -36] if last else None))
    return records


class Soak:
    def __init__(self, changes, seed):
        self.changes, self.seed = changes, seed
        self.random = random.Random(seed)
        self.dir = tempfile.mkdtemp(prefix="qrv-soak-")
        self.tool = os.path.join(self.dir, "tool")
        os.makedirs(self.tool)
        shutil.copy(os.path.join(BIN, "qrv-idctl"), self.tool)
        self.line = os.path.join(self.dir, "line")
        self.log = os.path.join(self.dir, "device.log")
        self.attempts = []  # (result object, start ms, end ms)
        self.scans = []     # (hits, start ms, end ms)

    def start_device(self):
        options = []
        for place, address in enumerate(START_IDS):
            options += ["--id", str(address)]
            if place == 2:
                options += ["--slow", "200-900@0.3"]
        self.device = subprocess.Popen(
            [os.path.join(BIN, "qrv-devsim"), "--link", self.line, "--seed", str(self.seed),
             "--log", self.log] + options + DEVSIM_OPTIONS, stdout=subprocess.DEVNULL)
        self.started = time.monotonic()
        while not os.path.islink(self.line):
            time.sleep(0.005)

    def now_ms(self):
        return int((time.monotonic() - self.started) * 1000)

    def idctl(self, *args):
        start = self.now_ms()
        out = subprocess.run([os.path.join(self.tool, "qrv-idctl"), *args, "--port", self.line,
                              "--baud", str(BAUD), "--json"], capture_output=True, text=True).stdout
        return [json.loads(line) for line in out.splitlines()], start, self.now_ms()

    def pick(self, ids):
        """A change as a technician would try it, now and then a wrong one."""
        alone = [i for i in ids[:5]]
        draw = self.random.random()
        old = 16 if draw < 0.05 else self.random.choice(FREE_IDS) if draw < 0.08 else \
            self.random.choice(alone)
        taken = draw > 0.95
        new = self.random.choice([i for i in alone if i != old]) if taken else \
            self.random.choice([i for i in FREE_IDS if i not in ids and i != old])
        return old, new

    def run(self):
        self.start_device()
        ids = list(START_IDS)
        for n in range(self.changes):
            if n % 10 == 0:
                hits, start, end = self.idctl("scan", "--ids", "1-60")
                self.scans.append(([h for h in hits if h.get("is_device")], start, end))
            old, new = self.pick(ids)
            results, start, end = self.idctl("change", "--from", str(old), "--to", str(new))
            self.attempts.append((results[0], start, end))
            time.sleep(0.3)  # attempts apart in the device's log
            self.device_log = DeviceLog(self.log)
            ids = self.device_log.ids_at(self.now_ms())
        hits, start, end = self.idctl("scan", "--ids", "1-60")
        self.scans.append(([h for h in hits if h.get("is_device")], start, end))
        self.device.terminate()
        self.device.wait()
        self.device_log = DeviceLog(self.log)

    def contradiction(self, result, start, end):
        """Why a result contradicts what the device did; None when it does not."""
        log = self.device_log
        old, new, kind = result["from"], result["to"], result["result"]
        # A few ms either way: the two clocks start apart.
        heard = log.between(start - 50, end + 50, "rx")
        sent = [e for e in heard if e[3] == change_request(old, new)]
        moved = [e for e in log.between(start - 50, end + 2000, "change")
                 if e[2] in {s[2] for s in sent}]
        ids = log.ids_at(start)
        if kind in CLAIMS_MOVED and not moved:
            return "said moved, did not move"
        if kind in CLAIMS_UNSENT and sent:
            return "said nothing sent, the change was heard"
        if kind == "refused" and moved:
            return "said refused, moved"
        if kind == "taken" and new not in ids:
            return "said taken, nobody held it"
        if kind == "several_devices" and ids.count(old) < 2:
            if os.environ.get("SOAK_DEBUG"):
                print("\n".join("    " + "\t".join(e) for e in log.events if start - 50 <= int(e[0]) <= end + 50))
            return "said several, not two there"
        # Said unheard where the device answered with nothing wrong, in time.
        unheard = {"no_device": old, "no_reply": new, "mismatch": new, "unconfirmed": new}
        if kind in unheard:
            asked = {e[2] for e in heard if e[3] == read_request(unheard[kind])}
            if [e for e in log.answers(asked) if log.clean(e) and int(e[0]) <= end]:
                return "said unheard, the device answered cleanly"
        return None

    def why_missed(self, address, start, end):
        """What the device's log says of a probe's answer: heard, answered how."""
        log = self.device_log
        heard = [e for e in log.between(start - 50, end + 50, "rx") if e[3] == read_request(address)]
        if not heard:
            return "the probe was not heard whole"
        told = [e[5] for e in heard if e[5] != "-"]
        answers = log.answers({e[2] for e in heard})
        if os.environ.get("SOAK_DEBUG"):
            at = int(heard[0][0])
            print("\n".join("    " + "\t".join(e) for e in log.events if at - 300 <= int(e[0]) <= at + 300))
        spoiled = [e[5] if e[5] != "-" else "noise over it" for e in answers if not log.clean(e)]
        return "; ".join(told + spoiled) or \
            "answered cleanly at " + ", ".join(f"{int(e[0]) - int(heard[0][0])} ms" for e in answers)

    def cases(self):
        """The attempts by what the line held when each began, and their results."""
        cases = collections.defaultdict(collections.Counter)
        for r, start, end in self.attempts:
            ids = self.device_log.ids_at(start)
            case = "nobody at the old ID" if r["from"] not in ids else \
                "two at the old ID" if ids.count(r["from"]) > 1 else \
                "the new ID held" if r["to"] in ids else "a change to make"
            cases[case][r["result"]] += 1
            if os.environ.get("SOAK_DEBUG") and case == "a change to make" and \
                    r["result"] not in CLAIMS_MOVED:
                print(r["text"])
                print("\n".join("    " + "\t".join(e) for e in self.device_log.events
                                if start - 50 <= int(e[0]) <= end + 50))
        return cases

    def report(self):
        records = day_log_records(self.tool)
        kinds = collections.Counter(r["result"] for r, _, _ in self.attempts)
        wrong = [(r, why) for r, s, e in self.attempts if (why := self.contradiction(r, s, e))]
        filed = [r for r, _, _ in self.attempts if r.get("filed")]
        told = {(r["from"], r["to"], r["text"].split("：", 1)[1]) for r in filed}
        wrong_records = [rec for rec in records if (rec[0], rec[1], rec[3]) not in told or
                         rec[2] != change_request(rec[0], rec[1])]
        # A record that says moved where the device did not, as a result would.
        for r, s, e in self.attempts:
            if r.get("filed") and r["result"] in CLAIMS_MOVED and self.contradiction(r, s, e):
                wrong_records.append(r["text"])
        missed = asked = 0
        misses = []
        for hits, start, end in self.scans:
            ids = self.device_log.ids_at(start)
            alone = {i for i in ids if ids.count(i) == 1 and i <= 60}
            found = {h["id"] for h in hits if h.get("value") == h["id"]}
            missed += len(alone - found)
            asked += len(alone)
            for address in sorted(alone - found):
                misses.append(f"  ID {address}: " + self.why_missed(address, start, end))
            wrong += [({"result": "scan", "text": str(h)}, "listed, nobody there")
                      for h in hits if h["id"] not in ids]
        noise = sum(len(e[3].split()) for e in self.device_log.events if e[1] == "noise")
        faults = collections.Counter(f.split("=")[0] for e in self.device_log.events
                                     if e[1] == "tx" for f in e[5].split() if f != "-")
        print(f"seed {self.seed}: {len(self.attempts)} attempts, {len(records)} records, "
              f"{len(self.scans)} scans")
        print("results: " + ", ".join(f"{k} {v}" for k, v in sorted(kinds.items())))
        print("asked as the line stood: " + "; ".join(
            f"{case} {sum(n.values())} ({', '.join(f'{k} {v}' for k, v in sorted(n.items()))})"
            for case, n in sorted(self.cases().items())))
        print(f"the line: {noise} bytes of noise; answers with " +
              ", ".join(f"{k} {v}" for k, v in sorted(faults.items())))
        print(f"results that contradict the device: {len(wrong)}")
        for r, why in wrong:
            print(f"  {why}: {r['text']}")
        print(f"records that contradict the device or the result: {len(wrong_records)}")
        for rec in wrong_records:
            print(f"  {rec}")
        print(f"devices missed by scan: {missed} of {asked}")
        print("\n".join(misses))
        return 1 if wrong or wrong_records else 0


def main():
    changes = int(sys.argv[1]) if len(sys.argv) > 1 else 40
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    soak = Soak(changes, seed)
    try:
        soak.run()
        status = soak.report()
    finally:
        if getattr(soak, "device", None) and soak.device.poll() is None:
            soak.device.kill()
        shutil.rmtree(soak.dir, ignore_errors=True)
    sys.exit(status)


if __name__ == "__main__":
    main()
