# Adaptive colour tables: Pixelry's quantiser against pngquant, ImageMagick and Pillow.
#
#   /usr/bin/python3 tools/palette_quality.py [--bmpconvert build/examples/bmpconvert] [--width 1024]
#                                             [--speed-size 4096] [--no-speed] [PICTURE ...]
#
# Each photograph is scaled to --width pixels wide and written as a 24-bit BMP (and a PNG for the peers), then
# reduced to 256 and 16 colours by every program, without dithering, and the mean absolute error per channel
# (over red, green and blue of every pixel, against the scaled photograph) is printed. With dithering, the error
# is measured after a Gaussian blur of sigma 1 on both pictures, which is what an eye at a distance sees. Then
# one photograph scaled to 4096 x 4096 is reduced to 256 colours, each program timed (wall time, best of 3).
# Needs pngquant, ImageMagick (/usr/bin/convert), Pillow and numpy.
import argparse, os, subprocess, sys, tempfile, time

import numpy as np
from PIL import Image

NATURE = '/usr/share/backgrounds/mate/nature/'
PICTURES = [NATURE + name + '.jpg' for name in
            ('Aqua', 'Dune', 'GreenMeadow', 'LadyBird', 'Storm', 'YellowFlower', 'FreshFlower', 'TwoWings')]
PICTURES.append('/usr/share/backgrounds/mate/desktop/Ubuntu-Mate-Warm-no-logo.png')
COUNTS = (256, 16)
CONVERT = '/usr/bin/convert'  # ImageMagick's own, not a wrapper earlier on the path


def run(args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def pixels(path):
    with Image.open(path) as im:
        return np.asarray(im.convert('RGB'), dtype=np.float64)


# ---- the programs: each reduces IN to count colours, dithered or not, and returns the result's path ----------
def pixelry(bmpconvert, work, stem, count, dither):
    out = os.path.join(work, f'{stem}-pixelry-{count}{"-fs" if dither else ""}.bmp')
    bits = '8' if count == 256 else '4'
    run([bmpconvert, os.path.join(work, stem + '.bmp'), out, bits, '--palette', 'adaptive'] +
        (['--dither'] if dither else []))
    return out


def pngquant(work, stem, count, dither):
    out = os.path.join(work, f'{stem}-pngquant-{count}{"-fs" if dither else ""}.png')
    run(['pngquant', '--force', '--output', out] + ([] if dither else ['--nofs']) +
        [str(count), os.path.join(work, stem + '.png')])
    return out


def imagemagick(work, stem, count, dither):
    out = os.path.join(work, f'{stem}-imagemagick-{count}{"-fs" if dither else ""}.png')
    run([CONVERT, os.path.join(work, stem + '.png')] + (['-dither', 'FloydSteinberg'] if dither else ['+dither']) +
        ['-colors', str(count), out])
    return out


def pillow_quantize(im, count, dither):
    """Pillow's default quantiser; its palette applied with Floyd-Steinberg when dithering (quantize alone
    never dithers)."""
    reduced = im.quantize(count)
    return im.quantize(palette=reduced, dither=Image.Dither.FLOYDSTEINBERG) if dither else reduced


def pillow(work, stem, count, dither):
    out = os.path.join(work, f'{stem}-pillow-{count}{"-fs" if dither else ""}.png')
    with Image.open(os.path.join(work, stem + '.png')) as im:
        pillow_quantize(im.convert('RGB'), count, dither).save(out)
    return out


# ---- the measures -------------------------------------------------------------------------------------------
def mae(a, b):
    return float(np.mean(np.abs(a - b)))


def blurred(a, sigma=1.0):
    radius = 3
    taps = np.exp(-0.5 * (np.arange(-radius, radius + 1) / sigma) ** 2)
    taps /= taps.sum()
    for axis in (0, 1):
        padded = np.pad(a, [(radius, radius) if k == axis else (0, 0) for k in range(3)], mode='edge')
        length = a.shape[axis]
        a = sum(w * np.take(padded, range(i, i + length), axis=axis) for i, w in enumerate(taps))
    return a


def prepare(path, work, width):
    stem = os.path.splitext(os.path.basename(path))[0]
    with Image.open(path) as im:
        im = im.convert('RGB')
        im = im.resize((width, round(im.height * width / im.width)), Image.Resampling.LANCZOS)
        im.save(os.path.join(work, stem + '.bmp'))
        im.save(os.path.join(work, stem + '.png'))
    return stem


def quality(args, work, programs):
    print(f'Mean absolute error per channel, no dithering ({args.width} pixels wide):\n')
    print('| picture | colours | ' + ' | '.join(programs) + ' |')
    print('| --- | --- |' + ' --- |' * len(programs))
    dithered = []
    for path in args.pictures:
        stem = prepare(path, work, args.width)
        original = pixels(os.path.join(work, stem + '.bmp'))
        for count in COUNTS:
            row = [mae(original, pixels(run_it(work, stem, count, False))) for run_it in programs.values()]
            best = min(row[1:])
            print(f'| {stem} | {count} | ' + ' | '.join(f'{v:.3f}' for v in row) + ' |' +
                  ('' if row[0] <= best else ' (Pixelry not best)'))
            sys.stdout.flush()
        smooth = blurred(original)
        dithered.append((stem, [(mae(original, out), mae(smooth, blurred(out)))
                                for out in (pixels(run_it(work, stem, 256, True)) for run_it in programs.values())]))
    print('\nDithered to 256 colours: mean absolute error per channel, as is / after a Gaussian blur of sigma 1:\n')
    print('| picture | ' + ' | '.join(programs) + ' |')
    print('| --- |' + ' --- |' * len(programs))
    for stem, row in dithered:
        print(f'| {stem} | ' + ' | '.join(f'{a:.3f} / {b:.3f}' for a, b in row) + ' |')


def best_of(runs, job):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        job()
        times.append(time.perf_counter() - start)
    return min(times)


def speed(args, work):
    path = args.pictures[0]
    size = args.speed_size
    with Image.open(path) as im:
        big = im.convert('RGB').resize((size, size), Image.Resampling.BICUBIC)
    bmp, png = os.path.join(work, 'big.bmp'), os.path.join(work, 'big.png')
    big.save(bmp)
    big.save(png)
    print(f'\nSpeed: {os.path.basename(path)} scaled to {size} x {size}, 256 colours, no dithering, '
          'wall time, best of 3:\n')
    jobs = {
        'Pixelry (bmpconvert: read BMP, quantise, map, write BMP)':
            lambda: run([args.bmpconvert, bmp, os.path.join(work, 'big-pixelry.bmp'), '8', '--palette', 'adaptive']),
        'pngquant --nofs (read PNG, quantise, map, write PNG)':
            lambda: run(['pngquant', '--force', '--nofs', '--output', os.path.join(work, 'big-pngquant.png'), '256',
                         png]),
        'Pillow quantize(256), in-process (quantise, map)': lambda: big.quantize(256),
        'Pillow as a process (read BMP, quantize(256), write BMP)':
            lambda: run([sys.executable, '-c', 'import sys; from PIL import Image; '
                         'Image.open(sys.argv[1]).convert("RGB").quantize(256).save(sys.argv[2])', bmp,
                         os.path.join(work, 'big-pillow.bmp')]),
    }
    print('| program | seconds |')
    print('| --- | --- |')
    for name, job in jobs.items():
        print(f'| {name} | {best_of(3, job):.3f} |')
        sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('--bmpconvert', default='build/examples/bmpconvert')
    parser.add_argument('--width', type=int, default=1024)
    parser.add_argument('--speed-size', type=int, default=4096)
    parser.add_argument('--no-speed', action='store_true')
    parser.add_argument('--no-quality', action='store_true')
    parser.add_argument('pictures', nargs='*', default=PICTURES)
    args = parser.parse_args()
    programs = {
        'Pixelry': lambda work, stem, count, dither: pixelry(args.bmpconvert, work, stem, count, dither),
        'pngquant': pngquant,
        'ImageMagick': imagemagick,
        'Pillow': pillow,
    }
    with tempfile.TemporaryDirectory() as work:
        if not args.no_quality:
            quality(args, work, programs)
        if not args.no_speed:
            speed(args, work)


if __name__ == '__main__':
    main()
