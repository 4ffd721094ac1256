#!/usr/bin/env python3
"""Pictures for the Wayland tests, standard library only.

pattern OUT.png W H        a test picture whose every pixel differs from its neighbours
same BMP PPM               exit 0 when the 24-bit BMP equals the PPM pixel for pixel, else
                           print where the first difference is and exit 1
classify PPM_A PPM_B BMP.. print, for each BMP, "A", "B" or "-" (equal to neither)
fake BMP..                 exit 0 when each BMP is the picture of tests/platform/fake_screen_source
                           with its pointer drawn in (640 x 480)
pointer PROJECT.scp N      exit 0 when the project's N frame headers and the N records of the
                           cursor.bin beside it hold the fake source's pointer
"""
import struct
import sys
import zlib


def pattern(path, width, height):
    rows = []
    for y in range(height):
        row = bytearray([0])  # filter: none
        for x in range(width):
            row += bytes(((x * 7 + y) & 0xFF, (y * 5 + (x >> 3)) & 0xFF, (x ^ y) & 0xFF))
        rows.append(bytes(row))
    raw = b"".join(rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 6))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def read_bmp(path):
    """Top-down rows of RGB bytes of a 24-bit BMP."""
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        raise SystemExit(f"{path}: not a BMP")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 24:
        raise SystemExit(f"{path}: {bits} bits per pixel, expected 24")
    stride = (width * 3 + 3) & ~3
    rows = []
    for r in range(abs(height)):
        src = r if height < 0 else abs(height) - 1 - r
        line = data[offset + src * stride: offset + src * stride + width * 3]
        rgb = bytearray(len(line))
        rgb[0::3], rgb[1::3], rgb[2::3] = line[2::3], line[1::3], line[0::3]
        rows.append(bytes(rgb))
    return width, abs(height), rows


def read_ppm(path):
    data = open(path, "rb").read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    if fields[0] != b"P6" or fields[3] != b"255":
        raise SystemExit(f"{path}: not an 8-bit P6 PPM")
    width, height = int(fields[1]), int(fields[2])
    rows = [data[pos + r * width * 3: pos + (r + 1) * width * 3] for r in range(height)]
    return width, height, rows


def difference(bmp, ppm):
    """None when equal, else a sentence."""
    bw, bh, brows = bmp
    pw, ph, prows = ppm
    if (bw, bh) != (pw, ph):
        return f"sizes differ: {bw}x{bh} against {pw}x{ph}"
    for y in range(bh):
        if brows[y] != prows[y]:
            x = next(i for i in range(0, bw * 3, 3) if brows[y][i:i + 3] != prows[y][i:i + 3]) // 3
            return (f"first difference at ({x},{y}): recorded {brows[y][x*3:x*3+3].hex()} "
                    f"against {prows[y][x*3:x*3+3].hex()}")
    return None


def fake_picture(width=640, height=480):
    """The fake source's picture with its pointer drawn in, as rows of RGB bytes: the ground,
    the white box at (200, 150) of 40 x 30, and the pointer bitmap's opaque 8 x 8 red corner
    where the pointer's hotspot (2, 3) puts it for the place (300, 200)."""
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            if 298 <= x < 306 and 197 <= y < 205:
                row += b"\xff\x00\x00"
            elif 200 <= x < 240 and 150 <= y < 180:
                row += b"\xff\xff\xff"
            else:
                row += b"\x20\x40\x60"
        rows.append(bytes(row))
    return width, height, rows


def pointer_records(project, frames):
    """None when the frame headers ("SIGN" records) and cursor.bin hold the fake pointer."""
    data = open(project, "rb").read()
    headers = []
    at = data.find(b"SIGN\xff\xff\xff\xff")
    while at >= 0:
        x, y, shape = struct.unpack_from("<iii", data, at + 24)
        if data[at + 36] == 1:  # captured
            headers.append((x, y, shape))
        at = data.find(b"SIGN\xff\xff\xff\xff", at + 4)
    if headers != [(298, 197, -1)] * frames:
        return f"frame headers hold {headers}, expected {frames} x (298, 197, -1)"
    side = open(project.rsplit("/", 1)[0] + "/cursor.bin", "rb").read()
    size = 20 + 16 * 16 * 4 + 16 * 2
    if len(side) != frames * size:
        return f"cursor.bin holds {len(side)} bytes, expected {frames} records of {size}"
    for i in range(frames):
        r = side[i * size:(i + 1) * size]
        x, y, hidden, colour, mask, _, hx, hy = struct.unpack_from("<iiBBBBii", r, 0)
        if (x, y, hidden, colour, mask, hx, hy) != (298, 197, 0, 1, 1, 2, 3):
            return f"record {i}: {(x, y, hidden, colour, mask, hx, hy)}"
        if r[20:24] != b"\x00\x00\xff\xff" or r[20 + 8 * 4:24 + 8 * 4] != b"\x00\x00\x00\x00":
            return f"record {i}: the colour bitmap is not the red corner"
        masks = r[20 + 1024:]
        if masks[0:2] != b"\x00\xff" or masks[16:18] != b"\xff\xff":
            return f"record {i}: the mask is {masks.hex()}"
    return None


def main(argv):
    if len(argv) >= 3 and argv[1] == "fake":
        expected = fake_picture()
        for path in argv[2:]:
            why = difference(read_bmp(path), expected)
            if why:
                print(f"{path} is not the fake screen with its pointer: {why}")
                return 1
        return 0
    if len(argv) == 4 and argv[1] == "pointer":
        why = pointer_records(argv[2], int(argv[3]))
        if why:
            print(f"{argv[2]}: {why}")
            return 1
        return 0
    if len(argv) == 5 and argv[1] == "pattern":
        pattern(argv[2], int(argv[3]), int(argv[4]))
        return 0
    if len(argv) == 4 and argv[1] == "same":
        why = difference(read_bmp(argv[2]), read_ppm(argv[3]))
        if why:
            print(f"{argv[2]} differs from {argv[3]}: {why}")
            return 1
        return 0
    if len(argv) >= 5 and argv[1] == "classify":
        a, b = read_ppm(argv[2]), read_ppm(argv[3])
        out = []
        for path in argv[4:]:
            frame = read_bmp(path)
            out.append("A" if difference(frame, a) is None else "B" if difference(frame, b) is None else "-")
        print("".join(out))
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
