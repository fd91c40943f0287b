#!/usr/bin/env python3
# Writes sample.db, the Cat.DB the companion tool's command cases read: two
# catalogs outside the system directory (so both hosts print the same paths),
# whose member hashes are computed here, independently of the tool: the
# Authenticode SHA-256 of driver.sys (the file without its checksum field,
# certificate table entry and certificate table) and the flat SHA-1 of
# driver.inf; and driver-odd.sys, written here: driver.sys unsigned, with
# three bytes of trailing data, so its size is no multiple of 8 and its
# Authenticode SHA-1 goes on with the five zeros signing would pad it with.
# Record 0 is written twice, so 29 bytes are superseded.
import hashlib, struct, os

here = os.path.dirname(os.path.abspath(__file__))
pe = open(os.path.join(here, 'driver.sys'), 'rb').read()
inf = open(os.path.join(here, 'driver.inf'), 'rb').read()

lfanew = struct.unpack_from('<I', pe, 0x3C)[0]
optional = lfanew + 4 + 20
checksum = optional + 64
entry = optional + 112 + 32
cert_offset, cert_size = struct.unpack_from('<II', pe, entry)
image = pe[:checksum] + pe[checksum + 4:entry] + pe[entry + 8:cert_offset] + pe[cert_offset + cert_size:]
pe_sha256 = hashlib.sha256(image).digest()
inf_sha1 = hashlib.sha1(inf).digest()

odd = bytearray(pe[:cert_offset]) + b'\x5a\xa5\x5a'
odd[entry:entry + 8] = bytes(8)
open(os.path.join(here, 'driver-odd.sys'), 'wb').write(odd)
odd_image = odd[:checksum] + odd[checksum + 4:entry] + odd[entry + 8:]
odd_sha1 = hashlib.sha1(odd_image + bytes(-len(odd) % 8)).digest()

def record(index, values, flags, time, filetime):
    v1, v2, v3, v4 = values
    return struct.pack('<BQIBBBBIQ', 0xBE, filetime, flags, v2, v1, v3, v4, time, index)

def name(path, index):
    units = path.encode('utf-16-le')
    return struct.pack('<BH', 0xDE, len(units)) + units + struct.pack('<I', index)

def member(digest, index):
    return struct.pack('<BB', 0xAD, len(digest)) + digest + struct.pack('<I', index)

def value(data):
    return struct.pack('<BI', 0xC0, len(data)) + data

stale = record(0, (0, 1, 2, 3), 0x11000, 0, 0x01D9000000000000)
body = (stale +
        record(0, (0, 1, 2, 3), 0x31007, 1700000000, 0x01DA1A2B3C4D5E6F) +
        record(1, (4, 1, 5, 6), 0x11000, 0, 0x01DA000000000000) +
        name('Z:\\cats\\a.cat', 0) + name('Z:\\cats\\b.cat', 1) +
        member(pe_sha256, 0) + member(inf_sha1, 1) + member(bytes(range(20)), 1) + member(odd_sha1, 0) +
        value(b'Korva Test Signer\0') + value(b'Korva Test Root\0') + value(bytes([0x01, 0x7F])) +
        value(hashlib.sha1(b'signer').digest()) + value(b'Other Signer\0') + value(bytes([0x02])) +
        value(hashlib.sha1(b'other').digest()))
open(os.path.join(here, 'sample.db'), 'wb').write(struct.pack('<III', 222, 8, 0) + body)
