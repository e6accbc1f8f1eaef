#!/usr/bin/python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Validates JSON objects against their JSON Schema (draft 2020-12) with a real validator,
Debian's python3-jsonschema.

Usage: check_json_schema.py SCHEMA [FILE ...] [-- COMMAND [ARG ...]]

Validates each FILE, and the standard output of COMMAND (which must end with status 0). The
check is stricter than the published schema, as the suite needs it to be:
- every object of the schema that lists its keys lists all of them as required, since keys are
  never removed within a format version;
- the objects are closed: a key that the schema does not list fails, so no key is added without
  the schema. The published schema leaves them open, so that a reader of 1.0 still validates a
  later 1.x object.
"""
import copy
import json
import subprocess
import sys

try:
    from jsonschema import Draft202012Validator
except ImportError:
    sys.exit("check_json_schema: python3-jsonschema is needed (Debian: apt-get install python3-jsonschema)")


def closed(schema, path, faults, condition=False):
    """The schema with every object closed; optional keys go into `faults`. The subschemas of
    if, then and else are conditions on an object described elsewhere: they stay as written."""
    if isinstance(schema, list):
        return [closed(item, path, faults, condition) for item in schema]
    if not isinstance(schema, dict):
        return schema
    result = {key: closed(value, path + "/" + key, faults, condition or key in ("if", "then", "else"))
              for key, value in schema.items()}
    if "properties" in schema and not condition:
        optional = sorted(set(schema["properties"]) - set(schema.get("required", [])))
        if optional:
            faults.append("%s: keys not required: %s" % (path or "/", ", ".join(optional)))
        result.setdefault("additionalProperties", False)
    return result


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__)
    schema_file, rest = argv[1], argv[2:]
    command = rest[rest.index("--") + 1:] if "--" in rest else []
    files = rest[:rest.index("--")] if "--" in rest else rest
    with open(schema_file, encoding="utf-8") as f:
        schema = json.load(f)
    Draft202012Validator.check_schema(schema)
    faults = []
    validator = Draft202012Validator(closed(copy.deepcopy(schema), "", faults))

    documents = []
    for name in files:
        with open(name, encoding="utf-8") as f:
            documents.append((name, f.read()))
    if command:
        run = subprocess.run(command, stdout=subprocess.PIPE, check=False)
        if run.returncode != 0:
            faults.append("%s: ended with status %d" % (" ".join(command), run.returncode))
        documents.append((" ".join(command), run.stdout.decode("utf-8")))

    passed = 0
    for name, text in documents:
        errors = sorted(validator.iter_errors(json.loads(text)), key=lambda e: list(e.absolute_path))
        for error in errors:
            where = "/".join(str(p) for p in error.absolute_path)
            faults.append("%s: at /%s: %s" % (name, where, error.message))
        passed += not errors
    for fault in faults:
        print("check_json_schema: %s: %s" % (schema_file, fault))
    print("schema %s: %d passed, %d failed" % (schema_file.rsplit("/", 1)[-1], passed, len(documents) - passed))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
