#!/usr/bin/env bash
# Regenerates tests/data/programs/: tiny source pictures, BMP files written by common programs in every BMP
# flavour each offers, a reference decoding of each (the writing program reading it back, as PAM), MANIFEST.tsv
# and README.md.
#
#   tools/make_program_corpus.sh [OUTDIR]      (default: tests/data/programs beside this script's repository)
#
# Needs Debian 12 and root for the installs: the programs' Debian packages (listed in bmp_programs.sh) are installed
# with apt-get when missing. They read the files with bmp_programs.py.
# The output is the same byte for byte on every run with the same package versions.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(realpath -m "${1:-$root/tests/data/programs}")

source "$root/tools/bmp_programs.sh"
bmp_programs_install

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/run" "$out"

bmp_programs_env "$work"

cat > "$work/corpus.py" <<'PYTHON'
# Builds tests/data/programs/: sources, BMPs written by each program, reference decodings, MANIFEST.tsv, README.md.
#   corpus.py WORKDIR OUTDIR     (run by tools/make_program_corpus.sh, which installs the programs)
import glob, json, os, shutil, sys
from bmp_programs import (COMPRESSION_NAME, HEADER_NAME, RLE_NOTES, alpha_use, api, decode_all, decoder_command, describe,
                          diff, group, header, rule_decode, run, summarise_widening, versions, widening)

WORK, OUT = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
os.chdir(WORK)


# ---- source pictures --------------------------------------------------------------------------------
rnd = lambda v: int(v + 0.5)


def pictures():
    P = {}
    w, h = 13, 7  # every pixel a different colour
    P['colors'] = (w, h, [(rnd(x * 255 / 12), rnd(y * 255 / 6), (x * 37 + y * 101 + 64) % 256, 255) for y in range(h) for x in range(w)])
    w, h = 64, 4  # red, green, blue and grey ramps of 64 steps: every 4-, 5- and 6-bit level after quantisation
    P['gradient'] = (w, h, [(((v, 0, 0), (0, v, 0), (0, 0, v), (v, v, v))[y] + (255,)) for y in range(h) for v in [rnd(x * 255 / 63) for x in range(w)]])
    w, h = 11, 6  # four colours, in runs and in single pixels
    pal = [(200, 30, 40), (20, 160, 60), (30, 60, 220), (250, 220, 20)]
    def four(x, y):
        return (0 if x < 5 else 1) if y < 2 else (x + y) % 4 if y < 4 else (2 if x < 8 else 3)
    P['four'] = (w, h, [pal[four(x, y)] + (255,) for y in range(h) for x in range(w)])
    w, h = 19, 5  # black and white
    def black(x, y):
        return x < 3 or (y == 2 and x % 2 == 0) or x == 18 - y or (y == 0 and x >= 15)
    P['bw'] = (w, h, [(0, 0, 0, 255) if black(x, y) else (255, 255, 255, 255) for y in range(h) for x in range(w)])
    w, h = 16, 16  # all 256 grey levels, value 16*y + x
    P['grey'] = (w, h, [(16 * y + x,) * 3 + (255,) for y in range(h) for x in range(w)])
    w, h = 13, 7  # alpha 0..255 along x (row 6 opaque), colours differ in every pixel
    P['rgba'] = (w, h, [(rnd(x * 255 / 12), (y * 40 + 20) % 256, 255 - rnd(x * 255 / 12), 255 if y == 6 else rnd(x * 255 / 12)) for y in range(h) for x in range(w)])
    return P


SOURCE_NOTE = {
    'colors': '13x7, a different colour in every pixel (91 colours)',
    'gradient': '64x4, rows: red, green, blue and grey ramps of 64 steps',
    'four': '11x6, four colours in runs and single pixels',
    'bw': '19x5, black and white',
    'grey': '16x16, all 256 grey levels',
    'rgba': '13x7, alpha 0..255 along x, last row opaque',
}


def pam_bytes(w, h, rgba):
    return b'P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n' % (w, h) + bytes(rgba)


def write_sources():
    os.makedirs('src', exist_ok=True)
    from PIL import Image
    for name, (w, h, px) in pictures().items():
        flat = bytes(c for p in px for c in p)
        open('src/%s.pam' % name, 'wb').write(pam_bytes(w, h, flat))
        open('src/%s.ppm' % name, 'wb').write(b'P6\n%d %d\n255\n' % (w, h) + bytes(c for p in px for c in p[:3]))
        if name in ('grey', 'bw'):
            open('src/%s.pgm' % name, 'wb').write(b'P5\n%d %d\n255\n' % (w, h) + bytes(p[0] for p in px))
        if name == 'bw':
            rowbytes = b''
            for y in range(h):
                bits = [1 if px[y * w + x][0] < 128 else 0 for x in range(w)] + [0] * (-w % 8)
                rowbytes += bytes(sum(b << (7 - i) for i, b in enumerate(bits[k:k + 8])) for k in range(0, len(bits), 8))
            open('src/bw.pbm', 'wb').write(b'P4\n%d %d\n' % (w, h) + rowbytes)
        im = Image.frombytes('RGBA', (w, h), flat)
        (im if name == 'rgba' else im.convert('RGB')).save('src/%s.png' % name)  # for GIMP


# ---- the BMPs each program writes -------------------------------------------------------------------
# (file, source, command, note). Shell commands run in WORKDIR with PATH=/usr/bin:/bin.
IM = [
    ('imagemagick_24bit.bmp', 'colors', 'convert src/colors.ppm imagemagick_24bit.bmp', ''),
    ('imagemagick_bmp3_24bit.bmp', 'colors', 'convert src/colors.ppm BMP3:imagemagick_bmp3_24bit.bmp', ''),
    ('imagemagick_bmp2_24bit.bmp', 'colors', 'convert src/colors.ppm BMP2:imagemagick_bmp2_24bit.bmp', 'BMP2: writes the 12-byte OS/2 1.x header'),
    ('imagemagick_32bit_alpha.bmp', 'rgba', 'convert src/rgba.pam imagemagick_32bit_alpha.bmp', ''),
    ('imagemagick_bmp3_32bit_alpha.bmp', 'rgba', 'convert src/rgba.pam -define bmp3:alpha=true BMP3:imagemagick_bmp3_32bit_alpha.bmp', 'alpha in the fourth byte of a BI_RGB 32-bit file'),
    ('imagemagick_rgb565.bmp', 'gradient', 'convert src/gradient.ppm -define bmp:subtype=RGB565 imagemagick_rgb565.bmp', ''),
    ('imagemagick_rgb555.bmp', 'gradient', 'convert src/gradient.ppm -define bmp:subtype=RGB555 imagemagick_rgb555.bmp', ''),
    ('imagemagick_argb4444.bmp', 'rgba', 'convert src/rgba.pam -define bmp:subtype=ARGB4444 imagemagick_argb4444.bmp', ''),
    ('imagemagick_argb4444_opaque.bmp', 'gradient', 'convert src/gradient.pam -define bmp:subtype=ARGB4444 imagemagick_argb4444_opaque.bmp', 'every 4-bit level, alpha 15 throughout'),
    ('imagemagick_argb1555.bmp', 'rgba', 'convert src/rgba.pam -define bmp:subtype=ARGB1555 imagemagick_argb1555.bmp', ''),
    ('imagemagick_rle8.bmp', 'colors', 'convert src/colors.ppm -type Palette -compress RLE imagemagick_rle8.bmp', 'RLE is also the default for palette images'),
    ('imagemagick_rle8_runs.bmp', 'four', 'convert src/four.ppm -type Palette -compress RLE imagemagick_rle8_runs.bmp', 'ImageMagick writes RLE8 rather than RLE4 for a 4-colour picture'),
    ('imagemagick_8bit.bmp', 'colors', 'convert src/colors.ppm -type Palette -compress None imagemagick_8bit.bmp', ''),
    ('imagemagick_4bit.bmp', 'four', 'convert src/four.ppm -type Palette -compress None imagemagick_4bit.bmp', ''),
    ('imagemagick_1bit.bmp', 'bw', 'convert src/bw.pbm -type Bilevel imagemagick_1bit.bmp', 'without -type Bilevel a PBM is written as 24-bit'),
    ('imagemagick_grey_24bit.bmp', 'grey', 'convert src/grey.pgm imagemagick_grey_24bit.bmp', 'a grey picture is written as 24-bit'),
    ('imagemagick_grey_rle8.bmp', 'grey', 'convert src/grey.pgm -type Palette -compress RLE imagemagick_grey_rle8.bmp', ''),
    ('imagemagick_grey_8bit.bmp', 'grey', 'convert src/grey.pgm -type Palette -compress None imagemagick_grey_8bit.bmp', ''),
    ('imagemagick_bmp3_rle8.bmp', 'colors', 'convert src/colors.ppm -type Palette -compress RLE BMP3:imagemagick_bmp3_rle8.bmp', ''),
    ('imagemagick_bmp3_8bit.bmp', 'colors', 'convert src/colors.ppm -type Palette -compress None BMP3:imagemagick_bmp3_8bit.bmp', ''),
    ('imagemagick_bmp3_4bit.bmp', 'four', 'convert src/four.ppm -type Palette -compress None BMP3:imagemagick_bmp3_4bit.bmp', ''),
    ('imagemagick_bmp3_1bit.bmp', 'bw', 'convert src/bw.pbm -type Bilevel BMP3:imagemagick_bmp3_1bit.bmp', ''),
    ('imagemagick_bmp2_8bit.bmp', 'colors', 'convert src/colors.ppm -type Palette BMP2:imagemagick_bmp2_8bit.bmp', 'BMP2: never compresses'),
    ('imagemagick_bmp2_4bit.bmp', 'four', 'convert src/four.ppm -type Palette BMP2:imagemagick_bmp2_4bit.bmp', ''),
    ('imagemagick_bmp2_1bit.bmp', 'bw', 'convert src/bw.pbm -type Bilevel BMP2:imagemagick_bmp2_1bit.bmp', ''),
]
GM = [
    ('graphicsmagick_24bit.bmp', 'colors', 'gm convert src/colors.ppm graphicsmagick_24bit.bmp', ''),
    ('graphicsmagick_bmp2_24bit.bmp', 'colors', 'gm convert src/colors.ppm BMP2:graphicsmagick_bmp2_24bit.bmp', ''),
    ('graphicsmagick_32bit_alpha.bmp', 'rgba', 'gm convert src/rgba.pam graphicsmagick_32bit_alpha.bmp', ''),
    ('graphicsmagick_rle8.bmp', 'colors', 'gm convert src/colors.ppm -type Palette -compress RLE graphicsmagick_rle8.bmp', ''),
    ('graphicsmagick_8bit.bmp', 'colors', 'gm convert src/colors.ppm -type Palette -compress None graphicsmagick_8bit.bmp', ''),
    ('graphicsmagick_4bit.bmp', 'four', 'gm convert src/four.ppm -type Palette -compress RLE graphicsmagick_4bit.bmp', '-compress RLE asked, but a 4-bit file is written uncompressed (no RLE4)'),
    ('graphicsmagick_1bit.bmp', 'bw', 'gm convert src/bw.pbm graphicsmagick_1bit.bmp', ''),
    ('graphicsmagick_grey_rle8.bmp', 'grey', 'gm convert src/grey.pgm graphicsmagick_grey_rle8.bmp', 'RLE8 by default'),
    ('graphicsmagick_grey_8bit.bmp', 'grey', 'gm convert src/grey.pgm -compress None graphicsmagick_grey_8bit.bmp', ''),
    ('graphicsmagick_bmp2_8bit.bmp', 'colors', 'gm convert src/colors.ppm -type Palette BMP2:graphicsmagick_bmp2_8bit.bmp', ''),
    ('graphicsmagick_bmp2_4bit.bmp', 'four', 'gm convert src/four.ppm -type Palette BMP2:graphicsmagick_bmp2_4bit.bmp', ''),
    ('graphicsmagick_bmp2_1bit.bmp', 'bw', 'gm convert src/bw.pbm BMP2:graphicsmagick_bmp2_1bit.bmp', ''),
]
NETPBM = []
for _os in ('windows', 'os2'):
    NETPBM += [
        ('netpbm_%s_24bit.bmp' % _os, 'colors', 'ppmtobmp -%s -bpp 24 src/colors.ppm > netpbm_%s_24bit.bmp' % (_os, _os), ''),
        ('netpbm_%s_8bit.bmp' % _os, 'colors', 'ppmtobmp -%s src/colors.ppm > netpbm_%s_8bit.bmp' % (_os, _os), ''),
        ('netpbm_%s_4bit.bmp' % _os, 'four', 'ppmtobmp -%s src/four.ppm > netpbm_%s_4bit.bmp' % (_os, _os), ''),
        ('netpbm_%s_1bit.bmp' % _os, 'bw', 'ppmtobmp -%s src/bw.pbm > netpbm_%s_1bit.bmp' % (_os, _os), ''),
    ]
NETPBM.insert(4, ('netpbm_windows_grey_8bit.bmp', 'grey', 'ppmtobmp -windows src/grey.pgm > netpbm_windows_grey_8bit.bmp', ''))
FF = 'ffmpeg -nostdin -loglevel error -threads 1 -i src/%s.pam %s-frames:v 1 %s'
FFMPEG = [
    ('ffmpeg_bgra.bmp', 'rgba', FF % ('rgba', '-pix_fmt bgra ', 'ffmpeg_bgra.bmp'), 'alpha in the fourth byte of a BI_RGB 32-bit file'),
    ('ffmpeg_bgr24.bmp', 'colors', FF % ('colors', '-pix_fmt bgr24 ', 'ffmpeg_bgr24.bmp'), ''),
    ('ffmpeg_rgb565.bmp', 'gradient', FF % ('gradient', '-pix_fmt rgb565le ', 'ffmpeg_rgb565.bmp'), ''),
    ('ffmpeg_rgb555.bmp', 'gradient', FF % ('gradient', '-pix_fmt rgb555le ', 'ffmpeg_rgb555.bmp'), '16-bit BI_RGB: the implicit 5-5-5 layout'),
    ('ffmpeg_rgb444.bmp', 'gradient', FF % ('gradient', '-pix_fmt rgb444le ', 'ffmpeg_rgb444.bmp'), ''),
    ('ffmpeg_rgb8.bmp', 'colors', FF % ('colors', '-pix_fmt rgb8 ', 'ffmpeg_rgb8.bmp'), 'fixed 3-3-2 palette: colours quantised by the writer'),
    ('ffmpeg_bgr8.bmp', 'colors', FF % ('colors', '-pix_fmt bgr8 ', 'ffmpeg_bgr8.bmp'), 'fixed 2-3-3 palette: colours quantised by the writer'),
    ('ffmpeg_rgb4_byte.bmp', 'four', FF % ('four', '-pix_fmt rgb4_byte ', 'ffmpeg_rgb4_byte.bmp'), 'fixed 1-2-1 palette: colours quantised by the writer'),
    ('ffmpeg_bgr4_byte.bmp', 'four', FF % ('four', '-pix_fmt bgr4_byte ', 'ffmpeg_bgr4_byte.bmp'), 'fixed 1-2-1 palette: colours quantised by the writer'),
    ('ffmpeg_gray.bmp', 'grey', FF % ('grey', '-pix_fmt gray ', 'ffmpeg_gray.bmp'), ''),
    ('ffmpeg_pal8.bmp', 'colors', FF % ('colors', '-filter_complex "split[a][b];[a]palettegen=max_colors=256:reserve_transparent=0:stats_mode=full[p];[b][p]paletteuse=dither=none" -pix_fmt pal8 ', 'ffmpeg_pal8.bmp'), 'palette made by palettegen'),
    ('ffmpeg_monob.bmp', 'bw', FF % ('bw', '-pix_fmt monob ', 'ffmpeg_monob.bmp'), ''),
]
# Python libraries: the code is run as written by api.py (helpers src, rgb, grey, indexed are described there).
PILLOW = [
    ('pillow_24bit.bmp', 'colors', "w, h, px = rgb('colors'); Image.frombytes('RGB', (w, h), px).save('pillow_24bit.bmp')", ''),
    ('pillow_32bit.bmp', 'rgba', "w, h, px = src('rgba'); Image.frombytes('RGBA', (w, h), px).save('pillow_32bit.bmp')", 'alpha in the fourth byte of a BI_RGB 32-bit file'),
    ('pillow_8bit.bmp', 'colors', "w, h, pal, idx = indexed('colors'); im = Image.frombytes('P', (w, h), idx); im.putpalette(bytes(c for p in pal for c in p)); im.save('pillow_8bit.bmp')", ''),
    ('pillow_grey_8bit.bmp', 'grey', "w, h, px = grey('grey'); Image.frombytes('L', (w, h), px).save('pillow_grey_8bit.bmp')", ''),
    ('pillow_1bit.bmp', 'bw', "w, h, px = grey('bw'); Image.frombytes('L', (w, h), px).convert('1', dither=Image.Dither.NONE).save('pillow_1bit.bmp')", ''),
]
OPENCV = [
    ('opencv_24bit.bmp', 'colors', "w, h, px = rgb('colors'); cv2.imwrite('opencv_24bit.bmp', cv2.cvtColor(np.frombuffer(px, np.uint8).reshape(h, w, 3), cv2.COLOR_RGB2BGR))", ''),
    ('opencv_32bit.bmp', 'rgba', "w, h, px = src('rgba'); cv2.imwrite('opencv_32bit.bmp', cv2.cvtColor(np.frombuffer(px, np.uint8).reshape(h, w, 4), cv2.COLOR_RGBA2BGRA))", 'alpha in the fourth byte of a BI_RGB 32-bit file'),
    ('opencv_grey_8bit.bmp', 'grey', "w, h, px = grey('grey'); cv2.imwrite('opencv_grey_8bit.bmp', np.frombuffer(px, np.uint8).reshape(h, w))", ''),
]
QT_INDEXED = "w, h, pal, idx = indexed('%s'); bpl = (w + 3) // 4 * 4; im = QImage(b''.join(idx[y * w:(y + 1) * w].ljust(bpl, b'\\0') for y in range(h)), w, h, bpl, QImage.Format_Indexed8).copy(); im.setColorTable([0xff000000 | r << 16 | g << 8 | b for r, g, b in pal]); im.save('%s', 'BMP')"
QT = [
    ('qt_24bit.bmp', 'colors', "w, h, px = src('colors'); QImage(px, w, h, 4 * w, QImage.Format_RGBA8888).convertToFormat(QImage.Format_RGB32).save('qt_24bit.bmp', 'BMP')", ''),
    ('qt_argb32_24bit.bmp', 'rgba', "w, h, px = src('rgba'); QImage(px, w, h, 4 * w, QImage.Format_RGBA8888).convertToFormat(QImage.Format_ARGB32).save('qt_argb32_24bit.bmp', 'BMP')", 'an ARGB32 image is written as 24-bit: alpha dropped by the writer'),
    ('qt_8bit.bmp', 'colors', QT_INDEXED % ('colors', 'qt_8bit.bmp'), 'palette as long as the colour table'),
    ('qt_4bit.bmp', 'four', QT_INDEXED % ('four', 'qt_4bit.bmp'), 'an Indexed8 image of 16 colours or fewer is written as 4-bit'),
    ('qt_4bit_2colours.bmp', 'bw', QT_INDEXED % ('bw', 'qt_4bit_2colours.bmp'), 'a 2-entry palette in a 4-bit file'),
    ('qt_1bit.bmp', 'bw', "w, h, px = grey('bw'); bpl = (w + 31) // 32 * 4; bits = b''.join(bytes(sum(128 >> i for i in range(8) if x + i < w and px[y * w + x + i] < 128) for x in range(0, 8 * bpl, 8)) for y in range(h)); im = QImage(bits, w, h, bpl, QImage.Format_Mono).copy(); im.setColorTable([0xffffffff, 0xff000000]); im.save('qt_1bit.bmp', 'BMP')", 'a Mono image made from packed bits (convertToFormat leaves the row padding uninitialised, and Qt writes it)'),
    ('qt_grey_8bit.bmp', 'grey', "w, h, px = grey('grey'); QImage(px, w, h, w, QImage.Format_Grayscale8).copy().save('qt_grey_8bit.bmp', 'BMP')", ''),
]
SDL = [
    ('sdl_24bit.bmp', 'colors', "w, h, px = rgb('colors'); pygame.image.save(pygame.image.frombuffer(px, (w, h), 'RGB'), 'sdl_24bit.bmp')", ''),
    ('sdl_32bit_alpha.bmp', 'rgba', "w, h, px = src('rgba'); pygame.image.save(pygame.image.frombuffer(px, (w, h), 'RGBA'), 'sdl_32bit_alpha.bmp')", ''),
    ('sdl_32bit_legacy.bmp', 'rgba', "os.environ['SDL_BMP_SAVE_LEGACY_FORMAT'] = '1'; w, h, px = src('rgba'); pygame.image.save(pygame.image.frombuffer(px, (w, h), 'RGBA'), 'sdl_32bit_legacy.bmp'); del os.environ['SDL_BMP_SAVE_LEGACY_FORMAT']", 'the SDL_BMP_SAVE_LEGACY_FORMAT hint: alpha in the fourth byte of a BI_RGB 32-bit file'),
    ('sdl_8bit.bmp', 'colors', "w, h, pal, idx = indexed('colors'); s = pygame.image.frombuffer(idx, (w, h), 'P'); s.set_palette(pal); pygame.image.save(s, 'sdl_8bit.bmp')", ''),
]
GDK = "w, h, px = %s('%s'); GdkPixbuf.Pixbuf.new_from_bytes(GLib.Bytes.new(px), GdkPixbuf.Colorspace.RGB, %s, 8, w, h, %d * w).savev('%s', 'bmp', [], [])"
GDKPIXBUF = [
    ('gdkpixbuf_24bit.bmp', 'colors', GDK % ('rgb', 'colors', 'False', 3, 'gdkpixbuf_24bit.bmp'), ''),
    ('gdkpixbuf_rgba_24bit.bmp', 'rgba', GDK % ('src', 'rgba', 'True', 4, 'gdkpixbuf_rgba_24bit.bmp'), 'a pixbuf with alpha is written as 24-bit: alpha dropped by the writer'),
]
# GIMP 2.10: file-bmp-save2 (run-mode image drawable filename raw-filename use-rle write-color-space rgb-format);
# rgb-format 0=RGB_565 1=RGBA_5551 2=RGB_555 3=RGB_888 4=RGBA_8888 5=RGBX_8888.
def gimp(out, source, rle, cs, fmt, convert=''):
    return ('(let* ((i (car (gimp-file-load RUN-NONINTERACTIVE "src/{s}.png" "src/{s}.png")))) {c}'
            '(file-bmp-save2 RUN-NONINTERACTIVE i (car (gimp-image-get-active-drawable i)) "{o}" "{o}" {r} {cs} {f}) (gimp-image-delete i))'
            ).format(s=source, c=convert, o=out, r=rle, cs=cs, f=fmt)
IDX = '(gimp-image-convert-indexed i CONVERT-DITHER-NONE CONVERT-PALETTE-GENERATE 256 FALSE FALSE "") '
GREY = '(gimp-image-convert-grayscale i) '
CSNOTE = 'write-color-space=1 gives the short header, 0 the 124-byte one'
GIMP = [
    ('gimp_24bit.bmp', 'colors', gimp('gimp_24bit.bmp', 'colors', 0, 1, 3), CSNOTE),
    ('gimp_24bit_v5.bmp', 'colors', gimp('gimp_24bit_v5.bmp', 'colors', 0, 0, 3), CSNOTE),
    ('gimp_rgb565.bmp', 'gradient', gimp('gimp_rgb565.bmp', 'gradient', 0, 0, 0), ''),
    ('gimp_rgb565_v3.bmp', 'gradient', gimp('gimp_rgb565_v3.bmp', 'gradient', 0, 1, 0), CSNOTE),
    ('gimp_rgb555.bmp', 'gradient', gimp('gimp_rgb555.bmp', 'gradient', 0, 0, 2), ''),
    ('gimp_rgba5551.bmp', 'rgba', gimp('gimp_rgba5551.bmp', 'rgba', 0, 0, 1), ''),
    ('gimp_rgba5551_v3.bmp', 'rgba', gimp('gimp_rgba5551_v3.bmp', 'rgba', 0, 1, 1), CSNOTE),
    ('gimp_rgba8888.bmp', 'rgba', gimp('gimp_rgba8888.bmp', 'rgba', 0, 0, 4), ''),
    ('gimp_rgba8888_v3.bmp', 'rgba', gimp('gimp_rgba8888_v3.bmp', 'rgba', 0, 1, 4), CSNOTE),
    ('gimp_rgbx8888.bmp', 'colors', gimp('gimp_rgbx8888.bmp', 'colors', 0, 0, 5), ''),
    ('gimp_rgbx8888_v3.bmp', 'colors', gimp('gimp_rgbx8888_v3.bmp', 'colors', 0, 1, 5), CSNOTE),
    ('gimp_8bit.bmp', 'colors', gimp('gimp_8bit.bmp', 'colors', 0, 0, 3, IDX), 'palette as long as the colour map'),
    ('gimp_rle8.bmp', 'colors', gimp('gimp_rle8.bmp', 'colors', 1, 0, 3, IDX), ''),
    ('gimp_4bit.bmp', 'four', gimp('gimp_4bit.bmp', 'four', 0, 0, 3, IDX), ''),
    ('gimp_rle4.bmp', 'four', gimp('gimp_rle4.bmp', 'four', 1, 0, 3, IDX), ''),
    ('gimp_1bit.bmp', 'bw', gimp('gimp_1bit.bmp', 'bw', 0, 0, 3, IDX), ''),
    ('gimp_grey_8bit.bmp', 'grey', gimp('gimp_grey_8bit.bmp', 'grey', 0, 0, 3, GREY), ''),
    ('gimp_grey_rle8.bmp', 'grey', gimp('gimp_grey_rle8.bmp', 'grey', 1, 0, 3, GREY), ''),
]
GIMP_BATCH = 'gimp -i -n -d -f --no-shm -b \'%s\' -b \'(gimp-quit 0)\''

PROGRAMS = [  # name, kind, jobs
    ('imagemagick', 'sh', IM), ('graphicsmagick', 'sh', GM), ('netpbm', 'sh', NETPBM), ('pillow', 'api', PILLOW),
    ('ffmpeg', 'sh', FFMPEG), ('opencv', 'api', OPENCV), ('qt', 'api', QT), ('sdl', 'api', SDL),
    ('gdkpixbuf', 'api', GDKPIXBUF), ('gimp', 'gimp', GIMP),
]


def write_all():
    for prog, kind, jobs in PROGRAMS:
        if kind == 'sh':
            for f, _, cmd, _ in jobs:
                run(cmd)
        elif kind == 'api':
            json.dump([{'file': f, 'code': code} for f, _, code, _ in jobs], open('jobs.json', 'w'))
            api(prog, 'write', 'jobs.json')
        else:  # one GIMP session runs every GIMP command
            run(['gimp', '-i', '-n', '-d', '-f', '--no-shm', '-b', '(begin %s)' % ' '.join(c for _, _, c, _ in jobs), '-b', '(gimp-quit 0)'])
        for f, _, _, _ in jobs:
            if not os.path.exists(f):
                raise RuntimeError('%s did not write %s' % (prog, f))


# ---- main ----------------------------------------------------------------------------------------------
def main():
    write_sources()
    write_all()
    V, D = versions()
    files = [f for _, _, jobs in PROGRAMS for f, _, _, _ in jobs]
    owner = {f: prog for prog, _, jobs in PROGRAMS for f, _, _, _ in jobs}
    dec = {}
    READERS = [p for p, _, _ in PROGRAMS]  # every program here reads BMP too; each reads every file
    for prog in READERS:
        dec[prog] = decode_all(files, prog, os.path.join(WORK, 'dec', prog))

    if os.path.isdir(OUT):
        for p in glob.glob(os.path.join(OUT, '*.bmp')) + glob.glob(os.path.join(OUT, '*.pam')) + glob.glob(os.path.join(OUT, 'src', '*')):
            os.remove(p)
    os.makedirs(os.path.join(OUT, 'src'), exist_ok=True)
    for name in SOURCE_NOTE:
        shutil.copy('src/%s.pam' % name, os.path.join(OUT, 'src'))

    cols = ['file', 'source', 'program', 'version', 'command', 'header_bytes', 'bits_per_pixel', 'compression', 'top_down',
            'palette_entries', 'masks', 'bfOffBits', 'file_bytes', 'reference', 'reference_by',
            'decoders_vs_reference', 'rule_vs_reference', 'widening_by_decoder', 'alpha_by_decoder', 'notes']
    rows = []
    jobinfo = {f: (prog, kind, s, c, note) for prog, kind, jobs in PROGRAMS for f, s, c, note in jobs}
    summary = []
    for f in files:
        prog, kind, source, cmd, note = jobinfo[f]
        d = open(f, 'rb').read()
        H = header(d)
        notes = [note] if note else []
        ref, ref_by = dec[prog][f], prog
        if ref[0] == 'error':
            notes.append('%s cannot read its own file (%s): ImageMagick made the reference' % (prog, ref[1][:80]))
            ref, ref_by = dec['imagemagick'][f], 'imagemagick'
        if ref[3]:
            notes.append('reference: ' + ref[3])
        sw, sh, spx = pictures()[source]
        srcpx = bytes(c for p in spx for c in p)
        if (sw, sh) == ref[:2]:
            n, mx = diff(srcpx, ref[2])
            notes.append('reference = the source picture' if not n else
                         'reference differs from the source in %d px (max diff R/G/B/A %d/%d/%d/%d)' % ((n,) + tuple(mx)))
        shutil.copy(f, OUT)
        open(os.path.join(OUT, f[:-4] + '.pam'), 'wb').write(pam_bytes(ref[0], ref[1], ref[2]))
        w, h, rule_px, raw = rule_decode(d)
        if id(d) in RLE_NOTES:
            notes.append(RLE_NOTES.pop(id(d)))
        rule = (w, h, rule_px, '')
        # the comparisons
        cross = group({c: describe(ref, dec[c][f], raw) for c in READERS if c != ref_by})
        rule_vs = describe(ref, rule, raw)
        narrow = raw is not None and any(0 < n < 8 for _, n in raw[0])
        wid = group({p: summarise_widening(widening(dec[p][f], raw, H)) if dec[p][f][0] != 'error' else 'cannot read'
                     for p in READERS}) if narrow else ''
        has_alpha = raw is not None and (raw[0][3][1] and any(lv[3][0] != (1 << lv[3][1]) - 1 for lv in raw))
        alp = group({p: alpha_use(dec[p][f], raw, H) for p in READERS}) if has_alpha else ''
        comp = H['compression']
        masks = H['masks']
        if masks and comp in (3, 6):
            mtxt = 'R=%08x G=%08x B=%08x A=%08x' % masks
        elif masks:
            mtxt = 'none (unused header fields R=%08x G=%08x B=%08x A=%08x)' % masks
        else:
            mtxt = 'none'
        pal = H['palette_in_file'] if H['bpp'] <= 8 else 0
        paltxt = '%d (clrUsed %d)' % (pal, H['clrUsed']) if H['biSize'] != 12 else '%d (3-byte entries)' % pal
        gap = H['bfOffBits'] - H['palstart'] - (pal * H['entry'])
        if gap and H['bpp'] <= 8:
            notes.append('%d bytes between the palette and the pixels' % gap)
        if H['biSize'] >= 108:
            notes.append('colour space type %s' % H['cstype'] + (', intent %d' % H['intent'] if H['biSize'] >= 124 else ''))
        if H['bfSize'] != len(d):
            notes.append('bfSize %d, file %d bytes' % (H['bfSize'], len(d)))
        if H['sizeImage'] == 0:
            notes.append('biSizeImage 0')
        rows.append([f, '%s (src/%s.pam)' % (source, source), prog, V[prog],
                     (GIMP_BATCH % cmd) if kind == 'gimp' else ('python3: ' + cmd if kind == 'api' else cmd),
                     '%d (%s)' % (H['biSize'], HEADER_NAME.get(H['biSize'], '?')), str(H['bpp']),
                     '%d (%s)' % (comp, COMPRESSION_NAME.get(comp, '?')), 'yes' if H['topdown'] else 'no', paltxt, mtxt,
                     str(H['bfOffBits']), str(len(d)), f[:-4] + '.pam', ref_by + ': ' + decoder_command(ref_by, D),
                     cross, rule_vs, wid, alp, '; '.join(notes)])
        summary.append(dict(file=f, prog=prog, ref_by=ref_by, H=H, pal=pal, masks=mtxt if masks and comp in (3, 6) else '', wid=wid, alp=alp, cross=cross, rule=rule_vs))
    with open(os.path.join(OUT, 'MANIFEST.tsv'), 'w') as m:
        m.write('\t'.join(cols) + '\n')
        for r in rows:
            assert not any('\t' in c or '\n' in c for c in r), r
            m.write('\t'.join(r) + '\n')
    write_readme(summary, V)


def write_readme(summary, V):
    L = []
    L.append('# BMP files written by other programs\n')
    L.append('Each `*.bmp` here was written by a common program from one of the tiny pictures in `src/` '
             '(binary PAM, RGB_ALPHA), in every BMP flavour that program offers. The `*.pam` beside it, same name, is '
             'the reference decoding: the pixels as the writing program itself reads the file back, as a binary PAM '
             '(P7, RGB_ALPHA, MAXVAL 255; grey becomes R=G=B and a reading without alpha gets 255). Every program here '
             'reads BMP, so no reference had to come from ImageMagick instead. `MANIFEST.tsv` has one row per file: the '
             'program and its version, the exact command, the flavour as read from the header (not from the name), '
             'the reference and the command that made it, and how the other nine programs read the same file.\n')
    L.append('Regenerate with `tools/make_program_corpus.sh` (it installs the Debian packages it needs with apt-get, then '
             'rewrites this folder, README and MANIFEST included; two runs give the same bytes with the same package '
             'versions). The Python commands in the manifest use four helpers of the script: `src(name)`, `rgb(name)`, '
             '`grey(name)` and `indexed(name)` give the width, the height and the pixels of `src/NAME.pam` as RGBA, RGB or '
             'grey bytes, or as (palette in order of first use, one index byte a pixel). The `.ppm`, `.pgm`, `.pbm` and '
             '`.png` copies of the sources that some commands name are made from the PAM files by the script. The GIMP '
             'commands run in one GIMP session. No program here writes a top-down (negative height) file.\n')
    L.append('Manifest columns that compare readers: `decoders_vs_reference` groups the other nine readers by what they '
             'make of the file (`same` as the reference, pixels that differ, or cannot read). `rule_vs_reference` '
             'compares the reference with a plain reading by the script itself: palettes looked up, RLE expanded, n-bit '
             'channels widened by round(v*255/(2^n-1)), alpha only from an alpha mask with BI_BITFIELDS (the fourth byte '
             'of a BI_RGB 32-bit file left out). `widening_by_decoder`, for files with channels narrower than 8 bits, '
             'names what each reader did with them: `round` is round(v*255/(2^n-1)), `replicate` repeats the bits '
             '(5 bits: v<<3 | v>>2), `floor` is floor(v*255/(2^n-1)), `shift` is v<<(8-n), `shift16` is '
             'floor((v<<(16-n))/257), a 16-bit shift brought to 8 bits; `a=b` means both fit the levels present, '
             '`varies` that one stored level gave several values. ffmpeg\'s decoder hands over rgb565/rgb555/rgb444 '
             'frames: the widening shown is that of its scaler (swscale) turning them into RGBA; SDL\'s is '
             'SDL_ConvertSurface to 8-bit ARGB. `alpha_by_decoder`, for files with alpha data: `honoured` (alpha as '
             'stored, widened by the rule), `ignored` (all 255), or how else it was used.\n')
    L.append('## Programs\n')
    for p in ['imagemagick', 'graphicsmagick', 'netpbm', 'pillow', 'ffmpeg', 'opencv', 'qt', 'sdl', 'gdkpixbuf', 'gimp']:
        L.append('- %s: %s' % (p, V[p]))
    L.append('\n## Flavours per program\n')
    L.append('Header in bytes: 12 OS/2 1.x BITMAPCOREHEADER, 40 BITMAPINFOHEADER, 56 BITMAPV3INFOHEADER, '
             '108 BITMAPV4HEADER, 124 BITMAPV5HEADER. Palette: entries stored in the file.\n')
    L.append('| program | file | header | bpp | compression | palette | masks |')
    L.append('| --- | --- | --- | --- | --- | --- | --- |')
    for s in summary:
        H = s['H']
        L.append('| %s | %s | %d | %d | %s | %s | %s |' % (
            s['prog'], s['file'], H['biSize'], H['bpp'], COMPRESSION_NAME.get(H['compression'], H['compression']),
            str(s['pal']) if H['bpp'] <= 8 else '', s['masks'].replace(' A=00000000', '')))
    L.append('\n## Where readers disagree\n')
    L.append('Seen with the versions above:\n')
    L.extend(OBSERVED)
    L.append('\nEvery file on which some reader differs from the reference (readers that agree left out; the full '
             'wording is in MANIFEST.tsv):\n')
    L.append('| file | reference by | readers that differ | widening | alpha |')
    L.append('| --- | --- | --- | --- | --- |')
    for s in summary:
        diffs = '; '.join(g for g in s['cross'].split('; ') if not g.endswith(': same'))
        if diffs or s['wid'] or s['alp']:
            L.append('| %s | %s | %s | %s | %s |' % (s['file'], s['ref_by'], diffs or 'none', s['wid'], s['alp']))
    open(os.path.join(OUT, 'README.md'), 'w').write('\n'.join(L) + '\n')


OBSERVED = [
    '- 5- and 6-bit channels (the rgb565, rgb555, argb1555 and rgba5551 files): GIMP rounds, round(v*255/(2^n-1)), '
    'the rule this library follows; ImageMagick, gdk-pixbuf and ffmpeg (its scaler) replicate the bits, one off from '
    'rounding on some levels; Pillow, netpbm and SDL (5 bits) take the floor; SDL\'s 6-bit table is its own and ends '
    'at 63 -> 254; Qt and OpenCV shift (31 -> 248); GraphicsMagick gives 31 -> 247.',
    '- 4-bit channels (argb4444, rgb444): rounding and replication agree (v*17): gdk-pixbuf, GIMP, SDL, netpbm; '
    'ImageMagick, ffmpeg and Qt shift (15 -> 240), GraphicsMagick gives 15 -> 239. So the references of '
    'ImageMagick\'s own ARGB4444 files never reach 255, alpha included.',
    '- 1-bit alpha (argb1555, rgba5551): GIMP and SDL read 0/255; ImageMagick, GraphicsMagick and Qt read 0/128; '
    'netpbm, Pillow, ffmpeg and gdk-pixbuf ignore it.',
    '- The fourth byte of a BI_RGB 32-bit file (imagemagick_bmp3_32bit_alpha, pillow_32bit, ffmpeg_bgra, '
    'opencv_32bit, sdl_32bit_legacy): ImageMagick, GraphicsMagick, ffmpeg and SDL take it as alpha; netpbm, Pillow, '
    'OpenCV, Qt, gdk-pixbuf and GIMP ignore it, so Pillow and OpenCV read their own 32-bit files back opaque.',
    '- Alpha under BI_BITFIELDS with a 56-, 108- or 124-byte header: every reader that opens the file uses it, '
    'except netpbm.',
    '- Refused: Pillow: 4-bit channel masks, 56-byte headers and GIMP\'s RLE4 file; Qt: 56-byte headers; OpenCV: '
    '16-bit files with 56-, 108- or 124-byte headers (it reads them after a 40-byte header) and GIMP\'s RLE4 file; '
    'SDL: 4-4-4 masks; netpbm: the ImageMagick and GraphicsMagick RLE8 files.',
    '- Misread: OpenCV reads every OS/2 (12-byte header) file as grey and lets the surplus pixels of the ImageMagick '
    'and GraphicsMagick RLE8 rows spill into the next row; netpbm reads 16-bit files with 40- or 56-byte headers as '
    '5-5-5 whatever their masks; Pillow reads qt_4bit_2colours.bmp (4-bit, two-entry black and white palette) as if '
    'it were 1-bit.',
    '- RLE as written: ImageMagick and GraphicsMagick RLE8 encode the whole padded row (13 pixels become 16, 11 become '
    '12) with encoded runs only; GIMP uses absolute runs and its RLE4 rows may run one pixel past the width. '
    'The notes column of MANIFEST.tsv counts the codes of each RLE file.',
    '- As written: Qt and gdk-pixbuf write an image with alpha as 24-bit; ImageMagick\'s -type Palette turns the 256 '
    'grey levels into 63; ffmpeg\'s rgb8, bgr8, rgb4_byte and bgr4_byte use fixed palettes. The notes column says '
    'where a reference differs from its source picture.',
]


main()
PYTHON

PYTHONPATH="$root/tools" nice -n 10 python3 "$work/corpus.py" "$work/run" "$out"
echo "wrote $(find "$out" -name '*.bmp' | wc -l) BMP files to $out ($(du -sb "$out" | cut -f1) bytes)" >&2
