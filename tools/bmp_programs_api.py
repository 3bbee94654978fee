# Runs the writers and readers that are Python libraries, one program per process (for make_program_corpus.sh and
# bmp_programs.py).
#   bmp_programs_api.py PROGRAM write JOBS.json      each job: {"file": ..., "code": ...}; the code is run as written
#   bmp_programs_api.py PROGRAM decode OUTDIR FILE.. writes OUTDIR/FILE.pam (RGB_ALPHA) or OUTDIR/FILE.err
#   bmp_programs_api.py PROGRAM version
# Helpers the job code may use (all read the source pictures in src/):
#   src(name)     -> (width, height, RGBA bytes) of src/NAME.pam
#   rgb(name)     -> (width, height, RGB bytes), the same picture without alpha
#   grey(name)    -> (width, height, one byte a pixel), the red channel of a grey picture
#   indexed(name) -> (width, height, [(r, g, b), ...] in order of first use, one index byte a pixel)
import json, os, sys


def readpam(path):
    d = open(path, 'rb').read()
    i = d.index(b'ENDHDR\n') + 7
    h = dict(l.split(b' ', 1) for l in d[:i].split(b'\n')[1:-2])
    return int(h[b'WIDTH']), int(h[b'HEIGHT']), d[i:]


def src(name):
    return readpam('src/%s.pam' % name)


def rgb(name):
    w, h, px = src(name)
    return w, h, b''.join(px[i:i + 3] for i in range(0, len(px), 4))


def grey(name):
    w, h, px = src(name)
    return w, h, px[0::4]


def indexed(name):
    w, h, px = src(name)
    cols, idx = [], bytearray()
    for i in range(0, len(px), 4):
        c = tuple(px[i:i + 3])
        if c not in cols:
            cols.append(c)
        idx.append(cols.index(c))
    return w, h, cols, bytes(idx)


def writepam(path, w, h, rgba):
    assert len(rgba) == w * h * 4, (path, w, h, len(rgba))
    with open(path, 'wb') as f:
        f.write(b'P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n' % (w, h))
        f.write(rgba)


def rows(buf, w, h, stride, bpp):
    return b''.join(bytes(buf[y * stride:y * stride + w * bpp]) for y in range(h))


# ---- per program: imports, version, decoder -------------------------------------------------------
def setup(prog):
    g = globals()
    if prog == 'pillow':
        import PIL
        from PIL import Image
        g['PIL'], g['Image'] = PIL, Image
    elif prog == 'opencv':
        import cv2, numpy as np
        cv2.setNumThreads(1)
        g['cv2'], g['np'] = cv2, np
    elif prog == 'qt':
        from PyQt5 import QtCore
        from PyQt5.QtGui import QImage
        g['QtCore'], g['QImage'] = QtCore, QImage
    elif prog == 'sdl':
        import pygame
        pygame.display.init()  # palettes and convert_alpha need it; the dummy video driver is used
        pygame.display.set_mode((1, 1))
        g['pygame'] = pygame
    elif prog == 'gdkpixbuf':
        import gi
        gi.require_version('GdkPixbuf', '2.0')
        from gi.repository import GdkPixbuf, GLib
        g['GdkPixbuf'], g['GLib'] = GdkPixbuf, GLib


def version(prog):
    if prog == 'pillow':
        return 'Pillow %s' % PIL.__version__
    if prog == 'opencv':
        return 'OpenCV %s' % cv2.__version__
    if prog == 'qt':
        return 'Qt %s (PyQt5 %s)' % (QtCore.QT_VERSION_STR, QtCore.PYQT_VERSION_STR)
    if prog == 'sdl':
        return 'SDL %d.%d.%d (pygame %s)' % (pygame.get_sdl_version() + (pygame.version.ver,))
    if prog == 'gdkpixbuf':
        return 'gdk-pixbuf %s' % GdkPixbuf.PIXBUF_VERSION


DECODE_CODE = {
    'pillow': "im = Image.open(f); im.convert('RGBA').tobytes()",
    'opencv': "cv2.imread(f, cv2.IMREAD_UNCHANGED), then grey/BGR/BGRA to RGBA",
    'qt': "QImage(f).convertToFormat(QImage.Format_RGBA8888)",
    'sdl': "pygame.image.tostring(pygame.image.load(f).convert_alpha(), 'RGBA') (SDL_LoadBMP, then SDL_ConvertSurface to 8-bit ARGB)",
    'gdkpixbuf': "GdkPixbuf.Pixbuf.new_from_file(f), add_alpha() when it has none, rows of get_pixels()",
}


def decode(prog, f):
    if prog == 'pillow':
        im = Image.open(f)
        im.load()
        return im.size + (im.convert('RGBA').tobytes(),)
    if prog == 'opencv':
        x = cv2.imread(f, cv2.IMREAD_UNCHANGED)
        if x is None:
            raise RuntimeError('cv2.imread returned None')
        if x.ndim == 2:
            x = cv2.cvtColor(x, cv2.COLOR_GRAY2RGBA)
        elif x.shape[2] == 3:
            x = cv2.cvtColor(x, cv2.COLOR_BGR2RGBA)
        else:
            x = cv2.cvtColor(x, cv2.COLOR_BGRA2RGBA)
        return x.shape[1], x.shape[0], x.tobytes()
    if prog == 'qt':
        im = QImage(f)
        if im.isNull():
            raise RuntimeError('QImage is null')
        im = im.convertToFormat(QImage.Format_RGBA8888)
        p = im.constBits()
        p.setsize(im.sizeInBytes())
        return im.width(), im.height(), rows(p.asstring(), im.width(), im.height(), im.bytesPerLine(), 4)
    if prog == 'sdl':
        s = pygame.image.load(f).convert_alpha()  # SDL's own conversion; tostring alone would shift 5-bit channels itself
        return s.get_width(), s.get_height(), pygame.image.tostring(s, 'RGBA')
    if prog == 'gdkpixbuf':
        pb = GdkPixbuf.Pixbuf.new_from_file(f)
        if not pb.get_has_alpha():
            pb = pb.add_alpha(False, 0, 0, 0)
        w, h = pb.get_width(), pb.get_height()
        return w, h, rows(pb.read_pixel_bytes().get_data(), w, h, pb.get_rowstride(), 4)
    raise ValueError(prog)


def main():
    prog, op = sys.argv[1], sys.argv[2]
    setup(prog)
    if op == 'version':
        print(version(prog))
        print(DECODE_CODE[prog])
    elif op == 'write':
        for job in json.load(open(sys.argv[3])):
            exec(job['code'], dict(globals()))
            if not os.path.exists(job['file']):
                sys.exit('%s: %s was not written' % (prog, job['file']))
    elif op == 'decode':
        outdir = sys.argv[3]
        for f in sys.argv[4:]:
            base = os.path.join(outdir, os.path.basename(f))
            try:
                writepam(base + '.pam', *decode(prog, f))
            except Exception as e:  # a reader that refuses a file is a result, not an error
                open(base + '.err', 'w').write('%s: %s' % (type(e).__name__, e))


main()
