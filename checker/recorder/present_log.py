"""The present recorder's file (present_record.h, its one definition) read from Python, for the
benchmark and the cases that run the recorder: the header's counter frequency and each record
as a Present with its index, its time in seconds, its flags, the read-back's cost and its boxes.
"""
import collections
import struct

HEADER = struct.Struct("<8sIIqII")  # PresentFileHeader
RECORD = struct.Struct("<IiqqBBxxI")  # PresentRecord up to its boxes
BOX = struct.Struct("<hhhh")  # PresentBox: x, y, width, height
MAGIC = b"OBXPRES1"
READ, SKIPPED, OVERFLOW = 0x01, 0x02, 0x04

Present = collections.namedtuple("Present", "index result time flags probe_seconds box_count boxes")


def read(path):
    """The records of the file at path, in order; ValueError when it is no such file."""
    data = open(path, "rb").read()
    if len(data) < HEADER.size:
        raise ValueError(f"{path}: shorter than its header")
    magic, size, slots, frequency, _, _ = HEADER.unpack_from(data, 0)
    if magic != MAGIC or size != RECORD.size + slots * BOX.size or frequency <= 0:
        raise ValueError(f"{path}: not a present recorder's file")
    presents = []
    for at in range(HEADER.size, len(data) - size + 1, size):
        index, result, call, _, count, flags, probe = RECORD.unpack_from(data, at)
        boxes = tuple(BOX.unpack_from(data, at + RECORD.size + BOX.size * i)
                      for i in range(min(count, slots)))
        presents.append(Present(index, result, call / frequency, flags, probe / frequency, count,
                                boxes))
    return presents
