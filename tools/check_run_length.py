# Run-length files as Pixelry writes them, measured and read back (check_run_length.sh runs it).
#   check_run_length.py sizes WORKDIR RUN_LENGTH_WRITE      the size table against ImageMagick's RLE8
#   check_run_length.py programs WORKDIR RUN_LENGTH_WRITE   which programs read the RLE8 and RLE4 files exactly
#
# sizes: palette pictures made with ImageMagick (text and shapes drawn, icons, the MATE desktop backgrounds, the MATE
# nature photographs undithered and dithered), each reduced to at most 256 colours as an 8-bit palette BMP. Pixelry
# writes every picture again uncompressed at 8 bits and as RLE8 (and RLE4 when its indices fit 4 bits), each read back
# by Pixelry with the same indices; ImageMagick codes Pixelry's uncompressed file as RLE8
# (convert IN.bmp -compress RLE BMP3:OUT.bmp), and its file must hold the same indices and colours. Prints one Markdown
# table row per picture.
#
# programs: small pictures at every width from 1 to 17 and 255, 256, 257 and 511, of noise, of rows of a single colour,
# of runs of every length and of two colours alternating, coded by Pixelry as RLE8 and RLE4, then read by each of the
# ten programs of bmp_programs.py and compared pixel for pixel with the plain reading of the uncompressed file.
import glob, os, subprocess, sys

from bmp_programs import PROGRAMS, decode_all, diff, rule_decode

CONVERT = '/usr/bin/convert'


def run(cmd):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return r.returncode, r.stderr.decode(errors='replace').strip()


def reduce(src, out, dither, size=None):
    cmd = [CONVERT, src, '-background', 'white', '-alpha', 'remove', '-alpha', 'off']
    if size:
        cmd += ['-resize', size]
    cmd += ['-dither', 'FloydSteinberg'] if dither else ['+dither']
    cmd += ['-colors', '256', '-type', 'Palette', 'BMP3:' + out]
    code, err = run(cmd)
    if code:
        raise RuntimeError('%s: %s' % (' '.join(cmd), err))


def drawn(out, kind):
    if kind == 'text':
        lines = ['The quick brown fox jumps over the lazy dog. 0123456789',
                 'int main(int argc, char** argv) { return run(argc, argv); }',
                 'Pixelry writes RLE8 and RLE4: runs and absolute runs.'] * 6
        cmd = [CONVERT, '-size', '800x600', 'xc:white', '-fill', '#203060', '-pointsize', '16']
        for k, line in enumerate(lines):
            cmd += ['-annotate', '+12+%d' % (24 + 30 * k), line]
    else:
        cmd = [CONVERT, '-size', '800x600', 'xc:#f0f0f0', '-fill', '#3465a4', '-draw', 'rectangle 40,40 360,260',
               '-fill', '#cc0000', '-draw', 'circle 560,160 640,240', '-fill', '#73d216', '-draw',
               'polygon 100,560 300,320 500,560', '-stroke', 'black', '-strokewidth', '3', '-draw', 'line 0,300 800,300',
               '-fill', 'none', '-draw', 'roundrectangle 420,340 760,560 30,30']
    code, err = run(cmd + ['-colors', '256', '-type', 'Palette', 'BMP3:' + out])
    if code:
        raise RuntimeError(err)


def sources(src):
    os.makedirs(src, exist_ok=True)
    made = []
    for kind in ('text', 'shapes'):
        drawn(os.path.join(src, kind + '.bmp'), kind)
        made.append(('drawing: ' + kind, os.path.join(src, kind + '.bmp')))
    icons = sorted(glob.glob('/usr/share/icons/Adwaita/256x256/*/*.png'))[:4] + sorted(glob.glob('/usr/share/pixmaps/*.png'))
    for path in icons:
        name = 'icon ' + os.path.basename(path)
        reduce(path, os.path.join(src, name.replace(' ', '_') + '.bmp'), False)
        made.append((name, os.path.join(src, name.replace(' ', '_') + '.bmp')))
    for path in sorted(glob.glob('/usr/share/backgrounds/mate/desktop/*.png')):
        name = 'desktop ' + os.path.basename(path)
        reduce(path, os.path.join(src, name.replace(' ', '_') + '.bmp'), False)
        made.append((name, os.path.join(src, name.replace(' ', '_') + '.bmp')))
    for path in sorted(glob.glob('/usr/share/backgrounds/mate/nature/*.jpg')):
        for dither in (False, True):
            name = 'photo %s %s' % (os.path.basename(path), 'dithered' if dither else 'undithered')
            reduce(path, os.path.join(src, name.replace(' ', '_') + '.bmp'), dither)
            made.append((name, os.path.join(src, name.replace(' ', '_') + '.bmp')))
    return made


def sizes(work, rlw):
    print('| picture | size | uncompressed 8-bit | ImageMagick RLE8 | Pixelry RLE8 | Pixelry / ImageMagick | '
          'Pixelry RLE4 |')
    print('| --- | --- | ---: | ---: | ---: | ---: | ---: |')
    total_im = total_ours = 0
    for name, src in sources(os.path.join(work, 'src')):
        base = os.path.join(work, os.path.basename(src)[:-4])
        plain, ours, im, ours4 = base + '_8.bmp', base + '_rle8.bmp', base + '_im_rle8.bmp', base + '_rle4.bmp'
        for out, bits, how in ((plain, '8', 'plain'), (ours, '8', 'rle')):
            code, err = run([rlw, 'write', src, out, bits, how])
            if code:
                raise RuntimeError('%s: %s' % (out, err))
        four = run([rlw, 'write', src, ours4, '4', 'rle'])[0] == 0
        code, err = run([CONVERT, plain, '-compress', 'RLE', 'BMP3:' + im])
        if code:
            raise RuntimeError(err)
        same = run([rlw, 'same', plain, im])[0] == 0
        w, h = rule_header(plain)
        s8, sim, sours = os.path.getsize(plain), os.path.getsize(im), os.path.getsize(ours)
        total_im += sim
        total_ours += sours
        print('| %s | %d x %d | %d | %d%s | %d | %.3f | %s |' % (
            name, w, h, s8, sim, '' if same else ' (other indices)', sours, sours / sim,
            os.path.getsize(ours4) if four else '-'))
    print('| all | | | %d | %d | %.3f | |' % (total_im, total_ours, total_ours / total_im))


def rule_header(path):
    d = open(path, 'rb').read(26)
    return int.from_bytes(d[18:22], 'little', signed=True), int.from_bytes(d[22:26], 'little', signed=True)


def plain_bmp(w, h, idx, table):
    """An uncompressed bottom-up 8-bit file."""
    stride = (w + 3) // 4 * 4
    rows = b''.join(bytes(idx[y * w:(y + 1) * w]) + bytes(stride - w) for y in reversed(range(h)))
    off = 14 + 40 + 4 * 256
    head = b'BM' + (off + len(rows)).to_bytes(4, 'little') + bytes(4) + off.to_bytes(4, 'little')
    info = (40).to_bytes(4, 'little') + w.to_bytes(4, 'little') + h.to_bytes(4, 'little') + (1).to_bytes(2, 'little') + \
        (8).to_bytes(2, 'little') + bytes(4) + len(rows).to_bytes(4, 'little') + bytes(16)
    pal = b''.join(bytes((b, g, r, 0)) for r, g, b in table) + bytes(4 * (256 - len(table)))
    return head + info + pal + rows


def patterns(w):
    """Rows of 4 kinds over 5 rows: noise, a single colour a row, runs of 1, 2, 3, ... pixels, two colours alternating."""
    def noise(x, y):
        return (x * 7 + y * 5 + (x * x) % 11) % 16
    def runs(x, y):
        k, n = 0, 1
        while x >= n:
            x, n, k = x - n, n + 1, k + 1
        return (k + y) % 16
    return {'noise': noise, 'single': lambda x, y: (3 * y + 1) % 16, 'runs': runs,
            'alternating': lambda x, y: (5, 9)[(x + y) % 2]}


def programs(work, rlw):
    table = [((37 * i) % 256, (91 * i + 40) % 256, (173 * i + 7) % 256) for i in range(16)]
    files, refs = [], {}
    os.makedirs(work, exist_ok=True)
    for w in list(range(1, 18)) + [255, 256, 257, 511]:
        for kind, f in patterns(w).items():
            h = 5
            idx = [f(x, y) for y in range(h) for x in range(w)]
            plain = os.path.join(work, '%s_%d.bmp' % (kind, w))
            open(plain, 'wb').write(plain_bmp(w, h, idx, table))
            for bits in (8, 4):
                out = os.path.join(work, '%s_%d_rle%d.bmp' % (kind, w, bits))
                code, err = run([rlw, 'write', plain, out, str(bits), 'rle'])
                if code:
                    raise RuntimeError(err)
                files.append(out)
                refs[out] = rule_decode(open(plain, 'rb').read())[2]
    print('| program | RLE8 files read exactly | RLE4 files read exactly | what differed |')
    print('| --- | ---: | ---: | --- |')
    for prog in PROGRAMS:
        dec = decode_all(files, prog, os.path.join(work, 'dec', prog))
        exact = {8: 0, 4: 0}
        count = {8: 0, 4: 0}
        notes = []
        for f in files:
            bits = 8 if f.endswith('_rle8.bmp') else 4
            count[bits] += 1
            got = dec[f]
            if got[0] == 'error':
                notes.append('%s: %s' % (os.path.basename(f), got[1]))
                continue
            if diff(got[2], refs[f])[0] == 0 and len(got[2]) == len(refs[f]):
                exact[bits] += 1
            else:
                notes.append('%s: %d pixels differ' % (os.path.basename(f), diff(got[2], refs[f])[0]))
        print('| %s | %d / %d | %d / %d | %s |' % (prog, exact[8], count[8], exact[4], count[4],
                                                  '; '.join(notes[:3]) + (' ...' if len(notes) > 3 else '')))


if __name__ == '__main__':
    {'sizes': sizes, 'programs': programs}[sys.argv[1]](sys.argv[2], sys.argv[3])
