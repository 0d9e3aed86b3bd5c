"""What a screenshot shows at a place: a small reader of the PNG files `import` writes (8 bits
per sample; grey, RGB, palette, with or without alpha; not interlaced), so a scenario can
check what was painted, not only what the window's controls hold."""
import struct
import zlib

CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


class ScreenImage:
    def __init__(self, path):
        data = open(path, "rb").read()
        if data[:8] != b"\x89PNG\r\n\x1a\n":
            raise ValueError(f"{path}: no PNG")
        position, chunks, palette = 8, [], None
        while position < len(data):
            length, kind = struct.unpack(">I4s", data[position:position + 8])
            body = data[position + 8:position + 8 + length]
            position += 12 + length
            if kind == b"IHDR":
                self.width, self.height, depth, self.color, _, _, interlace = struct.unpack(">IIBBBBB", body)
                if depth != 8 or interlace != 0 or self.color not in CHANNELS:
                    raise ValueError(f"{path}: depth {depth}, colour type {self.color}, interlace {interlace}")
            elif kind == b"PLTE":
                palette = [body[i:i + 3] for i in range(0, len(body), 3)]
            elif kind == b"IDAT":
                chunks.append(body)
        self.palette = palette
        self.step = CHANNELS[self.color]
        self.rows = self._unfilter(zlib.decompress(b"".join(chunks)))

    def _unfilter(self, raw):
        stride, step = self.width * self.step, self.step
        rows, previous, at = [], bytearray(stride), 0
        for _ in range(self.height):
            kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
            at += 1 + stride
            for i in range(stride):
                left = line[i - step] if i >= step else 0
                up = previous[i]
                corner = previous[i - step] if i >= step else 0
                if kind == 1:
                    line[i] = (line[i] + left) & 0xFF
                elif kind == 2:
                    line[i] = (line[i] + up) & 0xFF
                elif kind == 3:
                    line[i] = (line[i] + (left + up) // 2) & 0xFF
                elif kind == 4:
                    p = left + up - corner
                    pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                    line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
            rows.append(bytes(line))
            previous = line
        return rows

    def pixel(self, x, y):
        """(red, green, blue) at a screen position."""
        row, at = self.rows[y], x * self.step
        if self.color == 3:
            return tuple(self.palette[row[at]])
        if self.color in (0, 4):
            return (row[at],) * 3
        return tuple(row[at:at + 3])

    def pixels(self, rect):
        """Every pixel inside a driver rectangle (left, top inclusive; right, bottom exclusive)."""
        for y in range(max(rect["top"], 0), min(rect["bottom"], self.height)):
            for x in range(max(rect["left"], 0), min(rect["right"], self.width)):
                yield self.pixel(x, y)
