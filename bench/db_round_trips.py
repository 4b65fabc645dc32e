#!/usr/bin/env python3
"""Database round trips of the real program against the TDS test server.

    bench/db_round_trips.py [--corvex build/corvex] [--runs 10] [--delay-ms 5]

Builds the demo workspace (corvex demo), makes its documents pending again,
serves its database with tests/support/tds_server.py (every reply delayed by
--delay-ms) and runs `corvex --headless` on it until --runs runs have ended
(one every 5 s). Reads the server's counters after start-up and after each
run and prints logins and round trips (PRELOGIN, LOGIN7, batches and
attentions the server answered): for start-up, for the first run (which
mails the documents), per document, and for each later run (empty view).
"""

import argparse
import json
import os
import sqlite3
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "tests", "support", "tds_server.py")
TYPES = ["JSonDTE=nvarchar(max)", "JSonFirmado=nvarchar(max)", "LOGO=varbinary(max)", "TOTAL=money",
         "Fecha=datetime", "tNombre=nvarchar(200)"]
LEGACY_TYPES = ["JSonDTE=ntext", "JSonFirmado=ntext", "LOGO=image"]


def stats(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--corvex", default=os.path.join(HERE, "..", "build", "corvex"))
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--delay-ms", type=int, default=5)
    parser.add_argument("--legacy", action="store_true",
                        help="ntext and image instead of the max types, and no TEXTSIZE limit: what a program "
                             "reading long values in one piece gets through")
    args = parser.parse_args()
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    with tempfile.TemporaryDirectory() as work:
        app = os.path.join(work, "app")
        subprocess.run([args.corvex, "demo", app], check=True, env=env, capture_output=True)
        database = os.path.join(app, "corvex-demo.db")
        with sqlite3.connect(database) as db:
            documents = db.execute("UPDATE FACTURAS_ENC SET ENVIADA = 0").rowcount
        stats_file = os.path.join(work, "stats.json")
        types = [a for t in TYPES + (LEGACY_TYPES if args.legacy else []) for a in ("--type", t)]
        if args.legacy:
            types += ["--default-textsize", "0"]
        server = subprocess.Popen([sys.executable, SERVER, "--database", database, "--stats-file", stats_file,
                                   "--delay-ms", str(args.delay_ms)] + types,
                                  stdout=subprocess.PIPE, text=True)
        port = int(server.stdout.readline().split()[1])
        with open(os.path.join(app, "main.ini"), "w", encoding="utf-8") as f:
            f.write("[DB]\ncString=127.0.0.1,%d\n" % port)
        started = time.monotonic()
        program = subprocess.Popen([args.corvex, "--headless", "--app-dir", app], stdout=subprocess.PIPE, text=True,
                                   env=env)
        snapshots, times = [], []
        try:
            for line in program.stdout:
                if line.startswith("Main") or line.startswith("Last Run: "):
                    snapshots.append(stats(stats_file))
                    times.append(time.monotonic() - started)
                if line.startswith("Error") or len(snapshots) > args.runs:
                    break
        finally:
            program.terminate()
            program.wait(10)
            server.terminate()
            server.wait(10)
    if len(snapshots) <= args.runs:
        sys.exit("the program stopped after %d runs; see its log" % (len(snapshots) - 1))
    delta = [{k: b[k] - a[k] for k in ("logins", "round_trips", "batches")}
             for a, b in zip(snapshots, snapshots[1:])]
    start = snapshots[0]
    later = delta[1:]
    fixed = sum(d["round_trips"] for d in later) / len(later)
    print("documents: %d, reply delay: %d ms" % (documents, args.delay_ms))
    print("start-up: %d logins, %d round trips, %.2f s" % (start["logins"], start["round_trips"], times[0]))
    print("run 1 (mails them): %d logins, %d round trips, %.2f s" %
          (delta[0]["logins"], delta[0]["round_trips"], times[1] - times[0]))
    print("per document: %.1f round trips" % ((delta[0]["round_trips"] - fixed) / documents))
    print("runs 2-%d (empty view): %.1f round trips per run, %d logins in all" %
          (args.runs, fixed, sum(d["logins"] for d in later)))
    print("logins in all: %d" % snapshots[-1]["logins"])


if __name__ == "__main__":
    main()
