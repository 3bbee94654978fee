#!/usr/bin/env python3
"""Writes the seed corpus: small BMP files, well formed and hostile, for the reader, header
and round-trip targets (corpus/bmp), a few byte strings for the utilities target
(corpus/utilities), and for the full reader's target (corpus/full) the files of
tests/data/bmpsuite/good and questionable, cut to their first rows where they are large,
with some of the hostile seeds. Run from anywhere; the files are committed, so this only
matters when the seeds change."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def bmp(width, height, bits, *, compression=0, before=b"", pixels=None, off_bits=None, header_size=40,
        header_tail=b"", size=None):
    """A file: both headers, header_tail (the rest of a longer info header), whatever stands
    before the pixels, then the pixel rows (a pattern when not given)."""
    if pixels is None:
        row = (width * bits + 7) // 8
        row += (-row) % 4
        pixels = bytes((7 * i + 3) & 0xFF for i in range(row * abs(height)))
    if off_bits is None:
        off_bits = 14 + 40 + len(header_tail) + len(before)
    info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression, len(pixels), 2835, 2835, 0, 0)
    body = info + header_tail + before + pixels
    head = struct.pack("<2sIHHI", b"BM", size if size is not None else 14 + len(body), 0, 0, off_bits)
    return head + body


def palette(count):
    return b"".join(bytes((i * 37 & 0xFF, i * 91 & 0xFF, i * 53 & 0xFF, i & 3)) for i in range(count))


def masks(red, green, blue):
    return struct.pack("<III", red, green, blue)


SEEDS = {
    "pal1_9x2": bmp(9, 2, 1, before=palette(2)),
    "pal4_5x3": bmp(5, 3, 4, before=palette(16)),
    "pal8_3x2": bmp(3, 2, 8, before=palette(256)),
    "pal8_short_table": bmp(4, 2, 8, before=palette(16)),
    "pal8_v4_header": bmp(3, 2, 8, header_size=108, header_tail=bytes(68), before=palette(256)),
    "pal4_v5_header_short_table": bmp(5, 2, 4, header_size=124, header_tail=bytes(84), before=palette(7)),
    "pal8_table_cut": bmp(3, 2, 8, before=palette(256))[:54 + 300],
    "rgb16_555_3x2": bmp(3, 2, 16),
    "rgb16_565_3x2": bmp(3, 2, 16, compression=3, before=masks(0xF800, 0x07E0, 0x001F)),
    "rgb16_odd_masks": bmp(2, 2, 16, compression=3, before=masks(0x0F0F, 0xFFFF0000, 0x1)),
    "rgb16_last_word_missing": bmp(3, 2, 16)[:-3],
    "rgb24_5x3": bmp(5, 3, 24),
    "rgb24_extra_before_pixels": bmp(2, 2, 24, before=bytes(68)),
    "rgb24_v5_header": bmp(2, 2, 24, header_size=124, header_tail=bytes(84)),
    "rgb24_rows_cut": bmp(5, 3, 24)[:-20],
    "rgb32_2x2": bmp(2, 2, 32),
    "empty": b"",
    "signature_only": b"BM",
    "not_bmp": b"GIF89a" + bytes(60),
    "header_cut": bmp(2, 2, 24)[:30],
    "rle8": bmp(2, 2, 8, compression=1, before=palette(256)),
    "compression_4": bmp(2, 2, 24, compression=4),
    "bitfields_at_32": bmp(2, 2, 32, compression=3, before=masks(0xFF0000, 0xFF00, 0xFF)),
    "top_down": bmp(2, -2, 24),
    "zero_width": bmp(0, 2, 24, pixels=b""),
    "bit_count_2": bmp(2, 2, 2),
    "claims_60000_square_1bit": bmp(60000, 60000, 1, pixels=bytes(16)),
    "claims_60000_square_24bit": bmp(60000, 60000, 24, pixels=bytes(16)),
    "claims_width_2p31": bmp(0x7FFFFFFF, 1, 24, pixels=bytes(16)),
    "claims_height_2p31": bmp(1, 0x7FFFFFFF, 8, before=palette(256), pixels=bytes(16)),
    "offbits_near_4gib": bmp(2, 2, 24, off_bits=0xFFFFFFF0),
    "offbits_near_4gib_pal8": bmp(2, 2, 8, off_bits=0xFFFFFFF0, before=palette(256)),
    "offbits_before_headers": bmp(3, 2, 8, off_bits=20, before=palette(256)),
    "header_size_huge": bmp(2, 2, 4, header_size=0xFFFFFFF0, before=palette(16)),
}

UTILITY_SEEDS = {
    "small": bytes(range(64)),
    "wide": bytes((i * 29) & 0xFF for i in range(160)),
    "extremes": bytes([0xFF, 0x7F, 0x80, 0x00] * 40),
}


SUITE = os.path.join(HERE, "..", "tests", "data", "bmpsuite")
# Larger files keep their headers, table and first four stored rows: the rows after them
# only repeat what the decoder has already done, and small seeds mutate faster.
WHOLE_UP_TO = 4096
KEPT_ROWS = 4
# Hostile seeds that reach the full reader's refusals and limits.
FULL_HOSTILE = ["empty", "signature_only", "not_bmp", "header_cut", "zero_width", "claims_60000_square_24bit",
                "claims_height_2p31", "offbits_near_4gib", "offbits_before_headers", "header_size_huge",
                "rgb16_odd_masks", "rgb16_last_word_missing", "rgb24_rows_cut", "pal8_table_cut"]


def first_rows(data, rows):
    """An uncompressed file cut after its first `rows` stored rows, its headers saying so;
    any other large file cut to its first kilobyte, which holds the headers that refuse it."""
    off, header = struct.unpack_from("<II", data, 10)
    if data[:2] != b"BM" or header not in (12, 16, 40, 52, 56, 64, 108, 124):
        return data[:1024]
    if header == 12:
        width, height, _, bits = struct.unpack_from("<HHHH", data, 18)
        compression = 0
    else:
        width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if compression in (1, 2):
        return data
    if compression not in (0, 3, 6) or width <= 0 or height == 0:
        return data[:1024]
    kept = min(abs(height), rows)
    out = bytearray(data[:off + kept * ((width * bits + 31) // 32 * 4)])
    if header == 12:
        struct.pack_into("<H", out, 20, kept)
    else:
        struct.pack_into("<i", out, 22, kept if height > 0 else -kept)
    if header >= 40:
        struct.pack_into("<I", out, 34, len(out) - off)
    if header >= 124 and data[14 + 56:14 + 60] == b"DEBM":
        # An embedded colour profile ("MBED") follows the pixels: it follows the kept rows.
        place, size = struct.unpack_from("<II", data, 14 + 112)
        profile = data[14 + place:14 + place + size]
        struct.pack_into("<I", out, 14 + 112, len(out) - 14)
        out += profile
    struct.pack_into("<I", out, 2, len(out))
    return bytes(out)


def full_seeds():
    seeds = {}
    for folder in ("good", "questionable"):
        for name in sorted(os.listdir(os.path.join(SUITE, folder))):
            with open(os.path.join(SUITE, folder, name), "rb") as f:
                data = f.read()
            seeds[folder + "_" + name[:-4]] = data if len(data) <= WHOLE_UP_TO else first_rows(data, KEPT_ROWS)
    for name in FULL_HOSTILE:
        seeds["hostile_" + name] = SEEDS[name]
    # The full target reads with a limit of 2^18 pixels: one file at it, one just past it.
    seeds["limit_512_square"] = bmp(512, 512, 1, before=palette(2), pixels=bytes(64))
    seeds["limit_plus_one"] = bmp(1, (1 << 18) + 1, 24, pixels=bytes(16))
    seeds.update(profile_seeds())
    return seeds


PROFILES = os.path.join(HERE, "..", "tests", "data", "profiles")


def with_profile(width, height, bits, profile, before=b""):
    """A file with a 124-byte header naming the embedded ICC profile that follows its pixels."""
    row = (width * bits + 31) // 32 * 4
    pixels = bytes((7 * i + 3) & 0xFF for i in range(row * height))
    place = 124 + len(before) + len(pixels)
    tail = bytes(16) + b"DEBM" + bytes(48) + struct.pack("<IIII", 4, place, len(profile), 0)
    return bmp(width, height, bits, header_size=124, header_tail=tail, before=before, pixels=pixels) + profile


def calibrated(primaries, gammas):
    """A 3 x 2 24-bit file with a 108-byte header whose colour space is calibrated RGB."""
    endpoints = b"".join(struct.pack("<III", *(round(v * (1 << 30)) for v in (x, y, 1 - x - y)))
                         for x, y in primaries)
    tail = bytes(16) + struct.pack("<I", 0) + endpoints + struct.pack("<III", *(round(g * 65536) for g in gammas))
    return bmp(3, 2, 24, header_size=108, header_tail=tail)


def profile_seeds():
    """Embedded profiles of every tone curve kind (curv with 0, 1 and n points, para of types
    0 to 4) at 24, 8 and 16 bits, and calibrated RGB headers."""
    seeds = {}
    for name in sorted(os.listdir(PROFILES)):
        if not name.endswith(".icc"):
            continue
        with open(os.path.join(PROFILES, name), "rb") as f:
            profile = f.read()
        stem = name[:-4].replace("-", "_")
        seeds["profile_rgb24_" + stem] = with_profile(4, 2, 24, profile)
    with open(os.path.join(PROFILES, "p3-para4-v4.icc"), "rb") as f:
        para4 = f.read()
    seeds["profile_pal8_p3_para4_v4"] = with_profile(4, 2, 8, para4, before=palette(256))
    seeds["profile_rgb16_p3_para4_v4"] = with_profile(4, 2, 16, para4)
    seeds["calibrated_srgb_gamma22"] = calibrated(((0.64, 0.33), (0.30, 0.60), (0.15, 0.06)), (2.2, 2.2, 2.2))
    seeds["calibrated_p3_gammas"] = calibrated(((0.68, 0.32), (0.265, 0.69), (0.15, 0.06)), (1.8, 2.2, 2.4))
    return seeds


def write(folder, seeds):
    path = os.path.join(HERE, "corpus", folder)
    os.makedirs(path, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(path, name if folder == "utilities" else name + ".bmp"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    write("bmp", SEEDS)
    write("utilities", UTILITY_SEEDS)
    write("full", full_seeds())
