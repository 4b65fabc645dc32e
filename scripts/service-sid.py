#!/usr/bin/env python3
"""service-sid.py NAME: the SID Windows gives the service NAME, the one its
virtual account NT SERVICE\\NAME has: S-1-5-80- followed by the SHA-1 of the
upper-cased name in UTF-16LE, read as five little-endian 32-bit numbers.
Access lists of the package name the service by it, before it exists."""
import hashlib
import struct
import sys

digest = hashlib.sha1(sys.argv[1].upper().encode("utf-16-le")).digest()
print("S-1-5-80-" + "-".join(str(n) for n in struct.unpack("<5I", digest)))
