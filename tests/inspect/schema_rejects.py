#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""The schema check catches what the JSON's readers would trip on: each case takes a golden file
that passes, changes one thing, and the check must fail on it, naming the place.

Usage: schema_rejects.py CHECKER DOC_FOLDER GOLDEN_FOLDER WORK_FOLDER
"""
import json
import os
import subprocess
import sys

checker, doc, golden, work = sys.argv[1:5]
os.makedirs(work, exist_ok=True)

def rename(obj, key, new):
    obj[new] = obj.pop(key)

# (schema, golden file, change, what the check must name)
cases = [
    ("kzt_inspect", "small_drive_inspect.json",
     lambda d: rename(d["identity"], "mebibytes", "megabytes"), "'megabytes' was unexpected"),
    ("kzt_inspect", "missing_answers_inspect.json",
     lambda d: d["wear"][0].update(bad=0), "at /wear/0/bad: 0 is not of type 'null'"),
    ("kzt_inspect", "missing_answers_inspect.json",
     lambda d: d["wear"][1].update(blocks=0), "at /wear/1/blocks"),
    ("kzt_inspect", "no_flash_ids_inspect.json",
     lambda d: d.update(ce_mask=""), "at /ce_mask"),
    ("kzt_inspect", "small_drive_inspect.json",
     lambda d: d["identity"].update(serial="GLD0000000001   "), "at /identity/serial"),
    ("kzt_inspect_diff", "small_drive_diff.json",
     lambda d: rename(d["banks"][0], "left_grown", "grown_left"), "'grown_left' was unexpected"),
]
failed = 0
for number, (schema, name, change, expected) in enumerate(cases):
    with open(os.path.join(golden, name), encoding="utf-8") as f:
        document = json.load(f)
    change(document)
    path = os.path.join(work, "case%d.json" % number)
    with open(path, "w", encoding="utf-8") as f:
        json.dump(document, f)
    run = subprocess.run([sys.executable, checker, os.path.join(doc, schema + ".schema.json"), path],
                         capture_output=True, text=True, check=False)
    if run.returncode == 0 or expected not in run.stdout:
        print("case %d (%s, %s): the check did not fail naming %r:\n%s" % (number, schema, name, expected, run.stdout))
        failed += 1
print("schema rejects: %d passed, %d failed" % (len(cases) - failed, failed))
sys.exit(1 if failed else 0)
