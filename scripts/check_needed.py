#!/usr/bin/env python3
"""The shared library must load without a C++ runtime.

usage: check_needed.py libzebjq5.so

Lists the NEEDED entries of the dynamic section and fails on any library
outside libc, libm, libgomp and libzebcore (sanitizer runtimes are allowed in
sanitizer builds).
"""
import re
import subprocess
import sys

ALLOWED = re.compile(r'^(libc\.so\.6|libm\.so\.6|libgomp\.so\.1|libzebcore\.so\.5\.2|'
                     r'libasan\.so\.\d+|libubsan\.so\.\d+|libtsan\.so\.\d+|ld-linux.*)$')

out = subprocess.run(['readelf', '-d', sys.argv[1]], check=True, capture_output=True, text=True).stdout
needed = re.findall(r'\(NEEDED\)\s+Shared library: \[([^\]]+)\]', out)
print('NEEDED:', ' '.join(needed))
bad = [n for n in needed if not ALLOWED.match(n)]
if bad:
    print('not allowed at load time:', ' '.join(bad))
    sys.exit(1)
