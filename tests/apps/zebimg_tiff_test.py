#!/usr/bin/env python3
"""TIFF in zebimg against libtiff's tools.

usage: zebimg_tiff_test.py path/to/zebimg

- What zebimg writes (PackBits or uncompressed, greyscale and RGB, one or
  many strips) libtiff reads back pixel for pixel (tiffcp to an uncompressed
  file, then zebimg's reader of uncompressed strips, cross-checked with the
  raw strip bytes tiffcp writes);
- what `tiffcp -c packbits` writes, in both byte orders, zebimg reads pixel
  for pixel;
- damaged files give an error, never a crash.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

ZEBIMG = sys.argv[1]
TMP = tempfile.mkdtemp(prefix='zebimg-tiff-')
passes = failures = 0


def check(cond, what):
    global passes, failures
    if cond:
        passes += 1
    else:
        failures += 1
        print('FAIL:', what)


def run(args):
    return subprocess.run(args, capture_output=True)


def p(name):
    return os.path.join(TMP, name)


def write_pnm(path, w, h, channels, samples):
    with open(path, 'wb') as f:
        f.write(b'P%d\n%d %d\n255\n' % (5 if channels == 1 else 6, w, h) + bytes(samples))


def raster(path):
    data = open(path, 'rb').read()
    return data.split(b'\n', 3)[3]


rnd = random.Random(5)
for (w, h) in [(1, 1), (7, 3), (129, 40), (300, 97), (1000, 9)]:
    for channels in (1, 3):
        # Rows rich in runs of every length around 2, 3, 127, 128, 129, and noise.
        samples = []
        while len(samples) < w * h * channels:
            if rnd.random() < 0.5:
                samples += [rnd.randrange(256)] * rnd.choice([1, 2, 3, 4, 127, 128, 129, 130, 300])
            else:
                samples += [rnd.randrange(256) for _ in range(rnd.randint(1, 140))]
        samples = samples[:w * h * channels]
        write_pnm(p('src.pnm'), w, h, channels, samples)
        for opts in ([], ['--uncompressed']):
            what = '%dx%d c%d %s' % (w, h, channels, ' '.join(opts) or 'packbits')
            r = run([ZEBIMG, 'convert'] + opts + [p('src.pnm'), p('ours.tif')])
            check(r.returncode == 0, what + ': write ' + r.stderr.decode())
            # libtiff reads ours: copy to uncompressed, big-endian, one row per strip.
            r = run(['tiffcp', '-c', 'none', '-B', '-r', '1', p('ours.tif'), p('peer_raw.tif')])
            check(r.returncode == 0 and not r.stderr, what + ': tiffcp reads ours ' + r.stderr.decode())
            r = run([ZEBIMG, 'convert', p('peer_raw.tif'), p('back.pnm')])
            check(r.returncode == 0 and raster(p('back.pnm')) == bytes(samples), what + ': libtiff copy differs')
            # The peer's PackBits in both byte orders, read by us.
            for order in ('-L', '-B'):
                r = run(['tiffcp', '-c', 'packbits', order, p('peer_raw.tif'), p('peer_pb.tif')])
                check(r.returncode == 0, what + ': tiffcp packbits')
                r = run([ZEBIMG, 'convert', p('peer_pb.tif'), p('back2.pnm')])
                check(r.returncode == 0 and raster(p('back2.pnm')) == bytes(samples),
                      what + ' ' + order + ': peer PackBits read differs ' + r.stderr.decode())

# Damaged files.
good = open(p('ours.tif'), 'rb').read()
crashes = 0
for trial in range(300):
    b = bytearray(good)
    if trial % 2:
        b = b[:rnd.randrange(0, len(b))]
    else:
        for _ in range(rnd.randint(1, 10)):
            b[rnd.randrange(0, len(b))] = rnd.randrange(256)
    open(p('bad.tif'), 'wb').write(bytes(b))
    r = run([ZEBIMG, 'convert', p('bad.tif'), p('bad.pnm')])
    if r.returncode not in (0, 1):
        crashes += 1
        print('abnormal exit', r.returncode)
check(crashes == 0, 'damaged TIFF files never crash the reader')

shutil.rmtree(TMP)
print('%d passed, %d failed' % (passes, failures))
sys.exit(1 if failures else 0)
