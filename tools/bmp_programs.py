# Shared by make_program_corpus.sh and check_written_forms.sh:
# - reads BMP files with each of ten programs: ImageMagick, GraphicsMagick, netpbm, ffmpeg and GIMP from the command
#   line, Pillow, OpenCV, Qt, SDL and gdk-pixbuf through bmp_programs_api.py, one process a program (the callers
#   install the programs and set the environment with bmp_programs.sh; GIMP needs a writable working directory),
#   and names their versions;
# - reads a BMP header itself, and decodes a file by the plain rule (n-bit channels widened by round(v*255/(2^n-1)));
# - compares readings: pixels that differ, the widening each reader used, what it did with alpha.
import os, struct, subprocess

# The ten programs, in the order the tables give them.
PROGRAMS = ['imagemagick', 'graphicsmagick', 'netpbm', 'pillow', 'ffmpeg', 'opencv', 'qt', 'sdl', 'gdkpixbuf', 'gimp']

API = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'bmp_programs_api.py')


def run(cmd, **kw):
    r = subprocess.run(cmd, shell=isinstance(cmd, str), stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)
    if r.returncode:
        raise RuntimeError('%s failed (%d): %s' % (cmd, r.returncode, r.stderr.decode(errors='replace')[-800:]))
    return r


def api(prog, *args):
    return run(['python3', API, prog] + list(args))


# ---- decoders -----------------------------------------------------------------------------------------
def parse_pnm(data):
    """Any PBM/PGM/PPM/PAM (8-bit or less) to (w, h, RGBA bytes, note)."""
    magic = data[:2]
    note = ''
    if magic == b'P7':
        i = data.index(b'ENDHDR\n') + 7
        h = {}
        for l in data[:i].split(b'\n')[1:-2]:
            if l and not l.startswith(b'#'):
                k, v = l.split(b' ', 1)
                h[k] = v.strip()
        w, hh, depth, maxval = int(h[b'WIDTH']), int(h[b'HEIGHT']), int(h[b'DEPTH']), int(h[b'MAXVAL'])
        body = data[i:]
    else:
        toks, p = [], 2
        need = 2 if magic == b'P4' else 3
        while len(toks) < need:
            while data[p:p + 1].isspace():
                p += 1
            if data[p:p + 1] == b'#':
                while data[p:p + 1] != b'\n':
                    p += 1
                continue
            q = p
            while not data[q:q + 1].isspace():
                q += 1
            toks.append(int(data[p:q]))
            p = q
        body = data[p + 1:]
        w, hh = toks[0], toks[1]
        maxval = toks[2] if need == 3 else 1
        depth = {b'P4': 1, b'P5': 1, b'P6': 3}[magic]
        if magic == b'P4':
            bits = []
            rb = (w + 7) // 8
            for y in range(hh):
                for x in range(w):
                    bits.append(0 if (body[y * rb + x // 8] >> (7 - x % 8)) & 1 else 1)  # PBM 1 = black
            body = bytes(bits)
    if depth in (1, 2) and maxval == 1 and len(body) == (w * depth + 7) // 8 * hh and len(body) != w * hh * depth:
        # GraphicsMagick writes BLACKANDWHITE(_ALPHA) PAM bit-packed, rows padded to a byte, grey 1 = black as in PBM
        rb = (w * depth + 7) // 8
        bits = [(body[y * rb + k // 8] >> (7 - k % 8)) & 1 for y in range(hh) for k in range(w * depth)]
        if depth == 1:
            body = bytes(1 - b for b in bits)
        else:
            body = bytes(v for i in range(0, len(bits), 2) for v in (1 - bits[i], bits[i + 1]))
        note = 'bit-packed BLACKANDWHITE PAM'
    if maxval > 255:
        raise ValueError('maxval %d' % maxval)
    if maxval not in (1, 255):
        note = 'maxval %d scaled to 255 by round(v*255/maxval)' % maxval
    sc = (lambda v: v) if maxval == 255 else (lambda v: (2 * v * 255 + maxval) // (2 * maxval))
    px = bytearray()
    for i in range(w * hh):
        t = body[i * depth:(i + 1) * depth]
        t = [sc(v) for v in t]
        if depth == 1:
            px += bytes([t[0]] * 3 + [255])
        elif depth == 2:
            px += bytes([t[0]] * 3 + [t[1]])
        elif depth == 3:
            px += bytes(t + [255])
        else:
            px += bytes(t)
    return w, hh, bytes(px), note


CLI_DECODERS = {
    'imagemagick': 'convert {f} -depth 8 PAM:-',
    'graphicsmagick': 'gm convert {f} -depth 8 PAM:-',
    'netpbm': 'bmptopnm {f}',
    'ffmpeg': 'ffmpeg -nostdin -loglevel error -threads 1 -i {f} -f image2pipe -c:v pam -pix_fmt rgba -',
}
GIMP_DECODE = ('(let* ((i (car (gimp-file-load RUN-NONINTERACTIVE "{f}" "{f}")))) (file-png-save2 RUN-NONINTERACTIVE i '
               '(car (gimp-image-get-active-drawable i)) "{o}" "{o}" 0 9 0 0 0 0 0 0 1) (gimp-image-delete i))')


def decode_all(files, prog, outdir):
    """Decodes files with prog; returns {file: (w, h, rgba, note) or ('error', message)}."""
    os.makedirs(outdir, exist_ok=True)
    res = {}
    if prog in CLI_DECODERS:
        for f in files:
            r = subprocess.run(CLI_DECODERS[prog].format(f=f), shell=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if r.returncode or not r.stdout:
                err = r.stderr.decode(errors='replace').strip().splitlines()
                res[f] = ('error', err[-1] if err else 'exit %d, no output' % r.returncode)
            else:
                try:
                    res[f] = parse_pnm(r.stdout)
                except Exception as e:
                    res[f] = ('error', 'unreadable output: %s' % e)
    elif prog == 'gimp':
        exprs = []
        for f in files:
            o = os.path.join(outdir, os.path.basename(f) + '.png')
            if os.path.exists(o):
                os.remove(o)
            exprs.append('(catch #f %s)' % GIMP_DECODE.format(f=f, o=o))
        subprocess.run(['gimp', '-i', '-n', '-d', '-f', '--no-shm', '-b', '(begin %s)' % ' '.join(exprs), '-b', '(gimp-quit 0)'],
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        from PIL import Image
        for f in files:
            o = os.path.join(outdir, os.path.basename(f) + '.png')
            if os.path.exists(o):
                im = Image.open(o)
                res[f] = im.size + (im.convert('RGBA').tobytes(), 'exported by GIMP as PNG, read with Pillow')
            else:
                res[f] = ('error', 'GIMP did not export it')
    else:
        api(prog, 'decode', outdir, *files)
        for f in files:
            b = os.path.join(outdir, os.path.basename(f))
            if os.path.exists(b + '.pam'):
                res[f] = parse_pnm(open(b + '.pam', 'rb').read())
            else:
                res[f] = ('error', open(b + '.err').read().strip().splitlines()[0])
    return res


def decoder_command(prog, D):
    if prog in CLI_DECODERS:
        return CLI_DECODERS[prog].format(f='FILE.bmp')
    if prog == 'gimp':
        return 'gimp -i -b \'%s\', then Pillow reads the PNG' % GIMP_DECODE.format(f='FILE.bmp', o='FILE.png')
    return 'python3: ' + D[prog]


def versions():
    def first(cmd, pick=lambda s: s.splitlines()[0]):
        r = subprocess.run(cmd, shell=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        return pick(r.stdout.decode())
    def deb(*pkgs):
        return ', '.join('%s %s' % (p, first("dpkg-query -W -f='${Version}' " + p)) for p in pkgs)
    V = {
        'imagemagick': first('convert -version', lambda s: s.splitlines()[0].split(' http')[0].replace('Version: ', '')) + ' (Debian ' + deb('imagemagick-6.q16') + ')',
        'graphicsmagick': first('gm -version', lambda s: ' '.join(s.split()[:2] + s.split()[3:4])) + ' (Debian ' + deb('graphicsmagick') + ')',
        'netpbm': first('ppmtobmp --version', lambda s: s.split('Version: ')[1].splitlines()[0]) + ' (Debian ' + deb('netpbm') + ')',
        'ffmpeg': first('ffmpeg -version', lambda s: 'FFmpeg ' + s.split()[2]) + ' (Debian ' + deb('ffmpeg') + ')',
        'gimp': first('gimp --version', lambda s: 'GIMP ' + s.split()[-1]) + ' (Debian ' + deb('gimp') + ')',
    }
    debs = {'pillow': ('python3-pil',), 'opencv': ('python3-opencv',), 'qt': ('python3-pyqt5', 'libqt5gui5'),
            'sdl': ('python3-pygame', 'libsdl2-2.0-0'), 'gdkpixbuf': ('libgdk-pixbuf-2.0-0',)}
    D = {}
    for p, pk in debs.items():
        out = api(p, 'version').stdout.decode().splitlines()
        V[p] = out[0] + ' (Debian ' + deb(*pk) + ')'
        D[p] = out[1]
    return V, D


# ---- reading a BMP header ourselves ----------------------------------------------------------------
HEADER_NAME = {12: 'OS/2 1.x BITMAPCOREHEADER', 16: 'OS/2 2.x short', 40: 'BITMAPINFOHEADER', 52: 'BITMAPV2INFOHEADER',
               56: 'BITMAPV3INFOHEADER', 64: 'OS/2 2.x', 108: 'BITMAPV4HEADER', 124: 'BITMAPV5HEADER'}
COMPRESSION_NAME = {0: 'BI_RGB', 1: 'BI_RLE8', 2: 'BI_RLE4', 3: 'BI_BITFIELDS', 4: 'BI_JPEG', 5: 'BI_PNG', 6: 'BI_ALPHABITFIELDS'}


def header(d):
    if d[:2] != b'BM':
        raise ValueError('not BM')
    H = {}
    H['bfSize'], H['bfOffBits'] = struct.unpack_from('<I', d, 2)[0], struct.unpack_from('<I', d, 10)[0]
    hs = H['biSize'] = struct.unpack_from('<I', d, 14)[0]
    if hs == 12:
        w, h, planes, bpp = struct.unpack_from('<HHHH', d, 18)
        comp = clr = 0
        H.update(width=w, height=h, topdown=False, bpp=bpp, compression=0, clrUsed=0, sizeImage=None, entry=3)
        masks = None
    else:
        w, h, planes, bpp, comp, isz, xr, yr, clr, ci = struct.unpack_from('<iiHHIIiiII', d, 18)
        H.update(width=w, height=abs(h), topdown=h < 0, bpp=bpp, compression=comp, sizeImage=isz, clrUsed=clr, entry=4)
        masks = None
        if hs >= 52:
            masks = struct.unpack_from('<4I' if hs >= 56 else '<3I', d, 54)
            masks = masks if len(masks) == 4 else masks + (0,)
        elif comp in (3, 6):
            masks = struct.unpack_from('<4I' if comp == 6 else '<3I', d, 54)
            masks = masks if len(masks) == 4 else masks + (0,)
    H['masks'] = masks
    if hs >= 108:
        cs = struct.unpack_from('<I', d, 70)[0]
        t = cs.to_bytes(4, 'big')
        H['cstype'] = repr(t.decode()) if all(32 <= c < 127 for c in t) else '0x%08x' % cs
    if hs >= 124:
        H['intent'], H['profileData'], H['profileSize'] = struct.unpack_from('<III', d, 14 + 108)
    palstart = 14 + hs + (12 if hs == 40 and comp == 3 else 16 if hs == 40 and comp == 6 else 0)
    H['palstart'] = palstart
    H['palette_in_file'] = max(0, (H['bfOffBits'] - palstart) // H['entry'])
    H['stride'] = ((H['width'] * bpp + 31) // 32) * 4
    return H


# ---- an independent decoding, with n-bit channels widened by round(v * 255 / (2^n - 1)) --------------
def widen(v, n):
    m = (1 << n) - 1
    return (2 * v * 255 + m) // (2 * m)


def mask_shift_bits(mask):
    if not mask:
        return 0, 0
    s = (mask & -mask).bit_length() - 1
    return s, bin(mask).count('1')


RLE_NOTES = {}


def rule_decode(d):
    """Returns (w, h, rgba, raw) where raw[i] = per pixel list of (level, bits) for R, G, B, A of bit-field files."""
    H = header(d)
    w, h, bpp, comp = H['width'], H['height'], H['bpp'], H['compression']
    off, stride = H['bfOffBits'], H['stride']
    pal = []
    for i in range(H['palette_in_file'] if bpp <= 8 else 0):
        b, g, r = d[H['palstart'] + i * H['entry']:H['palstart'] + i * H['entry'] + 3]
        pal.append((r, g, b, 255))
    out = [None] * (w * h)
    raw = None
    rowy = (lambda r: r) if H['topdown'] else (lambda r: h - 1 - r)
    if comp in (1, 2):
        x = r = 0
        p = off
        idx = [0] * (w * h)
        done = False
        over = {}  # rows whose runs go past the width: file row -> pixels too many
        cnt = dict(run=0, run1=0, abs=0, delta=0, eol=0)
        while not done and p + 1 < len(d):
            a, b = d[p], d[p + 1]
            p += 2
            if a:
                cnt['run'] += 1
                cnt['run1'] += a == 1
                for k in range(a):
                    v = b if comp == 1 else (b >> 4 if k % 2 == 0 else b & 15)
                    if x < w and r < h:
                        idx[rowy(r) * w + x] = v
                    x += 1
            elif b == 0:
                cnt['eol'] += 1
                if x > w:
                    over[r] = x - w
                x, r = 0, r + 1
            elif b == 1:
                if x > w:
                    over[r] = x - w
                done = True
            elif b == 2:
                cnt['delta'] += 1
                x, r = x + d[p], r + d[p + 1]
                p += 2
            else:
                n = b
                cnt['abs'] += 1
                nbytes = n if comp == 1 else (n + 1) // 2
                for k in range(n):
                    v = d[p + k] if comp == 1 else (d[p + k // 2] >> 4 if k % 2 == 0 else d[p + k // 2] & 15)
                    if x < w and r < h:
                        idx[rowy(r) * w + x] = v
                    x += 1
                p += nbytes + (nbytes & 1)
        out = [pal[i] for i in idx]
        t = ['RLE codes: %d encoded runs (%d of one pixel), %d absolute runs, %d deltas, %d ends of line, %s' % (
            cnt['run'], cnt['run1'], cnt['abs'], cnt['delta'], cnt['eol'], 'end of bitmap' if done else 'no end-of-bitmap code')]
        if over:
            t.append('%d of %d rows encode %s pixel(s) past the width' % (
                len(over), h, '/'.join(str(v) for v in sorted(set(over.values())))))
        RLE_NOTES[id(d)] = '; '.join(t)
    elif bpp <= 8:
        for r in range(h):
            row = d[off + r * stride:off + (r + 1) * stride]
            y = rowy(r)
            for x in range(w):
                bit = x * bpp
                v = (row[bit // 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1)
                out[y * w + x] = pal[v]
    elif bpp == 24:
        for r in range(h):
            y = rowy(r)
            for x in range(w):
                b, g, rr = d[off + r * stride + 3 * x:off + r * stride + 3 * x + 3]
                out[y * w + x] = (rr, g, b, 255)
    else:
        masks = H['masks'] if comp in (3, 6) else ((0x7C00, 0x3E0, 0x1F, 0) if bpp == 16 else (0xFF0000, 0xFF00, 0xFF, 0))
        sb = [mask_shift_bits(m) for m in masks]
        raw = [None] * (w * h)
        for r in range(h):
            y = rowy(r)
            for x in range(w):
                o = off + r * stride + x * bpp // 8
                v = int.from_bytes(d[o:o + bpp // 8], 'little')
                lv = [((v & m) >> s, n) for m, (s, n) in zip(masks, sb)]
                raw[y * w + x] = lv
                px = [widen(l, n) if n else 0 for l, n in lv[:3]] + [widen(*lv[3]) if lv[3][1] else 255]
                out[y * w + x] = tuple(px)
            if bpp == 32 and comp == 0:  # the fourth byte of BI_RGB 32-bit, kept for the alpha comparisons
                for x in range(w):
                    raw[y * w + x][3] = (d[off + r * stride + 4 * x + 3], 8)
    return w, h, bytes(c for p in out for c in p), raw


# ---- comparisons ---------------------------------------------------------------------------------------
def diff(a, b):
    """a, b: RGBA bytes of the same size. Returns (pixels differing, max |d| per channel, alpha-only flag)."""
    n, mx = 0, [0, 0, 0, 0]
    for i in range(0, len(a), 4):
        if a[i:i + 4] != b[i:i + 4]:
            n += 1
            for c in range(4):
                mx[c] = max(mx[c], abs(a[i + c] - b[i + c]))
    return n, mx


def describe(ref, other, raw):
    """How `other` differs from `ref` (both (w, h, rgba, ...))."""
    if other[0] == 'error':
        return 'cannot read (%s)' % other[1][:80]
    if other[:2] != ref[:2]:
        return 'size %dx%d' % other[:2]
    n, mx = diff(ref[2], other[2])
    if not n:
        return 'same'
    words = []
    a_ref, a_oth = ref[2][3::4], other[2][3::4]
    if mx[3]:
        if all(v == 255 for v in a_oth):
            words.append('alpha 255 throughout, the reference has less')
        elif all(v == 255 for v in a_ref):
            words.append('alpha below 255, the reference has 255 throughout')
        else:
            words.append('alpha max diff %d' % mx[3])
    if any(mx[:3]):
        words.append('colour max diff R/G/B %d/%d/%d' % tuple(mx[:3]))
    return '%d px differ: %s' % (n, ', '.join(words))


FORMULAS = [
    ('round', lambda v, n: widen(v, n)),
    ('replicate', lambda v, n: replicate(v, n)),
    ('floor', lambda v, n: v * 255 // ((1 << n) - 1)),
    ('shift', lambda v, n: v << (8 - n)),
    ('shift16', lambda v, n: (v << (16 - n)) // 257),
]


def replicate(v, n):
    val, bits = 0, 0
    while bits < 8:
        val, bits = (val << n) | v, bits + n
    return val >> (bits - 8)


def widening(dec, raw, H):
    """For files with channels narrower than 8 bits: which formula the decoder used for each channel."""
    if dec[0] == 'error' or raw is None:
        return None
    rgba = dec[2]
    names = 'RGBA'
    per = []
    for c in range(4):
        n = raw[0][c][1]
        if not n or n >= 8:
            continue
        if c == 3 and all(v == 255 for v in rgba[3::4]):
            per.append('A%d: ignored' % n)
            continue
        pairs = {}
        for i, lv in enumerate(raw):
            pairs.setdefault(lv[c][0], set()).add(rgba[4 * i + c])
        if any(len(s) > 1 for s in pairs.values()):
            per.append('%s%d: varies' % (names[c], n))
            continue
        ok = [nm for nm, f in FORMULAS if all(f(v, n) in s for v, s in pairs.items())]
        if ok:
            per.append('%s%d: %s' % (names[c], n, '='.join(ok)))
        else:
            off = [(v, min(s)) for v, s in sorted(pairs.items()) if min(s) != widen(v, n)]
            sample = off[:3] + ([off[-1]] if len(off) > 3 else [])
            per.append('%s%d: other (%s)' % (names[c], n, ', '.join('%d->%d' % vs for vs in sample)))
    return per


def summarise_widening(per):
    if per is None:
        return 'n/a'
    by = {}
    for p in per:
        ch, how = p.split(': ', 1)
        by.setdefault(how, []).append(ch)
    if len(by) == 1:
        return next(iter(by))
    return ', '.join('%s %s' % (''.join(chs), how) for how, chs in by.items())


def alpha_use(dec, raw, H):
    if dec[0] == 'error':
        return 'cannot read'
    a = dec[2][3::4]
    if all(v == 255 for v in a):
        return 'ignored'
    want = bytes(widen(lv[3][0], lv[3][1]) for lv in raw)
    if a == want:
        return 'honoured'
    w = [p for p in widening(dec, raw, H) or [] if p.startswith('A')]
    return 'used, ' + (w[0].replace(': ', ' ') if w else 'differently')


def group(by_reader):
    """{reader: verdict} -> 'verdict: reader, reader; verdict: reader', verdicts in order of first reader."""
    out = {}
    for r, v in by_reader.items():
        out.setdefault(v, []).append(r)
    return '; '.join('%s: %s' % (', '.join(rs), v) for v, rs in out.items())
