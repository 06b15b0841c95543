"""Reference side of the JSON cross-check, run with Debian's python3.

quote IN OUT  IN: lines "<hex of UTF-8 text>\t<hex of JSON literal>"; OUT: one line
              per input, "ok" when json.loads(literal) is the text, else the
              literal's decoding as hex.
dumps IN OUT  IN: lines of hex; OUT: json.dumps(text, ensure_ascii=True).
docs SEED N OUT  N random nested documents; for each, the hex of its text,
              then its nodes one per line (as the C++ side writes them), END.
"""
import json
import random
import struct
import sys


def text_from_hex(h):
    return bytes.fromhex(h).decode("utf-8")


def quote(src, dst):
    with open(src, encoding="ascii") as f, open(dst, "w", encoding="ascii") as out:
        for line in f.read().split("\n"):
            if not line:
                continue
            h, literal_hex = line.split("\t", 1)
            got = json.loads(bytes.fromhex(literal_hex).decode("utf-8"))
            out.write("ok\n" if got == text_from_hex(h) else got.encode("utf-8", "surrogatepass").hex() + "\n")


def dumps(src, dst):
    with open(src, encoding="ascii") as f, open(dst, "w", encoding="ascii") as out:
        for line in f.read().split("\n")[:-1]:
            out.write(json.dumps(text_from_hex(line), ensure_ascii=True) + "\n")


def random_text(rng):
    ranges = [(0x20, 0x7E), (0x00, 0x1F), (0xA0, 0x7FF), (0x800, 0xD7FF), (0xE000, 0xFFFD), (0x10000, 0x10FFFF)]
    out = []
    for _ in range(rng.randrange(0, 12)):
        lo, hi = ranges[rng.randrange(len(ranges))]
        out.append(chr(rng.randint(lo, hi)))
    return "".join(out)


def random_number(rng):
    k = rng.randrange(6)
    if k == 0:
        return rng.randint(-1000, 1000)
    if k == 1:
        return rng.randint(-(10 ** 30), 10 ** 30)
    if k == 2:
        return rng.uniform(-1, 1)
    if k == 3:
        return rng.uniform(-1e6, 1e6) * 10.0 ** rng.randint(-300, 300)
    if k == 4:
        return struct.unpack("<d", struct.pack("<Q", rng.getrandbits(62)))[0]
    return rng.choice([0.0, -0.0, 0.1, 1e-320, 2.0 ** 53 + 1, 1.7976931348623157e308, 5e-324])


def random_value(rng, depth):
    k = rng.randrange(4 if depth > 5 else 7)
    if k == 0:
        return rng.choice([None, True, False])
    if k == 1:
        return random_number(rng)
    if k in (2, 3):
        return random_text(rng)
    if k == 4 or k == 5:
        return [random_value(rng, depth + 1) for _ in range(rng.randrange(0, 5))]
    return {random_text(rng): random_value(rng, depth + 1) for _ in range(rng.randrange(0, 5))}


def nodes(v, out):
    if v is None:
        out.append("N")
    elif v is True:
        out.append("T")
    elif v is False:
        out.append("F")
    elif isinstance(v, (int, float)):
        out.append("D" + struct.pack(">d", float(v)).hex())
    elif isinstance(v, str):
        out.append("S" + v.encode("utf-8").hex())
    elif isinstance(v, list):
        out.append("A%d" % len(v))
        for item in v:
            nodes(item, out)
    else:
        out.append("O%d" % len(v))
        for key, item in v.items():
            out.append("K" + key.encode("utf-8").hex())
            nodes(item, out)


def docs(seed, count, dst):
    rng = random.Random(seed)
    with open(dst, "w", encoding="ascii") as out:
        for _ in range(count):
            v = random_value(rng, 0)
            text = json.dumps(
                v,
                ensure_ascii=rng.random() < 0.5,
                indent=rng.choice([None, None, 0, 2, "\t"]),
                separators=rng.choice([None, (",", ":"), (" , ", " : ")]),
                allow_nan=False,
            )
            lines = [text.encode("utf-8").hex()]
            nodes(v, lines)
            lines.append("END")
            out.write("\n".join(lines) + "\n")


def main():
    mode = sys.argv[1]
    if mode == "quote":
        quote(sys.argv[2], sys.argv[3])
    elif mode == "dumps":
        dumps(sys.argv[2], sys.argv[3])
    elif mode == "docs":
        docs(int(sys.argv[2]), int(sys.argv[3]), sys.argv[4])
    else:
        raise SystemExit("unknown mode " + mode)


if __name__ == "__main__":
    main()
