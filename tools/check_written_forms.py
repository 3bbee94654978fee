# Reads the alpha and 16-bit BMP forms with ten other programs and compares every pixel with Pixelry's own reading.
# Run by tools/check_written_forms.sh, which installs the programs, builds bmpconvert and sets the environment.
#
#   check_written_forms.py headers WORKDIR BMPCONVERT OUT.md
#       hand-made files: each form under each header that could carry it (40 bytes with BI_RGB, BI_BITFIELDS or
#       BI_ALPHABITFIELDS, 56, 108, 124), read by every program; OUT.md gets the table and the header each form
#       is best written with
#   check_written_forms.py written WORKDIR BMPCONVERT README.md
#       the files bmpconvert writes in each alpha and 16-bit form, read by every program; the table replaces the
#       one between the marker comments in README.md
import os, struct, subprocess, sys

from bmp_programs import (COMPRESSION_NAME, PROGRAMS, alpha_use, decode_all, diff, header, rule_decode, summarise_widening,
                          versions, widen, widening)


# ---- the picture ----------------------------------------------------------------------------------------------
# 9 x 6 pixels, every one a different colour with both ends of each channel present; alphas at the edges of the
# 1-bit and 4-bit thresholds (0, 1, 127, 128, 254, 255) and a few between.
WIDTH, HEIGHT = 9, 6
ALPHAS = (0, 1, 127, 128, 254, 255, 17, 64, 200)


def picture(alpha):
    """RGBA tuples, top row first; alpha False makes every pixel opaque."""
    px = []
    for y in range(HEIGHT):
        for x in range(WIDTH):
            r = (x * 31 + y * 97) % 256 if (x, y) != (0, 0) else 255
            g = (x * 73 + y * 41 + 128) % 256 if (x, y) != (1, 0) else 0
            b = (255 - x * 29 - y * 13) % 256
            px.append((r, g, b, ALPHAS[(x + 2 * y) % len(ALPHAS)] if alpha else 255))
    return px


# ---- writing a BMP by hand -----------------------------------------------------------------------------------
# Channel masks, red, green, blue, alpha.
LAYOUT = {
    '565': (0xF800, 0x07E0, 0x001F, 0),
    '555': (0x7C00, 0x03E0, 0x001F, 0),
    '1555': (0x7C00, 0x03E0, 0x001F, 0x8000),
    '4444': (0x0F00, 0x00F0, 0x000F, 0xF000),
    '8888': (0xFF0000, 0xFF00, 0xFF, 0xFF000000),
    '888': (0xFF0000, 0xFF00, 0xFF, 0),
}
BITS = {'8888': 32, '888': 24}
# Header candidates: (info header bytes, compression). With 40 bytes, BI_BITFIELDS puts three masks after the
# header (no alpha) and BI_ALPHABITFIELDS four; 56, 108 and 124 bytes hold all four masks in the header.
BI_RGB, BI_BITFIELDS, BI_ALPHABITFIELDS = 0, 3, 6
HEADER_TEXT = {(40, BI_RGB): '40 BI_RGB', (40, BI_BITFIELDS): '40 BI_BITFIELDS + 3 masks',
               (40, BI_ALPHABITFIELDS): '40 BI_ALPHABITFIELDS + 4 masks', (56, BI_BITFIELDS): '56 (V3) BI_BITFIELDS',
               (108, BI_BITFIELDS): '108 (V4) BI_BITFIELDS', (124, BI_BITFIELDS): '124 (V5) BI_BITFIELDS'}


def shift_bits(mask):
    return (mask & -mask).bit_length() - 1, bin(mask).count('1')


def quantise(v, n, alpha):
    """An 8-bit value in n bits as Pixelry writes it: to nearest, and 1-bit alpha set from 128."""
    if n == 8:
        return v
    if n == 1 and alpha:
        return int(v >= 128)
    return (v * ((1 << n) - 1) + 127) // 255


def carries_alpha(layout, size, comp):
    """Whether a reader going by the header finds an alpha channel (the fourth byte of BI_RGB 32 counted)."""
    return bool(LAYOUT[layout][3]) and (comp != BI_BITFIELDS or size > 40)


def encode(px, layout, size, comp):
    """BMP bytes of px (RGBA tuples, top row first) in layout under the header candidate (size, comp); and the
    pixels a reader should give: each stored level widened by round(v*255/(2^n-1)), alpha 255 when the header
    does not carry one."""
    masks = LAYOUT[layout]
    bits = BITS.get(layout, 16)
    sb = [shift_bits(m) if m else (0, 0) for m in masks]
    stride = (WIDTH * bits + 31) // 32 * 4
    rows, want = [], []
    for y in range(HEIGHT):
        row = bytearray()
        for x in range(WIDTH):
            p = px[y * WIDTH + x]
            levels = [quantise(p[c], sb[c][1], c == 3) if masks[c] else 0 for c in range(4)]
            v = sum(lv << sb[c][0] for c, lv in enumerate(levels))
            row += v.to_bytes(bits // 8, 'little')
            a = widen(levels[3], sb[3][1]) if carries_alpha(layout, size, comp) else 255
            want.append(tuple(widen(levels[c], sb[c][1]) for c in range(3)) + (a,))
        rows.append(bytes(row) + bytes(stride - len(row)))
    masks_after = {BI_BITFIELDS: 3, BI_ALPHABITFIELDS: 4}.get(comp, 0) if size == 40 else 0
    info = struct.pack('<IiiHHIIiiII', size, WIDTH, HEIGHT, 1, bits, comp, stride * HEIGHT, 2835, 2835, 0, 0)
    if size == 40:
        info += struct.pack('<%dI' % masks_after, *masks[:masks_after])
    else:
        info += struct.pack('<4I', *masks)
    if size >= 108:
        info += b'BGRs' + bytes(48)  # colour space sRGB; its endpoints and gammas unused
    if size >= 124:
        info += struct.pack('<4I', 4, 0, 0, 0)  # intent: pictures
    pixels = b''.join(reversed(rows))
    off = 14 + len(info)
    data = b'BM' + struct.pack('<IHHI', off + len(pixels), 0, 0, off) + info + pixels
    return data, bytes(c for p in want for c in p)


# ---- reading ------------------------------------------------------------------------------------------------
def pixelry_read(bmpconvert, files, outdir):
    """Pixelry's reading of each file: bmpconvert to a 32-bit file with an alpha mask, decoded by the plain rule."""
    os.makedirs(outdir, exist_ok=True)
    res = {}
    for f in files:
        out = os.path.join(outdir, os.path.basename(f))
        r = subprocess.run([bmpconvert, f, out, '32'], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if r.returncode:
            lines = r.stderr.decode(errors='replace').strip().splitlines()
            res[f] = ('error', lines[-1] if lines else 'exit %d' % r.returncode)
        else:
            w, h, rgba, _ = rule_decode(open(out, 'rb').read())
            res[f] = (w, h, rgba, '')
    return res


def read_all(files, workdir, bmpconvert):
    dec = {p: decode_all(files, p, os.path.join(workdir, 'dec', p)) for p in PROGRAMS}
    dec['pixelry'] = pixelry_read(bmpconvert, files, os.path.join(workdir, 'dec', 'pixelry'))
    return dec


# ---- verdicts ------------------------------------------------------------------------------------------------
def verdict(got, want, data, alpha):
    """('exact' | 'differs' | 'cannot read', how, alpha honoured) for one reading of one file."""
    if got[0] == 'error':
        return 'cannot read', got[1][:70], False
    H = header(data)
    if got[:2] != (H['width'], H['height']):
        return 'differs', 'size %dx%d' % got[:2], False
    n, mx = diff(want, got[2])
    honoured = alpha and got[2][3::4] == want[3::4]
    if not n:
        return 'exact', '', honoured
    _, _, _, raw = rule_decode(data)
    words = []
    if any(mx[:3]):
        # channels narrower than 8 bits: the widening each used, unless all were rounded (then the difference is
        # elsewhere, and its size says more)
        narrow = summarise_widening([p for p in widening(got, raw, H) or [] if not p.startswith('A')])
        rounded = narrow in ('n/a', '') or narrow.startswith('round')
        words.append('colour ' + ('max diff %d/%d/%d' % tuple(mx[:3]) if rounded else narrow))
    if mx[3]:
        if alpha:
            use = alpha_use(got, raw, H)
            words.append('alpha ' + ('ignored' if use == 'ignored' else use.replace('used, ', '')))
        else:
            words.append('alpha below 255 (max diff %d)' % mx[3])
    return 'differs', ', '.join(words) + ' (%d px)' % n, honoured


def cell(v, short=True):
    what, how, _ = v
    if what == 'exact':
        return 'exact'
    if what == 'cannot read':
        return 'no' if short else 'cannot read (%s)' % how.replace('|', '/')
    return how if short else 'differs: ' + how


# ---- headers: the candidates for each form ----------------------------------------------------------------
CANDIDATES = [  # form name, layout, [(header bytes, compression)]
    ('5-5-5', '555', [(40, BI_RGB), (40, BI_BITFIELDS), (56, BI_BITFIELDS), (108, BI_BITFIELDS), (124, BI_BITFIELDS)]),
    ('5-6-5', '565', [(40, BI_BITFIELDS), (56, BI_BITFIELDS), (108, BI_BITFIELDS), (124, BI_BITFIELDS)]),
    ('1-5-5-5', '1555', [(40, BI_BITFIELDS), (40, BI_ALPHABITFIELDS), (56, BI_BITFIELDS), (108, BI_BITFIELDS),
                         (124, BI_BITFIELDS)]),
    ('4-4-4-4', '4444', [(40, BI_BITFIELDS), (40, BI_ALPHABITFIELDS), (56, BI_BITFIELDS), (108, BI_BITFIELDS),
                         (124, BI_BITFIELDS)]),
    ('8-8-8-8', '8888', [(40, BI_RGB), (40, BI_ALPHABITFIELDS), (56, BI_BITFIELDS), (108, BI_BITFIELDS),
                         (124, BI_BITFIELDS)]),
]


def headers(workdir, bmpconvert, out_md):
    os.makedirs(workdir, exist_ok=True)
    os.chdir(workdir)
    src = picture(True)
    files, meta = [], {}
    for form, layout, cands in CANDIDATES:
        for size, comp in cands:
            f = 'hand_%s_%d_%d.bmp' % (layout, size, comp)
            data, want = encode(src, layout, size, comp)
            open(f, 'wb').write(data)
            files.append(f)
            meta[f] = (form, layout, size, comp, data, want, carries_alpha(layout, size, comp))
    dec = read_all(files, workdir, bmpconvert)
    readers = PROGRAMS + ['pixelry']
    L = ['| form | header | ' + ' | '.join(readers) + ' | exact | read | alpha honoured |',
         '| --- | --- | ' + ' | '.join('---' for _ in readers) + ' | --- | --- | --- |']
    best = {}
    for f in files:
        form, layout, size, comp, data, want, alpha = meta[f]
        v = {p: verdict(dec[p][f], want, data, alpha) for p in readers}
        exact = [p for p in PROGRAMS if v[p][0] == 'exact']
        read = [p for p in PROGRAMS if v[p][0] != 'cannot read']
        hon = [p for p in PROGRAMS if v[p][2]]
        L.append('| %s | %s | %s | %d | %d | %s |' % (form, HEADER_TEXT[(size, comp)], ' | '.join(cell(v[p]) for p in readers),
                                                     len(exact), len(read), ('%d: ' % len(hon) + ', '.join(hon)) if alpha else 'n/a'))
        key = (alpha, len(exact), len(read), len(hon))
        if form not in best or key > best[form][0]:
            best[form] = (key, HEADER_TEXT[(size, comp)])
    L.append('')
    for form, (key, text) in best.items():
        L.append('- %s: %s (%d programs exact, %d read it)' % (form, text, key[1], key[2]))
    open(out_md, 'w').write('\n'.join(L) + '\n')
    print('\n'.join(L))


# ---- written: the files bmpconvert writes -----------------------------------------------------------------------
# (name, source picture, bmpconvert's arguments after IN OUT, layout asked with --layout, the hand-made stand-in
# (layout, header bytes, compression) when this bmpconvert has no --layout)
FORMS = [
    ('32-bit alpha', 'alpha', ['32'], None, None),
    ('32-bit, alpha never set', 'opaque', ['32'], None, None),
    ('16-bit 5-6-5', 'opaque', ['16'], '565', None),
    ('16-bit 5-5-5', 'opaque', ['16'], '555', ('555', 40, BI_RGB)),
    ('16-bit 1-5-5-5', 'alpha', ['16'], '1555', ('1555', 108, BI_BITFIELDS)),
    ('16-bit 4-4-4-4', 'alpha', ['16'], '4444', ('4444', 108, BI_BITFIELDS)),
]
START, END = '<!-- check_written_forms.sh: start -->', '<!-- check_written_forms.sh: end -->'


def has_layout(bmpconvert, src):
    """Whether this bmpconvert takes --layout (it exits 2 with its usage on an argument it does not know)."""
    r = subprocess.run([bmpconvert, src, 'probe.bmp', '16', '--layout', '555'], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return r.returncode == 0


def describe_file(data):
    H = header(data)
    comp = H['compression']
    text = '%d-byte header, %s' % (H['biSize'], COMPRESSION_NAME.get(comp, comp))
    if comp in (3, 6) and H['masks']:
        text += ', masks ' + ' '.join('%s %X' % (c, m) for c, m in zip('RGBA', H['masks']) if m)
    return text, bool(comp in (3, 6) and H['masks'] and H['masks'][3])


def stored_levels(data, src):
    """How the writer brought the source's 8-bit values to the file's levels: rounded, truncated, kept or other."""
    _, _, _, raw = rule_decode(data)
    if raw is None:
        return 'kept'
    found = set()
    for c in range(4):
        n = raw[0][c][1]
        if not n:
            continue
        lv = [p[c][0] for p in raw]
        vals = [p[c] for p in src]
        if n == 8:
            ok = ['kept'] if lv == vals else []
        else:
            ok = [nm for nm, q in (('rounded', lambda v: quantise(v, n, c == 3)), ('truncated', lambda v: v >> (8 - n)))
                  if lv == [q(v) for v in vals]]
        found.add('%s%d %s' % ('RGBA'[c], n, ok[0] if ok else 'other'))
    hows = {f.split(' ', 1)[1] for f in found}
    return hows.pop() if len(hows) == 1 else ', '.join(sorted(found))


def kept(bmpconvert, f):
    """What bmpconvert writes from f when no depth is asked: the same form and pixels, or what it became."""
    out = 'kept_' + f
    r = subprocess.run([bmpconvert, f, out], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if r.returncode:
        lines = r.stderr.decode(errors='replace').strip().splitlines()
        return 'fails (%s)' % (lines[-1] if lines else 'exit %d' % r.returncode)
    a, b = open(f, 'rb').read(), open(out, 'rb').read()
    n, _ = diff(rule_decode(a)[2], rule_decode(b)[2])
    pixels = '%d px differ' % n if n else 'same pixels'
    if describe_file(a) == describe_file(b):
        return 'same form, ' + pixels
    return 'becomes %d-bit, %s, %s' % (header(b)['bpp'], describe_file(b)[0], pixels)


def written(workdir, bmpconvert, readme):
    os.makedirs(workdir, exist_ok=True)
    os.chdir(workdir)
    pics = {'alpha': picture(True), 'opaque': picture(False)}
    open('alpha.bmp', 'wb').write(encode(pics['alpha'], '8888', 108, BI_BITFIELDS)[0])
    open('opaque.bmp', 'wb').write(encode(pics['opaque'], '888', 40, BI_RGB)[0])
    layouts = has_layout(bmpconvert, 'opaque.bmp')
    files, made = [], {}
    for i, (name, src, args, layout, stand_in) in enumerate(FORMS):
        f = 'form%d.bmp' % i
        if layout and not layouts and stand_in:
            open(f, 'wb').write(encode(pics[src], *stand_in)[0])
            made[f] = 'hand-made (this bmpconvert has no --layout)'
        else:
            cmd = [bmpconvert, src + '.bmp', f] + args + (['--layout', layout] if layout and layouts else [])
            r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if r.returncode:
                sys.exit('%s failed: %s' % (' '.join(cmd), r.stderr.decode(errors='replace')))
            made[f] = '`bmpconvert %s.bmp OUT %s`' % (src, ' '.join(cmd[3:]))
        files.append(f)
    dec = read_all(files, workdir, bmpconvert)
    V, _ = versions()

    readers = PROGRAMS
    rows = {p: [] for p in readers}
    honours = {p: [] for p in readers}
    head = ['| | ' + ' | '.join(name for name, *_ in FORMS) + ' |', '| --- |' + ' --- |' * len(FORMS)]
    made_row, header_row, level_row, pixelry_row, kept_row = [], [], [], [], []
    for f, (name, src, *_rest) in zip(files, FORMS):
        data = open(f, 'rb').read()
        text, alpha = describe_file(data)
        header_row.append(text)
        made_row.append(made[f])
        level_row.append(stored_levels(data, pics[src]))
        kept_row.append(kept(bmpconvert, f))
        ref = dec['pixelry'][f]
        rule = rule_decode(data)
        if ref[0] == 'error':
            pixelry_row.append('cannot read (%s)' % ref[1])
            ref = rule
        else:
            n, mx = diff(ref[2], rule[2])
            opaque = all(v == 255 for v in ref[2][3::4])
            pixelry_row.append(('reference' if not n else 'differs from round(v*255/(2^n-1)) in %d px' % n) +
                               (', alpha 255 throughout' if opaque and src == 'opaque' else ''))
        for p in readers:
            v = verdict(dec[p][f], ref[2], data, alpha)
            rows[p].append(cell(v, short=False))
            if v[2]:
                honours[p].append(name)
    L = [START, '']
    L.append('Made by `tools/check_written_forms.sh`: bmpconvert writes each form from a 9 x 6 picture (every pixel a '
             'different colour; alphas 0, 1, 127, 128, 254, 255, 17, 64 and 200, or, for the forms without alpha, a '
             '24-bit file, whose alpha is never set), then Pixelry (bmpconvert to 32 bits) and ten other programs read '
             'the file back. `exact`: every pixel, alpha included, as Pixelry reads it; `differs`: how the reading '
             'differs (`replicate` repeats the bits, 5 bits v<<3 | v>>2; `floor` is floor(v*255/(2^n-1)); `shift` is '
             'v<<(8-n), 31 -> 248 and 15 -> 240; `shift16` is GraphicsMagick\'s, 31 -> 247; `alpha A1 shift` reads '
             '1-bit alpha as 0 and 128; `alpha ignored` is 255 throughout; `varies`: one stored level read as several '
             'values, the masks not followed; `other`: levels read otherwise, a few shown); the count is of the 54 '
             'pixels.\n')
    L += head
    L.append('| written by | ' + ' | '.join(made_row) + ' |')
    L.append('| header | ' + ' | '.join(header_row) + ' |')
    L.append('| levels stored | ' + ' | '.join(level_row) + ' |')
    L.append('| `bmpconvert FILE OUT` | ' + ' | '.join(kept_row) + ' |')
    L.append('| pixelry | ' + ' | '.join(pixelry_row) + ' |')
    for p in readers:
        L.append('| %s | %s |' % (p, ' | '.join(rows[p])))
    L.append('\nAlpha read exactly, by form:\n')
    for name, src, *_ in FORMS:
        if src == 'alpha':
            L.append('- %s: %s' % (name, ', '.join(p for p in readers if name in honours[p]) or 'none'))
    L.append('\nPrograms (Debian 12):\n')
    L += ['- %s: %s' % (p, V[p]) for p in readers]
    L += ['', END]
    text = open(readme).read() if os.path.exists(readme) else ''
    if START in text and END in text:
        text = text[:text.index(START)] + '\n'.join(L) + text[text.index(END) + len(END):]
    else:
        text = text.rstrip('\n') + '\n\n## How other programs read what bmpconvert writes\n\n' + '\n'.join(L) + '\n'
    open(readme, 'w').write(text)
    print('\n'.join(L))


if __name__ == '__main__':
    mode, workdir, bmpconvert, out = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3]), os.path.abspath(sys.argv[4])
    {'headers': headers, 'written': written}[mode](workdir, bmpconvert, out)
