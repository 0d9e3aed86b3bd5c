#!/usr/bin/env python3
"""Writes the extraction benchmark's payload: a folder tree shaped like a server
distribution (many small and middling files, a few big ones), mixing text that
compresses well, binary data that compresses a little and random data that does not.

The same seed gives the same bytes, so figures from different runs and machines
extract exactly the same thing. Standard library only.

    gen_payload.py DEST [--seed N] [--files N] [--total-mib N]
"""
import argparse
import os
import random
import sys
import zlib

MIB = 1024 * 1024

# The big entries: (relative path, size in MiB, kind). Sized so that a reader that holds an
# entry in memory shows it in its peak, whatever else it does well.
BIG_FILES = [
    ("logs\\archive\\2026\\maillog-full.txt", 22, "text"),
    ("data\\store\\mailbox-blob.bin", 34, "random"),
    ("avast\\defs\\engine-image.dat", 47, "binary"),
]

# Share of the remaining files by count, per kind.
KIND_WEIGHTS = {"text": 0.60, "binary": 0.20, "random": 0.20}

TOP_FOLDERS = ["bin", "config", "data", "docs", "help", "html", "lang", "logs", "tools",
               "avast", "webmail", "sql"]
EXTENSIONS = {
    "text": [".txt", ".html", ".xml", ".ini", ".css", ".js", ".log", ".cfg"],
    "binary": [".dll", ".exe", ".dat", ".db", ".ocx"],
    "random": [".zip", ".png", ".jpg", ".cab", ".gz"],
}
SYLLABLES = ["ka", "ri", "to", "mel", "sun", "dor", "al", "ve", "nix", "bra", "qu", "ost",
             "li", "ze", "pan", "cor", "ul", "fen", "ma", "tis", "or", "gle", "sen", "dy"]


def make_word(rng):
    return "".join(rng.choice(SYLLABLES) for _ in range(rng.randint(1, 4)))


class TextSource:
    """Text-like bytes: lines of Zipf-distributed words, with log- and markup-like shapes.
    Lines come from a pool far larger than deflate's 32 KiB window, so the data compresses
    about as well as real text (roughly 3:1) rather than collapsing into repeats."""

    def __init__(self, rng):
        vocabulary = [make_word(rng) for _ in range(6000)]
        weights = [1.0 / (rank + 1) for rank in range(len(vocabulary))]
        lines = []
        for n in range(60000):
            words = rng.choices(vocabulary, weights, k=rng.randint(4, 18))
            shape = n % 4
            if shape == 0:
                line = "2026-%02d-%02d %02d:%02d:%02d [%d] %s" % (
                    rng.randint(1, 12), rng.randint(1, 28), rng.randint(0, 23),
                    rng.randint(0, 59), rng.randint(0, 59), rng.randint(100, 99999),
                    " ".join(words))
            elif shape == 1:
                line = "<p class=\"%s\">%s</p>" % (words[0], " ".join(words[1:]))
            elif shape == 2:
                line = "%s=%s" % (words[0].capitalize(), ",".join(words[1:]))
            else:
                line = " ".join(words).capitalize() + "."
            lines.append(line.encode("ascii") + b"\r\n")
        self.lines = lines
        self.average = sum(map(len, lines)) / len(lines)

    def make(self, rng, size):
        out = bytearray()
        while len(out) < size:
            k = int((size - len(out)) / self.average) + 16
            out += b"".join(rng.choices(self.lines, k=k))
        return bytes(out[:size])


class BinarySource:
    """Executable-like bytes: 4 KiB blocks of skewed byte values, zero padding, small
    tables and random stretches; compresses somewhere between text and random data."""

    BLOCK = 4096

    def __init__(self, rng):
        weights = [1.0 / (b + 1) ** 1.2 for b in range(256)]
        values = list(range(256))
        rng.shuffle(values)
        blocks = []
        for n in range(320):
            shape = n % 8
            if shape < 4:
                block = bytes(rng.choices(values, weights, k=self.BLOCK))
            elif shape == 4:
                used = rng.randint(64, 2048)
                block = rng.randbytes(used) + bytes(self.BLOCK - used)
            elif shape == 5:
                start = rng.randint(0, 1 << 24)
                block = b"".join((start + 16 * i).to_bytes(4, "little") + rng.randbytes(4)
                                 for i in range(self.BLOCK // 8))
            else:
                block = rng.randbytes(self.BLOCK)
            blocks.append(block)
        self.blocks = blocks

    def make(self, rng, size):
        count = size // self.BLOCK + 1
        return b"".join(rng.choices(self.blocks, k=count))[:size]


def random_bytes(rng, size):
    return rng.randbytes(size)


def make_folders(rng, limit=240):
    """About 240 folders, nested up to six levels below the top, grown breadth first so
    the cap trims the deepest level rather than whole top-level folders."""
    folders = list(TOP_FOLDERS)
    level = [(top, 0) for top in TOP_FOLDERS]
    while level and len(folders) < limit:
        below = []
        for path, depth in level:
            if depth >= 6:
                continue
            for _ in range(rng.randint(2, 4) if depth == 0 else rng.choice([0, 0, 1, 1, 2, 3])):
                word = make_word(rng)
                if rng.random() < 0.3:
                    word += "%d" % rng.randint(0, 99)
                below.append((path + "\\" + word, depth + 1))
        below = below[:limit - len(folders)]
        folders += [path for path, _ in below]
        level = below
    return sorted(set(folders))


def small_sizes(rng, count, total):
    """Log-normal sizes (median near 6 KiB, a tail into the MiBs), a few empty files,
    scaled to add up to the wanted total."""
    raw = []
    for i in range(count):
        if i % 500 == 7:
            raw.append(0.0)
        else:
            raw.append(min(rng.lognormvariate(8.8, 1.7), 3.0 * MIB))
    scale = total / sum(raw)
    sizes = [int(s * scale) for s in raw]
    sizes[max(range(count), key=lambda i: sizes[i])] += total - sum(sizes)
    return sizes


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dest")
    parser.add_argument("--seed", type=int, default=20261207)
    parser.add_argument("--files", type=int, default=3000)
    parser.add_argument("--total-mib", type=int, default=200)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    text = TextSource(rng)
    binary = BinarySource(rng)
    makers = {"text": text.make, "binary": binary.make, "random": random_bytes}

    big_total = sum(mib for _, mib, _ in BIG_FILES) * MIB
    small_count = args.files - len(BIG_FILES)
    small_total = args.total_mib * MIB - big_total
    if small_count < 1 or small_total < small_count:
        sys.exit("gen_payload: --files and --total-mib leave nothing for the small files")

    folders = make_folders(rng)
    kinds = list(KIND_WEIGHTS)
    plan = [(path, mib * MIB, kind) for path, mib, kind in BIG_FILES]
    used = {path.lower() for path, _, _ in plan}
    for n, size in enumerate(small_sizes(rng, small_count, small_total)):
        kind = rng.choices(kinds, [KIND_WEIGHTS[k] for k in kinds])[0]
        while True:
            name = "%s\\%s_%04d%s" % (rng.choice(folders), make_word(rng), n,
                                      rng.choice(EXTENSIONS[kind]))
            if name.lower() not in used:
                break
        used.add(name.lower())
        plan.append((name, size, kind))

    stats = {k: [0, 0, 0] for k in kinds}   # files, bytes, deflated bytes (sampled)
    for name, size, kind in plan:
        data = makers[kind](rng, size)
        target = os.path.join(args.dest, *name.split("\\"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)
        entry = stats[kind]
        entry[0] += 1
        entry[1] += size
        sample = data[:256 * 1024]
        entry[2] += len(zlib.compress(sample, 6)) * (size / len(sample)) if sample else 0

    total = sum(s[1] for s in stats.values())
    print("payload: %d files, %d folders, %.1f MiB in %s (seed %d)"
          % (len(plan), len({n.rsplit("\\", 1)[0] for n, _, _ in plan}), total / MIB,
             args.dest, args.seed))
    for kind in kinds:
        files, size, deflated = stats[kind]
        print("  %-6s %5d files %7.1f MiB  deflates to ~%3.0f%%"
              % (kind, files, size / MIB, 100.0 * deflated / size if size else 0))


if __name__ == "__main__":
    main()
