#!/usr/bin/env python3
"""Compares the names that include/zeb.h declares with what the libraries export.

usage: check_symbols.py zeb.h libzebjq5.so libzebcore.so

Every function and variable declared with ZEB_API must be exported by
libzebjq5 and nothing else may be; likewise ZEBCORE_API for libzebcore.
"""
import re
import subprocess
import sys


def declared(header_text, macro):
    names = set()
    # Functions: "<macro> <type> name(" ; variables: "extern <macro> <type> name;"
    # or the hook pointers "extern <macro> <type> (*name)(...)".
    for m in re.finditer(r'\b' + macro + r'\b[^;{(]*?\b([A-Za-z_]\w*)\s*\((?!\s*\*)', header_text):
        names.add(m.group(1))
    for m in re.finditer(r'extern\s+' + macro + r'\b[^;(]*\(\s*\*\s*([A-Za-z_]\w*)\s*\)', header_text):
        names.add(m.group(1))
    for m in re.finditer(r'extern\s+' + macro + r'\b[^;()]*?\b([A-Za-z_]\w*)\s*;', header_text):
        names.add(m.group(1))
    return names


def exported(lib):
    out = subprocess.run(['nm', '-D', '--defined-only', lib], check=True, capture_output=True, text=True).stdout
    names = set()
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 3 and parts[1] in 'TDBRVWtdbrvw' and parts[1].isupper():
            name = parts[2].split('@')[0]
            if not name.startswith('__odr_asan'):  # sanitizer bookkeeping
                names.add(name)
    return names


def main():
    header, lib, core = sys.argv[1:4]
    text = open(header).read()
    text = re.sub(r'/\*.*?\*/', '', text, flags=re.S)
    text = re.sub(r'//[^\n]*', '', text)
    text = re.sub(r'#define[^\n]*', '', text)
    ok = True
    for macro, path in (('ZEB_API', lib), ('ZEBCORE_API', core)):
        want = declared(text, macro)
        have = exported(path)
        missing = sorted(want - have)
        extra = sorted(have - want)
        if missing:
            print(f'{path}: declared but not exported: {" ".join(missing)}')
            ok = False
        if extra:
            print(f'{path}: exported but not declared: {" ".join(extra)}')
            ok = False
        print(f'{path}: {len(have)} exported names, {len(want)} declared')
    return 0 if ok else 1


if __name__ == '__main__':
    sys.exit(main())
