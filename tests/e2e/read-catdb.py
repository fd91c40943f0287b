#!/usr/bin/env python3
"""Decodes Cat.DB without the tool's own loader and prints its content as JSON:
{"catalogs": {kernel path: {file_time, signer_flags, time_value, signer_values}},
 "hashes": {hex hash: kernel path}}. Record indexes stay out, so databases
built in a different order compare equal. Exit code 2 for a file it refuses."""
import json
import struct
import sys


def decode(data):
    if len(data) < 12:
        raise ValueError("short header")
    magic, version, dirty = struct.unpack_from("<III", data, 0)
    if (magic, version, dirty) != (222, 8, 0):
        raise ValueError(f"header {magic} {version} {dirty}")
    records, names, hashes, values = {}, {}, {}, []
    pos = 12

    def take(fmt):
        nonlocal pos
        size = struct.calcsize(fmt)
        if pos + size > len(data):
            raise ValueError(f"entry cut short at {pos}")
        out = struct.unpack_from(fmt, data, pos)
        pos += size
        return out

    def take_bytes(n):
        nonlocal pos
        if pos + n > len(data):
            raise ValueError(f"bytes cut short at {pos}")
        pos += n
        return data[pos - n:pos]

    while pos < len(data):
        (tag,) = take("<B")
        if tag == 0xBE:
            low, high, flags, v2, v1, v3, v4, time_value, index = take("<IIIBBBBIQ")
            records[index] = (low | high << 32, flags, time_value, (v1, v2, v3, v4))
        elif tag == 0xDE:
            (count,) = take("<H")
            name = take_bytes(count).decode("utf-16-le")
            (index,) = take("<I")
            names.setdefault(name, index)
        elif tag == 0xAD:
            (length,) = take("<B")
            if length > 32:
                raise ValueError("hash too long")
            value = take_bytes(length).hex()
            (index,) = take("<I")
            hashes.setdefault(value, index)
        elif tag == 0xC0:
            (length,) = take("<I")
            values.append(take_bytes(length).hex())
        else:
            raise ValueError(f"tag {tag:#x} at {pos - 1}")

    by_index = {index: name for name, index in names.items()}
    catalogs = {}
    for name, index in names.items():
        file_time, flags, time_value, slots = records[index]
        catalogs[name] = {"file_time": file_time, "signer_flags": flags, "time_value": time_value,
                          "signer_values": [values[s] for s in slots]}
    return {"catalogs": catalogs, "hashes": {h: by_index[i] for h, i in hashes.items()}}


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    try:
        content = decode(data)
    except (ValueError, KeyError, IndexError) as error:
        print(f"refused: {error}", file=sys.stderr)
        return 2
    json.dump(content, sys.stdout, indent=1, sort_keys=True)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
