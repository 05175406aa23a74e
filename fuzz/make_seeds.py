#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets under corpus/NAME/seed_*.

Run again after changing a target's input format; inputs the fuzzers found
(named crash_* or finding_*) are kept beside the seeds and never rewritten.
"""
import os
import struct
import zlib

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


# Texts of the adapter target's palette, by index (see adapter_rule_fuzz.cpp).
ADDR, GW, MASK24, LOOP, HOST_B, BAD3 = 0, 1, 2, 6, 3, 12
OTHER_GW, MASK16 = 13, 14


def adapter(physical=True, hw=b"\x00\x1a\x2b\x3c\x4d\x5e", hw_len=6, addrs=(), gws=()):
    flags = (0 if physical else 1) | (0 if hw else 2) | (len(addrs) << 2) | (len(gws) << 4)
    out = bytes([flags, hw_len])
    if hw:
        out += hw.ljust(8, b"\0")
    for address, mask in addrs:
        out += bytes([address, mask])
    return out + bytes(gws)


def scenario(adapters, host=(ADDR,), out_length=6, has_name=True, resolves=True):
    shape = (0 if has_name else 1) | (0 if resolves else 2)
    data = bytes([shape, out_length + 2, len(adapters)]) + b"".join(adapters)
    return data + bytes([len(host)]) + bytes(host)


def adapter_rule_seeds():
    match = adapter(addrs=[(ADDR, MASK24)], gws=[GW])
    write("adapter_rule", "match", scenario([match]))
    write("adapter_rule", "hw_8_bytes",
          scenario([adapter(hw=b"\x11" * 8, hw_len=8, addrs=[(ADDR, MASK24)], gws=[GW])]))
    write("adapter_rule", "virtual_only",
          scenario([adapter(physical=False, addrs=[(ADDR, MASK24)], gws=[GW])]))
    write("adapter_rule", "gateway_outside",
          scenario([adapter(addrs=[(ADDR, MASK24)], gws=[OTHER_GW])]))
    write("adapter_rule", "zero_hw", scenario([adapter(hw=b"", addrs=[(ADDR, MASK24)], gws=[GW])]))
    write("adapter_rule", "loopback", scenario([adapter(addrs=[(LOOP, 5)], gws=[LOOP])], host=(LOOP,)))
    write("adapter_rule", "unresolvable", scenario([match], resolves=False))
    write("adapter_rule", "no_name", scenario([match], has_name=False))
    write("adapter_rule", "second_adapter",
          scenario([adapter(addrs=[(HOST_B, MASK24)], gws=[GW]), match], host=(HOST_B, ADDR)))
    write("adapter_rule", "host_list_bad_first", scenario([], host=(BAD3, ADDR)))
    write("adapter_rule", "short_out", scenario([match], out_length=2))
    write("adapter_rule", "wide_mask", scenario([adapter(addrs=[(ADDR, MASK16)], gws=[OTHER_GW])]))


def server_record(count, entries=()):
    record = struct.pack("<i", count)
    for name, port, credential in entries:
        record += name.ljust(256, b"\0") + struct.pack("<i", port) + b"\x01"
        record += credential.ljust(32, b"\0") + b"\0"
    return record.ljust(5884, b"\0")


def store_file(record):
    body = b"RGAD" + struct.pack("<II", 1, 5884) + record
    return body + struct.pack("<I", zlib.crc32(body))


def sized(data):
    return struct.pack(">H", len(data)) + data


def server_list_seeds():
    one = server_record(1, [(b"enrol.example", 7000, b"K" * 32)])
    two = server_record(2, [(b"10.0.0.1", 7000, b"A"), (b"10.0.0.1", 7001, b"B")])
    # Layout byte: 1 primary present, 2 backup present, 4/8 frame them.
    write("server_list", "no_files", b"\0")
    write("server_list", "framed_one", bytes([1 | 4]) + sized(one))
    write("server_list", "framed_count_21", bytes([1 | 4]) + sized(server_record(21)))
    write("server_list", "framed_count_negative", bytes([1 | 4]) + sized(server_record(-1)))
    write("server_list", "bad_primary_good_backup",
          bytes([1 | 2 | 8]) + sized(b"garbage" * 10) + sized(two))
    write("server_list", "raw_good", bytes([1]) + sized(store_file(two)))
    write("server_list", "raw_truncated", bytes([1]) + sized(store_file(two)[:-1]))
    write("server_list", "raw_flipped", bytes([1]) + sized(store_file(one)[:100] + b"X" +
                                                           store_file(one)[101:]))
    write("server_list", "empty_primary", bytes([1]) + sized(b""))
    # A removed primary beside a good backup: no list, the backup stays unread.
    write("server_list", "backup_only", bytes([2 | 8]) + sized(two))


if __name__ == "__main__":
    server_list_seeds()
    adapter_rule_seeds()
    response_seeds()
    dotted_ip_seeds()
