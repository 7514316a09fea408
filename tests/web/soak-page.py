#!/usr/bin/env python3
"""A page by hand for the long runs: a WebSocket that watches the bus monitor and reads its
frames at full speed ("read"), at 16 KiB a second ("slow") or not at all ("never"), with a
receive buffer of 4 KiB. Every ten seconds it prints one JSON line: the frames it took, how old
the newest row of each monitor frame was on arrival (median and largest, in ms), the serial word
times the rows carry (median and largest, in ms), and how often it connected again after the
program closed it (with its reason). "read" and "slow" send the page's heartbeat each second;
"never" sends nothing, prints nothing and sleeps. It connects after DELAY seconds (0).

soak-page.py PORT HOST MODE SECONDS [DELAY]"""
import json
import socket
import statistics
import sys
import time


def masked(command):
    mask = bytes([9, 8, 7, 6])
    return bytes([0x81, 0x80 | len(command)]) + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(command))


def connect(port, host):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.connect(("127.0.0.1", port))
    frame = masked(b'{"cmd":"monitor","do":"watch","ticked":true}')
    s.sendall(("GET /ws HTTP/1.1\r\nHost: " + host + "\r\nOrigin: http://" + host +
               "\r\nConnection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
               "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n").encode() + frame)
    return s


class Frames:
    """The server's frames out of the bytes as they come: the upgrade's answer first."""

    def __init__(self):
        self.data = b""
        self.upgraded = False
        self.message = b""
        self.closed = None

    def take(self, chunk):
        self.data += chunk
        messages = []
        if not self.upgraded:
            end = self.data.find(b"\r\n\r\n")
            if end < 0:
                return messages
            self.data = self.data[end + 4:]
            self.upgraded = True
        while len(self.data) >= 2:
            fin, opcode, size, at = self.data[0] & 0x80, self.data[0] & 0x0F, self.data[1] & 0x7F, 2
            if size == 126:
                if len(self.data) < 4:
                    break
                size, at = int.from_bytes(self.data[2:4], "big"), 4
            elif size == 127:
                if len(self.data) < 10:
                    break
                size, at = int.from_bytes(self.data[2:10], "big"), 10
            if len(self.data) < at + size:
                break
            payload, self.data = self.data[at:at + size], self.data[at + size:]
            if opcode == 8:
                self.closed = payload[2:].decode(errors="replace") or str(int.from_bytes(payload[:2], "big"))
                messages.append(None)
                continue
            if opcode in (0, 1):
                self.message += payload
                if fin:
                    messages.append(self.message)
                    self.message = b""
        return messages


def spread(values):
    return [round(statistics.median(values), 1), round(max(values), 1)] if values else None


def main():
    port, host, mode, seconds = int(sys.argv[1]), sys.argv[2], sys.argv[3], float(sys.argv[4])
    delay = float(sys.argv[5]) if len(sys.argv) > 5 else 0
    time.sleep(delay)
    seconds -= delay
    s = connect(port, host)
    if mode == "never":
        time.sleep(seconds)
        return
    started = time.time()
    report_at = started + 10
    frames, ages, latencies, again, reasons = 0, [], [], 0, []
    parser = Frames()
    pinged = started
    while time.time() < started + seconds:
        if time.time() - pinged >= 1:
            s.sendall(masked(b'{"cmd":"ping"}'))
            pinged = time.time()
        if mode == "slow":
            time.sleep(0.25)
            chunk = s.recv(4096)
        else:
            chunk = s.recv(65536)
        if not chunk:
            # Closed for being behind: connected again, as a page does.
            again += 1
            reasons.append(parser.closed or "no close frame")
            s.close()
            s = connect(port, host)
            parser = Frames()
            continue
        for message in parser.take(chunk):
            if message is None:
                continue
            frames += 1
            frame = json.loads(message)
            if frame.get("type") != "monitor" or not frame.get("rows"):
                continue
            now = time.time() * 1000
            ages.append(now - max(row["w"] for row in frame["rows"]))
            for row in frame["rows"]:
                latency = row["c"][7]
                if latency:
                    latencies.append(float(latency.replace(",", ".")))
        if time.time() >= report_at:
            print(json.dumps({"s": round(time.time() - started), "frames": frames, "ageMs": spread(ages),
                              "wordMs": spread(latencies), "again": again, "why": reasons}), flush=True)
            report_at += 10
            frames, ages, latencies, reasons = 0, [], [], []


main()
