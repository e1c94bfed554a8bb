#!/usr/bin/env python3
"""JPEG 2000 command-line tools side by side: zebimg, OpenJPEG and Grok.

usage: j2k_tools.py path/to/zebimg [runs]

Times whole commands (file reading and writing included, the same for every
tool) on a 1920x1080 RGB photograph (the demo picture enlarged bilinearly):
lossless (5/3) and 1 bit per pixel (9/7) encode and decode, one thread and
two.  A little seeded grain is added: the enlarged picture alone is so smooth
that the finest 9/7 steps code it in less than 1 bit per pixel.  Prints Mpixels/s (best of `runs`) and zebimg's speed over each peer's.
Library-level figures for OpenJPEG come from bench_j2k.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

ZEBIMG = os.path.abspath(sys.argv[1])
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 3
HERE = os.path.dirname(os.path.abspath(__file__))
W, H = 1920, 1080


def read_ppm(path):
    data = open(path, 'rb').read()
    parts = data.split(maxsplit=4)
    assert parts[0] == b'P6' and parts[3] == b'255'
    return int(parts[1]), int(parts[2]), parts[4]


def enlarge(src_w, src_h, raster):
    """Bilinear enlargement to W x H (fixed point, integer arithmetic)."""
    out = bytearray(W * H * 3)
    grain = random.Random(7)
    noise = [grain.randint(-6, 6) for _ in range(4099)]
    xs = [(x * (src_w - 1) * 256) // (W - 1) for x in range(W)]
    for y in range(H):
        fy = (y * (src_h - 1) * 256) // (H - 1)
        y0, wy = fy >> 8, fy & 255
        y1 = min(y0 + 1, src_h - 1)
        r0, r1 = y0 * src_w * 3, y1 * src_w * 3
        o = y * W * 3
        for x in range(W):
            x0, wx = xs[x] >> 8, xs[x] & 255
            x1 = min(x0 + 1, src_w - 1)
            for c in range(3):
                a = raster[r0 + x0 * 3 + c] * (256 - wx) + raster[r0 + x1 * 3 + c] * wx
                b = raster[r1 + x0 * 3 + c] * (256 - wx) + raster[r1 + x1 * 3 + c] * wx
                v = ((a * (256 - wy) + b * wy + 32768) >> 16) + noise[(o + x * 3 + c) % 4099]
                out[o + x * 3 + c] = min(255, max(0, v))
    return bytes(out)


def best(cmd):
    t = float('inf')
    for _ in range(RUNS):
        start = time.perf_counter()
        r = subprocess.run(cmd, capture_output=True)
        t = min(t, time.perf_counter() - start)
        if r.returncode != 0:
            sys.exit('failed: %s\n%s' % (' '.join(cmd), r.stderr.decode(errors='replace')))
    return W * H / 1e6 / t


def main():
    tmp = tempfile.mkdtemp(prefix='zeb-j2k-tools-')
    src = os.path.join(tmp, 'photo.ppm')
    w, h, raster = read_ppm(os.path.join(HERE, '..', 'apps', 'data', 'chelsea.ppm'))
    with open(src, 'wb') as f:
        f.write(b'P6\n%d %d\n255\n' % (W, H) + enlarge(w, h, raster))
    p = lambda name: os.path.join(tmp, name)
    tools = {
        'zebimg': lambda mode, t: (
            [ZEBIMG, 'convert', '--threads', str(t)] + (['--irreversible', '--rate', '1'] if mode == 'lossy' else []) +
            [src, p('zeb_%s.j2k' % mode)],
            [ZEBIMG, 'convert', '--threads', str(t), p('zeb_%s.j2k' % mode), p('zeb_%s.ppm' % mode)]),
        'OpenJPEG': lambda mode, t: (
            ['opj_compress', '-threads', str(t), '-i', src, '-o', p('opj_%s.j2k' % mode)] +
            (['-I', '-r', '24'] if mode == 'lossy' else []),
            ['opj_decompress', '-threads', str(t), '-i', p('opj_%s.j2k' % mode), '-o', p('opj_%s.ppm' % mode)]),
        'Grok': lambda mode, t: (
            ['grk_compress', '-H', str(t), '-i', src, '-o', p('grk_%s.j2k' % mode)] +
            (['-I', '-r', '24'] if mode == 'lossy' else []),
            ['grk_decompress', '-H', str(t), '-i', p('grk_%s.j2k' % mode), '-o', p('grk_%s.ppm' % mode)]),
    }
    available = [name for name, make in tools.items() if shutil.which(make('lossless', 1)[0][0])]
    print('1920x1080 RGB, Mpixels/s of whole commands, best of %d' % RUNS)
    print('%-22s' % 'case' + ''.join('%12s' % n for n in available) +
          ''.join('%14s' % ('zeb/' + n) for n in available if n != 'zebimg'))
    for mode in ('lossless', 'lossy'):
        for threads in (1, 2):
            for direction in (0, 1):
                speeds = {}
                for name in available:
                    cmds = tools[name](mode, threads)
                    if direction == 1:
                        subprocess.run(cmds[0], capture_output=True, check=True)
                    speeds[name] = best(cmds[direction])
                label = '%s %s %dT' % ('lossless' if mode == 'lossless' else '1 bpp', ('encode', 'decode')[direction],
                                       threads)
                print('%-22s' % label + ''.join('%12.1f' % speeds[n] for n in available) +
                      ''.join('%13.2fx' % (speeds['zebimg'] / speeds[n]) for n in available if n != 'zebimg'))
    for name in ('zeb_lossy.j2k', 'opj_lossy.j2k', 'grk_lossy.j2k'):
        if os.path.exists(p(name)):
            print('%s: %.3f bpp' % (name, 8.0 * os.path.getsize(p(name)) / (W * H)))
    shutil.rmtree(tmp)


main()
