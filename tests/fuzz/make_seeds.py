# Writes the seed inputs of the interface fuzz target (tests/fuzz/corpus) in the byte layout
# that interface_fuzzer.cpp reads: python3 tests/fuzz/make_seeds.py tests/fuzz/corpus
import struct, os, sys
out = sys.argv[1]
def w(v): return struct.pack('<H', v & 0xffff)
def b(v): return bytes([v & 0xff])
SIDES=[120,120,144,150,160,176,200,240,288,119,2049,0,-120,480,600]
def geometry(wi, hi, fmt=1, bottom=0, thin=None):
    s = w(0) + w(wi) + w(hi)
    s += w(0 if thin is not None else 1)
    if thin is not None: s += w(thin)
    s += w(1) + w(fmt-1) + w(1) + b(bottom)
    return s
def frames(n, x0=40, step=6, t=10, top=20, people=0, kind=2, noise=1, arm=(5,3), dx=None):
    s = w(12) + w(n-1)
    for i in range(n):
        s += w(5) + w(kind)
        if kind == 0:
            s += w(7) + bytes([30,60,90,120,150,180,210,240])
        else:
            if kind == 1:
                s += w(noise) + b(i)
            if kind >= 2:
                s += w(people)
                for k in range(people + 1):
                    s += w(x0 + 50 * k) + w(step) + w(t) + w(top) + w(arm[0]) + w(arm[1])
        s += w(1) + w(1)
    return s
def options(bs): return w(1) + bytes(bs) + w(1)
def usermode(count, mode=0): return w(3) + w(1) + w(count) + w(mode) + w(1)
seeds = {}
seeds['person_160x120'] = geometry(4, 0) + frames(8, kind=1) + b''.join(frames(12, x0=20+i*8) for i in range(5))
seeds['height_legs_palm_odd_bytes_320x240'] = geometry(7, 7) + options([97,2,255,2,97,2]) + frames(12, kind=1) + b''.join(frames(12, x0=60+i*10, t=20, top=40) for i in range(5))
seeds['two_users_352x288'] = geometry(8, 8) + usermode(2) + frames(12, kind=1) + b''.join(frames(12, x0=30+i*6, t=20, top=40, people=1) for i in range(5))
seeds['tall_200x600_bottom_up'] = geometry(6, 14, bottom=1) + frames(12, kind=1) + b''.join(frames(12, x0=40+i*4, t=30, top=80) for i in range(5))
seeds['thin_2048x120_raw'] = geometry(0, 0, thin=1) + frames(8, kind=0) + frames(8, kind=1, noise=40)
seeds['format2_176x144_noise'] = geometry(5, 2, fmt=2) + frames(12, kind=1) + b''.join(frames(12, x0=30+i*7, kind=3, people=5) for i in range(5))
# Interface calls without frames: invalid geometries, previews, names, face regions.
calls = geometry(9, 10) + w(0) + geometry(11, 12) + w(0) + w(7) + w(0) + w(0) + w(1)
calls += w(10) + w(1) + w(320) + w(240) + w(1) + w(1) + w(0)   # preview, stride 4w-1
calls += w(6) + w(1) + struct.pack('<i', 15) + w(7) + w(1) + struct.pack('<i', -2)
calls += w(11) + w(1) + w(4) + w(5) + w(1) + w(300) + w(9) + w(1) + w(8) + b(0) + w(9) + b(1)
calls += usermode(3) + usermode(0) + usermode(1, 2)
seeds['interface_calls'] = calls
os.makedirs(out, exist_ok=True)
for name, data in seeds.items():
    open(os.path.join(out, name), 'wb').write(data)
    print(name, len(data))
