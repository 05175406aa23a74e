#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets under corpus/NAME/seed_*.

Run again after changing a target's input format; inputs the fuzzers found
(named crash_* or finding_*) are kept beside the seeds and never rewritten.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed_" + name), "wb") as f:
        f.write(data)


def reply(flag=0, error_no=0, info=b"", declared=None, host=b"seat-01", command=128):
    header = struct.pack(">i", command) + b"S" * 32 + b"A" * 32 + b"\x01" + b"R" * 9
    body = struct.pack(">ii", 127, error_no) + bytes([flag])
    if flag == 1:
        n = len(info) if declared is None else declared
        body += b"3501020304050607".ljust(20, b"\0") + struct.pack(">I", 0xC0A8010A)
        body += host[:20].ljust(20, b"\0") + struct.pack(">i", n) + info
    return header + struct.pack(">i", len(info) + 57) + body


def response_input(capacity, fill, datagram):
    # Capacity and fill length first, then the storage's bytes.
    return struct.pack(">HH", capacity, fill) + datagram


def response_seeds():
    short = reply()
    write("response", "short_reply", response_input(1024, len(short), short))
    full = reply(flag=1, info=bytes(range(52)))
    write("response", "info_52", response_input(1024, len(full), full))
    write("response", "flag_2", response_input(1024, 91, reply(flag=2) + b"\x55" * 100))
    big = reply(flag=1, info=b"\x7e" * 600)
    write("response", "info_600", response_input(1024, len(big), big))
    write("response", "info_negative", response_input(200, 139, reply(flag=1, declared=-5)))
    write("response", "host_20", response_input(1024, 139, reply(flag=1, host=b"H" * 25)))
    write("response", "truncated_info", response_input(160, 150, reply(flag=1, info=b"x" * 40)))
    write("response", "tiny_buffer", response_input(50, 50, short[:50]))
    write("response", "empty_buffer", response_input(0, 0, b""))
    write("response", "refusal", response_input(91, 91, reply(error_no=-5)))


def dotted_ip_seeds():
    texts = ["192.168.1.10", "0.0.0.0", "255.255.255.255", "127.0.0.1", "01.2.3.4",
             "256.1.1.1", "1.2.3", "1.2.3.4.", " 1.2.3.4", "1.2.3.4 ", "+1.2.3.4",
             "0x7f.0.0.1", "1..2.3", "1.2.3.4.5", "1000.1.1.1", ""]
    for i, text in enumerate(texts):
        write("dotted_ip", "%02d" % i, text.encode())
    write("dotted_ip", "nul_inside", b"1.2.3.4\0garbage")


if __name__ == "__main__":
    response_seeds()
    dotted_ip_seeds()
