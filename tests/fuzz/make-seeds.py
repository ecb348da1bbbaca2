#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets, tests/fuzz/corpus/<target>/seed-*,
from the sample maps and armies of data/ and the messages as the connector
sends them. Regression inputs (any other name) are left alone. Run again after
a change of a target's input layout."""

import pathlib
import struct

ROOT = pathlib.Path(__file__).resolve().parents[2]
DATA = ROOT / "data"
CORPUS = ROOT / "tests" / "fuzz" / "corpus"

ROW_CODES = {str(d): d for d in range(10)}
ROW_CODES.update({"B": 10, "R": 11, " ": 12})


def rows_to_codes(text):
    """The inverse of rowLetters in sessionfuzz.h: save and army rows as the
    bytes that the session targets bring onto those letters."""
    out = bytearray()
    i = 0
    while i < len(text):
        if text[i:i + 2] == b"\r\n":
            out.append(14)
            i += 2
            continue
        out.append(ROW_CODES.get(chr(text[i]), 12))
        i += 1
    return bytes(out)


def lines(path):
    return path.read_bytes().split(b"\r\n")[:-1]


def half_turn(row):
    cells = [row[i:i + 4] for i in range(0, 160, 4)]
    return b"".join(reversed(cells))


def mark(row, side):
    for kind in range(1, 13):
        code = b"%03d" % kind
        row = row.replace(code, side + code[1:])
    return row


def army_rows(name):
    return lines(DATA / name)[1:41]


def save_body(own, other):
    """80 rows: the own army marked B, then the other's half-turned, marked R."""
    rows = [mark(r, b"B") for r in army_rows(own)]
    rows += [mark(half_turn(r), b"R") for r in reversed(army_rows(other))]
    return b"\r\n".join(rows) + b"\r\n"


def cuts(*points):
    out = bytes([len(points)])
    padded = list(points) + [0] * (7 - len(points))
    return out + b"".join(struct.pack(">H", p) for p in padded)


COMMAND = b"<Root><Command FlagID='5003' Direction='E' SerpentJump='No'/></Root>"
BRIDGE_COMMAND = (b'<ROOT><COMMAND FlagID="5003" Direction="E" SerpentJump="No">'
                  b"</COMMAND></ROOT>")


def page(body):
    return b"<html><head><title>HvdBridge</title></head><body>" + body + b"</body></html>"


def seeds():
    army = (DATA / "Castle_Guard.arm").read_bytes()
    start = save_body("Castle_Guard.arm", "Castle_Siege.arm")
    save = b"Castle\r\n" + start
    s = {}
    s["command"] = {
        "engine": struct.pack(">H", 40) + COMMAND,
        "bridge": struct.pack(">H", 40) + BRIDGE_COMMAND,
        "large-count": struct.pack(">H", 9000) + COMMAND,
    }
    s["flips"] = {"army": army, "save": save}
    s["random_army_map"] = {m.stem: struct.pack(">I", 7) + m.read_bytes()
                            for m in DATA.glob("*.map")}
    s["map_file"] = {m.stem: m.read_bytes() for m in DATA.glob("*.map")}
    s["body_html"] = {
        "wait": b"\x00" + page(b"Wait"),
        "army-page": b"\x00" + page(b"ARMYDATA: " + army.replace(b"\r\n", b"<br>")),
        "command-page": b"\x00" + page(COMMAND),
        "sessions-page": b"\x00" + page(b"<h3>Open sessions</h3><table border=\"1\"><tr>"
                                        b"<td>A &amp; B</td><td>2345ABCDEFGH</td></tr></table>"),
        "army-rows": b"\x01\x01" + rows_to_codes(army),
        "save-rows": b"\x01\x00" + rows_to_codes(start),
        "command": b"\x02\x13\x8b\x02",
    }
    s["form_body"] = {
        "send": b"\x00SessionKey=2345ABCDEFGH&DataOwner=Host&SessionData=ARMYDATA:+Castle<br>000",
        "get": b"\x00SessionKey=2345ABCDEFGH&DataOwner=Client",
        "connect": b"\x00SessionName=My+Game",
        "connector-send": b"\x012345ABCDEFGH\x00Client\x00" + COMMAND,
        "connector-connect": b"\x02My Game & more",
    }
    army_data = b"ARMYDATA: " + army.replace(b"\r\n", b"<br>")
    s["bridge_pages"] = {
        "game": (b"\x00Castle Game\x00"
                 b"\x01\x00\x00" + army_data + b"\x00"
                 b"\x02\x00\x00\x00"
                 b"\x02\x00\x01\x00"
                 b"\x01\x00\x01" + COMMAND + b"\x00"
                 b"\x02\x40\x01\x00"
                 b"\x03"),
        "unknown": b"\x02\xff\x00NOSUCHID\x00\x03",
        "raw-form": b"\x00Game\x00\x04\x01SessionKey=x&DataOwner=Nobody",
        "raw-request": b"\x05GET /Bridge/Nothing HTTP/1.1\r\nHost: x\r\n\r\n",
    }
    control = b"Castle.map\r\nGame.sav\r\n0\r\nHost\r\n"
    s["engine_files"] = {
        "host": control + b"\x00" + save + b"\x00moves 5 1\r\n\x00" + COMMAND + b"\r\n\x00\x01\x03\x07",
        "client": control.replace(b"Host", b"Client") + b"\x00" + save +
                  b"\x00move 5040 N\r\ndelay 0\r\n\x00\x00\x00\x02\x05\x03\x09",
    }
    map_message = b"MAP: Castle.map"
    start_message = b"SAVEDATA1: " + start
    s["client_receive"] = {
        "split": b"\x00\x00\x00hello\x00" + cuts(11, 500, 6000) + rows_to_codes(start),
        "split-marker": b"\x00\x01\x00\x00" + cuts(4, 13) + rows_to_codes(start),
        "raw": b"\x01" + map_message + b"\x00SERVER: hi\x00" + start_message[:3000] + b"\x00" +
               start_message[3000:] + b"\x00" + COMMAND + b"\r\n",
        "bridge": b"\x02Wait\x00" + map_message + b"\x00Wait\x00" + start_message +
                  b"\x00" + BRIDGE_COMMAND,
    }
    army_message = b"ARMYDATA: " + army
    s["host_receive"] = {
        "split": b"\x00hello\x00" + cuts(5, 200, 3000) + rows_to_codes(army),
        "split-marker": b"\x00\x00" + cuts(3, 9, 10) + rows_to_codes(army),
        "raw": b"\x01CLIENT: hi\x00" + army_message[:1000] + b"\x00" + army_message[1000:] +
               b"\x00" + COMMAND + b"\r\n",
        "bridge": b"\x02Wait\x00" + army_message + b"\x00" + BRIDGE_COMMAND,
    }
    return s


def main():
    for target, inputs in seeds().items():
        folder = CORPUS / target
        folder.mkdir(parents=True, exist_ok=True)
        for old in folder.glob("seed-*"):
            old.unlink()
        for name, data in inputs.items():
            (folder / ("seed-" + name)).write_bytes(data)


if __name__ == "__main__":
    main()
