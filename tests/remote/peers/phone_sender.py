#!/usr/bin/python3
"""Plays a phone camera: cuts an Annex-B H.264 stream (made by ffmpeg with
access unit delimiters) into the studio's video datagrams and sends them.

  phone_sender.py H264FILE PORT SESSION DROPFRAME

The fragments of each frame go out shuffled, about one in five twice, and
fragment 0 of frame DROPFRAME never (-1 drops nothing). Prints the number of
frames and of the frames the receiver should deliver: every frame except
those from DROPFRAME to the next key frame.
"""
import random
import socket
import struct
import sys
import time

path, port, session, drop = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
data = open(path, "rb").read()
MAX_PAYLOAD = 1200


def nal_starts(buf):
    """Offsets of the 3- or 4-byte start codes and their NAL types."""
    out, i = [], 0
    while True:
        i = buf.find(b"\x00\x00\x01", i)
        if i < 0:
            return out
        start = i - 1 if i > 0 and buf[i - 1] == 0 else i
        out.append((start, buf[i + 3] & 0x1F))
        i += 3


# Access units begin at each delimiter (type 9).
starts = [s for s, t in nal_starts(data) if t == 9]
units = [data[a:b] for a, b in zip(starts, starts[1:] + [len(data)])]
rng = random.Random(7)
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
expected, waiting = 0, False
for number, unit in enumerate(units):
    key = any(t == 5 for _, t in nal_starts(unit))
    if number == drop:
        waiting = True
    if key and number != drop:
        waiting = False
    if not waiting:
        expected += 1
    pieces = [unit[i:i + MAX_PAYLOAD] for i in range(0, len(unit), MAX_PAYLOAD)]
    grams = []
    for index, piece in enumerate(pieces):
        if number == drop and index == 0:
            continue
        header = b"QH" + bytes([1, 1 if key else 0]) + struct.pack(">IIHH", session, number, index, len(pieces))
        grams.append(header + piece)
        if rng.random() < 0.2:
            grams.append(header + piece)
    rng.shuffle(grams)
    for g in grams:
        sock.sendto(g, ("127.0.0.1", port))
    time.sleep(1 / 60)
print(len(units), expected, flush=True)
