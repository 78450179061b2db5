#!/usr/bin/env python3
"""A stand-in for the online-access service, for tests on this machine only.

It speaks the service's datagram protocol on its own: every datagram is a
sequence byte, an acknowledgement byte and a body; sequenced bodies start
with a packet kind. It answers the login (Login, LoginChallenge,
LoginTicket, LoginResult), the group requests and relays group messages,
and records every datagram it receives or sends, with its bytes, as one
JSON line each in the record file.

The test that starts it steers it through standard input, one command a
line, each answered with one line on standard output that starts with "ok"
(or "error"). The first line it prints is "ready PORT" once it listens.

Commands:
  set KEY VALUE      challenge-error, result-error, ticket (the one
                     LoginTicket must carry; empty: any), max-message,
                     link-timeout, result-short (1: LoginResult ends before
                     its timeout)
  drop-in N          ignore the N-th datagram received (counted from 1)
  drop-out N         do not send the N-th datagram (counted from 1)
  dup-out N          send the N-th datagram twice
  hold               hold back every datagram to send from now on
  release ORDER      send the held ones: "reverse" or "in-order"
  noack 0|1          1: acknowledge nothing (no bare acknowledgements,
                     acknowledgement byte 0)
  silent 0|1         1: send nothing at all (datagrams are still recorded)
  packet HEX         a sequenced packet with that body
  raw HEX            that datagram as it stands
  message U C V NAME       an OnlineMessage (kind 10) for the KUID U C V
  vmessage U C V NAME F M  a VersionedOnlineMessage (kind 11), format F,
                           sender modified M
  counts             "ok received=R sent=S seq=NEXT expected=E"
  quit               ends the server

It ends by itself after --time-limit seconds, or when standard input ends.
"""

import argparse
import json
import os
import select
import socket
import struct
import sys
import time

NULL_BODY = b"ACS$" + struct.pack("<iiI", 1, 0, 0)


def next_seq(seq):
    return 1 if seq == 255 else seq + 1


def seq_distance(a, b):
    d = (a - b) & 0xFF
    return d - 256 if d >= 128 else d


def pack_string(text):
    data = text.encode("utf-8")
    if not data:
        return struct.pack("<I", 0)
    return struct.pack("<I", len(data) + 1) + data + b"\0"


def pack_kuid(user, content, version):
    word = ((version & 0x7F) << 25) | (user & 0x1FFFFFF)
    return struct.pack("<iI", content, word)


class Reader:
    """Reads fields; a field cut short reads as its default."""

    def __init__(self, data):
        self.data = data
        self.pos = 0
        self.short = False

    def take(self, n):
        if self.pos + n > len(self.data):
            self.short = True
            self.pos = len(self.data)
            return None
        out = self.data[self.pos:self.pos + n]
        self.pos += n
        return out

    def u8(self):
        b = self.take(1)
        return b[0] if b is not None else 0

    def u16(self):
        b = self.take(2)
        return struct.unpack("<H", b)[0] if b is not None else 0

    def u32(self):
        b = self.take(4)
        return struct.unpack("<I", b)[0] if b is not None else 0

    def f32(self):
        b = self.take(4)
        return struct.unpack("<f", b)[0] if b is not None else 0.0

    def string(self):
        n = self.u32()
        if n == 0:
            return ""
        b = self.take(n)
        if b is None:
            return ""
        return b.split(b"\0", 1)[0].decode("utf-8", "replace")

    def rest(self):
        out = self.data[self.pos:]
        self.pos = len(self.data)
        return out


class Link:
    """The protocol state towards one client address."""

    def __init__(self):
        self.next_send = 1
        self.expected = 1
        self.last_received = 0
        self.held_ahead = {}


class Server:
    def __init__(self, args):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((args.host, args.port))
        self.record = open(args.record, "a", encoding="utf-8")
        self.deadline = time.monotonic() + args.time_limit
        self.settings = {
            "challenge-error": "",
            "result-error": "",
            "ticket": "",
            "max-message": "32000",
            "link-timeout": "120.0",
            "result-short": "0",
        }
        self.links = {}
        self.client = None
        self.received = 0
        self.sent = 0
        self.drop_in = set()
        self.drop_out = set()
        self.dup_out = set()
        self.holding = False
        self.held = []
        self.noack = False
        self.silent = False
        self.groups = {}
        self.next_group = 1
        self.running = True

    # ---------------------------------------------------------------- record

    def note(self, direction, data, **extra):
        entry = {"dir": direction, "t": round(time.monotonic(), 3), "hex": data.hex()}
        entry.update(extra)
        self.record.write(json.dumps(entry) + "\n")
        self.record.flush()

    # ---------------------------------------------------------------- sending

    def link(self, address):
        if address not in self.links:
            self.links[address] = Link()
        return self.links[address]

    def ack_byte(self, link):
        return 0 if self.noack else link.last_received

    def emit(self, address, datagram):
        """Sends one datagram through the knobs."""
        self.sent += 1
        n = self.sent
        if self.silent:
            self.note("out", datagram, n=n, suppressed="silent")
            return
        if n in self.drop_out:
            self.note("out", datagram, n=n, suppressed="dropped")
            return
        if self.holding:
            self.held.append((address, datagram, n))
            self.note("out", datagram, n=n, suppressed="held")
            return
        self.put(address, datagram, n)
        if n in self.dup_out:
            self.put(address, datagram, n, duplicate=True)

    def put(self, address, datagram, n, **extra):
        self.sock.sendto(datagram, address)
        self.note("out", datagram, n=n, **extra)

    def send_packet(self, address, body):
        link = self.link(address)
        seq = link.next_send
        link.next_send = next_seq(seq)
        self.emit(address, bytes([seq, self.ack_byte(link)]) + body)

    def send_ack(self, address):
        if self.noack:
            return
        link = self.link(address)
        self.emit(address, bytes([0, link.last_received]))

    # ---------------------------------------------------------------- receiving

    def on_datagram(self, data, address):
        self.received += 1
        if self.received in self.drop_in:
            self.note("in", data, n=self.received, dropped=True)
            return
        self.note("in", data, n=self.received)
        if len(data) < 2:
            return
        if address != self.client:
            self.client = address
        link = self.link(address)
        seq, body = data[0], data[2:]
        if seq == 0:
            if len(body) == 1:
                # The client closed the link; a new one starts afresh.
                self.links[address] = Link()
            return
        if seq == link.expected:
            sent_before = self.sent
            while True:
                link.last_received = seq
                link.expected = next_seq(link.expected)
                self.handle(address, body)
                if link.expected not in link.held_ahead:
                    break
                seq = link.expected
                body = link.held_ahead.pop(seq)
            if self.sent == sent_before:
                self.send_ack(address)
            return
        if seq_distance(seq, link.expected) < 0:
            # Seen before: the acknowledgement got lost.
            self.send_ack(address)
            return
        link.held_ahead.setdefault(seq, body)

    def handle(self, address, body):
        r = Reader(body)
        kind = r.u8()
        if kind == 0:
            r.string(), r.string(), r.f32(), r.u32(), r.u8()
            self.send_packet(address, bytes([1]) + pack_string(self.settings["challenge-error"])
                             + pack_string("standin-user"))
        elif kind == 2:
            ticket = r.string()
            error = self.settings["result-error"]
            wanted = self.settings["ticket"]
            if not error and wanted and ticket != wanted:
                error = "bad ticket"
            if error:
                self.send_packet(address, bytes([3]) + pack_string(error))
                return
            out = bytes([3]) + pack_string("") + struct.pack("<I", int(self.settings["max-message"]))
            if self.settings["result-short"] != "1":
                out += struct.pack("<f", float(self.settings["link-timeout"]))
            self.send_packet(address, out)
        elif kind == 20:
            gid = "group-%d" % self.next_group
            self.next_group += 1
            self.groups[gid] = []
            self.send_packet(address, bytes([20]) + pack_string(gid) + struct.pack("<H", 0))
        elif kind == 21:
            gid = r.string()
            users = self.groups.get(gid, [])
            out = bytes([21]) + pack_string(gid) + struct.pack("<H", len(users))
            for name, status in users:
                out += pack_string(name) + bytes([status])
            self.send_packet(address, out)
        elif kind == 22:
            gid = r.string()
            self.groups.pop(gid, None)
            self.send_packet(address, bytes([22]) + pack_string(gid))
        elif kind == 23:
            gid = r.string()
            action = r.u8()
            name = r.string()
            users = self.groups.setdefault(gid, [])
            status = 255 if action == 255 else 1
            users[:] = [u for u in users if u[0] != name]
            if status != 255:
                users.append((name, status))
            self.send_packet(address, bytes([23]) + pack_string(gid) + struct.pack("<H", 1)
                             + pack_string(name) + bytes([status]))
        elif kind == 24:
            self.send_packet(address, body)

    # ---------------------------------------------------------------- commands

    def command(self, line):
        words = line.split()
        if not words:
            return "ok"
        name, rest = words[0], words[1:]
        if name == "set" and rest:
            self.settings[rest[0]] = " ".join(rest[1:])
            return "ok"
        if name in ("drop-in", "drop-out", "dup-out") and len(rest) == 1:
            {"drop-in": self.drop_in, "drop-out": self.drop_out, "dup-out": self.dup_out}[name].add(int(rest[0]))
            return "ok"
        if name == "hold":
            self.holding = True
            return "ok"
        if name == "release":
            self.holding = False
            held, self.held = self.held, []
            if rest and rest[0] == "reverse":
                held.reverse()
            for address, datagram, n in held:
                self.put(address, datagram, n, released=True)
            return "ok %d" % len(held)
        if name in ("noack", "silent") and len(rest) == 1:
            setattr(self, name, rest[0] == "1")
            return "ok"
        if name == "counts":
            link = self.links.get(self.client, Link())
            return "ok received=%d sent=%d seq=%d expected=%d" % (
                self.received, self.sent, link.next_send, link.expected)
        if name == "quit":
            self.running = False
            return "ok"
        if self.client is None:
            return "error no client"
        if name == "packet" and len(rest) == 1:
            self.send_packet(self.client, bytes.fromhex(rest[0]))
            return "ok"
        if name == "raw" and len(rest) == 1:
            self.emit(self.client, bytes.fromhex(rest[0]))
            return "ok"
        if name in ("message", "vmessage") and len(rest) >= 4:
            user, content, version = int(rest[0]), int(rest[1]), int(rest[2])
            record = pack_kuid(user, content, version) + pack_string(rest[3]) + NULL_BODY
            if name == "vmessage":
                fmt = int(rest[4]) if len(rest) > 4 else 1
                modified = int(rest[5]) if len(rest) > 5 else 0
                record += struct.pack("<IB", fmt, modified)
                self.send_packet(self.client, bytes([11]) + record)
            else:
                self.send_packet(self.client, bytes([10]) + record)
            return "ok"
        return "error unknown command"

    # ---------------------------------------------------------------- loop

    def run(self):
        print("ready %d" % self.sock.getsockname()[1], flush=True)
        stdin = sys.stdin.buffer
        pending = b""
        while self.running:
            left = self.deadline - time.monotonic()
            if left <= 0:
                break
            readable, _, _ = select.select([self.sock, stdin], [], [], min(left, 0.5))
            if self.sock in readable:
                data, address = self.sock.recvfrom(200000)
                self.on_datagram(data, address)
            if stdin in readable:
                chunk = os.read(stdin.fileno(), 65536)
                if not chunk:
                    break
                pending += chunk
                while b"\n" in pending:
                    line, pending = pending.split(b"\n", 1)
                    try:
                        answer = self.command(line.decode("utf-8", "replace").strip())
                    except (ValueError, KeyError) as error:
                        answer = "error %s" % error
                    print(answer, flush=True)
        self.record.close()
        self.sock.close()


def main():
    parser = argparse.ArgumentParser(description="Online-access stand-in server (tests only).")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=5250)
    parser.add_argument("--record", required=True)
    parser.add_argument("--time-limit", type=float, default=120.0)
    args = parser.parse_args()
    if not args.host.startswith("127.") and args.host != "localhost":
        parser.error("the stand-in serves on the loopback only")
    Server(args).run()


if __name__ == "__main__":
    main()
