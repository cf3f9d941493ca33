#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_server: one file per scenario, each a sequence of records
[u8 flags][u16 length][datagram] as fuzz_server.cpp reads them. Run from anywhere; rewrites
corpus/server/ next to this file."""
import os
import struct

ALICE = (0, 10001, 0x11111111)
BOB = (1, 10002, 0x22222222)
STRANGER = (2, 0, 0)
seq = [5000]


def u16(v): return struct.pack('<H', v)
def u32(v): return struct.pack('<I', v)


def text(s, size):
    b = s.encode()[:size - 1]
    return u16(len(b) + 1) + b + b'\0'


def payload(b): return u16(len(b) + 1) + b + b'\0'


def cmd(who, command, body=b'', flags=0, raw=None):
    sender, pin, login = who
    seq[0] += 1
    d = raw if raw is not None else (u16(1) + u16(command) + u32(seq[0]) + u32(pin) + u32(login)
                                     + u16(seq[0] & 0xFFFF) + body)
    return bytes([sender | flags]) + u16(len(d)) + d


def user_fields(mask, name='', pw='', nick='', with_pw=False):
    b = text(name, 17) if mask & 2 else u16(0)
    if with_pw:
        b += text(pw, 17) if mask & 4 else u16(0)
    b += text(nick, 17) if mask & 8 else u16(0)
    b += u16(0) * 3
    return b + u16(0) + u32(0) + bytes(3)


def group(t, gid, name): return u16(t) + u32(gid) + text(name, 129)


scenarios = {
    'handshake': [cmd(STRANGER, 4)],
    'register': [cmd(STRANGER, 0x101, u32(0xE) + user_fields(0xE, 'carol', 'pw', 'Caz', True)
                     + u32(3) + u32(0))],
    'register_no_name': [cmd(STRANGER, 0x101, u32(4) + user_fields(4, '', 'pw', '', True)
                             + u32(0) + u32(16))],
    'search': [cmd(ALICE, 0x109, u32(0) + u32(0) + user_fields(0) + u32(1) + u32(0)),
               cmd(ALICE, 0x104, u32(8) + user_fields(8, nick='b'))],
    'info': [cmd(ALICE, 0x108, u32(0xFFFFFFFF) + u32(10002) + u16(0)),
             cmd(ALICE, 0x107, u32(0x2000008) + user_fields(8, nick='Ally') + u32(1) + u32(8)
                 + u16(0) * 4 + u16(0) * 5 + text('about', 257)),
             cmd(BOB, 0x108, u32(0xFFFFFFFF) + u32(0) + text('alice', 17))],
    'buddies': [cmd(ALICE, 0x204, u32(5) + u32(0) + u32(0) + u16(0) + text('Friends', 33)),
                cmd(ALICE, 0x204, u32(10002) + u32(5) + u32(0) + u16(0) + text('Bobby', 33)),
                cmd(ALICE, 0x205, u32(10002) + u32(1) + u32(0) + text('B', 33)),
                cmd(ALICE, 0x201), cmd(ALICE, 0x202),
                cmd(ALICE, 0x203, u16(1) + u32(5))],
    'auth': [cmd(BOB, 0x107, u32(0x2000) + user_fields(0) + u32(0) + u32(1) + u16(0) * 4
                 + u16(0) * 6),
             cmd(ALICE, 0x204, u32(10002) + u32(1) + u32(0) + text('let me in', 513)
                 + text('Bob', 33)),
             cmd(BOB, 0x601, u32(10001) + b'\x01')],
    'blacklist': [cmd(ALICE, 0x303, u32(10002) + u16(0)), cmd(ALICE, 0x301), cmd(ALICE, 0x302),
                  cmd(BOB, 0x501, u32(1) + u32(19760112) + u32(0) + payload(b'hi') + u32(1)
                      + u32(10001)),
                  cmd(ALICE, 0x304, u16(1) + u32(10002))],
    'groups': [cmd(ALICE, 0x403, group(1, 0, 'example.com') + text('', 17)),
               cmd(BOB, 0x403, group(1, 0, 'example.com') + text('', 17)),
               cmd(ALICE, 0x406, group(1, 1, '')), cmd(ALICE, 0x411, group(1, 1, '')),
               cmd(ALICE, 0x407, group(1, 0, 'example.com')),
               cmd(ALICE, 0x502, u32(2) + u32(19760112) + u32(0) + u16(1) + u32(1)
                   + payload(b'hello group')),
               cmd(BOB, 0x106, u32(2)),
               cmd(BOB, 0x404, group(1, 1, 'example.com'))],
    'messages': [cmd(ALICE, 0x501, u32(1) + u32(19760112) + u32(0) + payload(b'hello')
                     + u32(2) + u32(10002) + u32(10003)),
                 cmd(BOB, 0x501, u32(0) + u32(19730420) + u32(0) + payload(b'chat') + u32(1)
                     + u32(10001)),
                 cmd(ALICE, 0x503, u32(10002) + u32(19770101) + u32(0) + u32(0x0100007F)
                     + u16(5000) + payload(b'file'))],
    'status_logout': [cmd(ALICE, 0x106, u32(4)), cmd(ALICE, 2), cmd(ALICE, 0x901),
                      cmd(ALICE, 0x103), cmd(ALICE, 0x201)],
    'password': [cmd(STRANGER, 0x105, u32(0) + text('alice', 17) + text('pw', 17)
                     + text('new', 17))],
    'acks': [cmd(ALICE, 0, raw=u16(1) + u16(1) + u32(1) + u32(10001) + u32(0x11111111)),
             cmd(ALICE, 0, raw=u16(1) + u16(1) + u32(2))],
    'bad': [cmd(STRANGER, 0, raw=b'\x02\x00\x04\x00' + bytes(14)),
            cmd(STRANGER, 0, raw=b'\x01\x00'),
            cmd(ALICE, 0x102, b'\x01'),
            cmd(ALICE, 0x501, u32(1) + u32(0) + u32(0) + u16(0xFFFF)),
            cmd(ALICE, 0x204, u32(10002) + u32(1) + u32(0) + u16(600))],
    'time': [cmd(ALICE, 2, flags=4)] + [cmd(STRANGER, 4, flags=4) for _ in range(8)],
}
dup = cmd(ALICE, 0x501, u32(1) + u32(19760112) + u32(0) + payload(b'once') + u32(1) + u32(10002))
scenarios['duplicate'] = [dup, dup]

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus', 'server')
os.makedirs(out, exist_ok=True)
for name, records in scenarios.items():
    with open(os.path.join(out, name), 'wb') as f:
        f.write(b''.join(records))
print(f'{len(scenarios)} inputs in {out}')
