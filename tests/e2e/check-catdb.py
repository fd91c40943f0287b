#!/usr/bin/env python3
"""Compares the content of Cat.DB (as read-catdb.py prints it) with what
expected.jsonl says of the catalogs in a tree: every accepted catalog is
recorded with its signer values, flags and time value, each of its member
hashes maps to it or to an accepted catalog scanned earlier that lists it
too, and no refused or unknown catalog is recorded.

  check-catdb.py <content.json> <expected.jsonl> <catalog file name>..."""
import json
import sys


def main():
    content = json.load(open(sys.argv[1]))
    expected = {}
    for line in open(sys.argv[2]):
        row = json.loads(line)
        expected[row["file"].lower()] = row
    present = {name.lower() for name in sys.argv[3:]}
    recorded = {}
    for path, record in content["catalogs"].items():
        recorded[path.replace("/", "\\").rsplit("\\", 1)[-1].lower()] = (path, record)
    errors = []
    for name in sorted(present):
        row = expected.get(name)
        accepted = row is not None and row["verdict"] == "accepted"
        if not accepted:
            if name in recorded:
                errors.append(f"{name}: recorded, but it is refused")
            continue
        if name not in recorded:
            errors.append(f"{name}: accepted, but not recorded")
            continue
        path, record = recorded[name]
        # Names 1 and 2 are kept with their terminating NUL, which the
        # expectations leave out.
        values = record["signer_values"]
        record["signer_values"] = [v[:-2] if i < 2 and v.endswith("00") else v for i, v in enumerate(values)]
        for field, want in (("signer_values", row["signer_values"]), ("signer_flags", row["signer_flags"]),
                            ("time_value", row["time_value"])):
            if record[field] != want:
                errors.append(f"{name}: {field} {record[field]} != {want}")
        for member in row["member_hashes"]:
            owner = content["hashes"].get(member)
            if owner is None:
                errors.append(f"{name}: member {member} missing")
            elif owner != path:
                other = owner.replace("/", "\\").rsplit("\\", 1)[-1].lower()
                if member not in expected.get(other, {}).get("member_hashes", []):
                    errors.append(f"{name}: member {member} mapped to {owner}")
    for message in errors:
        print(message)
    accepted = sum(1 for name in present if expected.get(name, {}).get("verdict") == "accepted")
    print(f"{len(recorded)} recorded, {accepted} expected, {len(errors)} disagreements")
    return 1 if errors or len(recorded) != accepted else 0


if __name__ == "__main__":
    sys.exit(main())
