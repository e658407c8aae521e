"""Reads .reg files (regedit's version 5 text, UTF-16 or UTF-8) into {key: {name: value}} and
tells the writes between two states, so that two registries can be compared by what a program
changed in them."""

import re


def _decode(raw):
    if raw.startswith(b"\xff\xfe"):
        return raw[2:].decode("utf-16-le")
    if raw.startswith(b"\xef\xbb\xbf"):
        return raw[3:].decode("utf-8")
    return raw.decode("utf-8", errors="replace")


def _logical_lines(text):
    line = ""
    for physical in text.splitlines():
        if line:
            physical = physical.lstrip()
        if physical.endswith("\\") and not physical.rstrip().endswith('"'):
            line += physical[:-1]
            continue
        line += physical
        yield line
        line = ""
    if line:
        yield line


_STRING = re.compile(r'^"((?:[^"\\]|\\.)*)"$')


def _unescape(text):
    return re.sub(r"\\(.)", lambda m: m.group(1), text)


def _parse_name(line):
    """Splits `"name"=data` or `@=data`; returns (name, data) or None."""
    if line.startswith("@="):
        return "", line[2:]
    if not line.startswith('"'):
        return None
    i, escaped = 1, False
    while i < len(line):
        c = line[i]
        if escaped:
            escaped = False
        elif c == "\\":
            escaped = True
        elif c == '"':
            break
        i += 1
    if i + 1 >= len(line) or line[i + 1] != "=":
        return None
    return _unescape(line[1:i]), line[i + 2:]


def _value(data):
    m = _STRING.match(data)
    if m:
        return ("REG_SZ", _unescape(m.group(1)))
    if data.startswith("dword:"):
        return ("REG_DWORD", int(data[6:], 16))
    m = re.match(r"^hex(?:\(([0-9a-fA-F]+)\))?:(.*)$", data)
    if m:
        kind = int(m.group(1), 16) if m.group(1) else 3
        payload = bytes(int(b, 16) for b in m.group(2).replace(" ", "").split(",") if b)
        names = {0: "REG_NONE", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD", 7: "REG_MULTI_SZ",
                 11: "REG_QWORD"}
        if kind == 11 and len(payload) == 8:
            return ("REG_QWORD", int.from_bytes(payload, "little"))
        if kind in (2, 7):
            return (names[kind], payload.decode("utf-16-le", errors="replace"))
        return (names.get(kind, f"type{kind}"), payload.hex())
    return ("?", data)


def normal_key(key):
    """Key paths compared without case and with the hive's long name."""
    short = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}
    head, _, rest = key.partition("\\")
    head = short.get(head.upper(), head.upper())
    return (head + ("\\" + rest if rest else "")).lower()


def parse(raw):
    keys = {}
    current = None
    for line in _logical_lines(_decode(raw) if isinstance(raw, bytes) else raw):
        line = line.strip()
        if not line or line.startswith(";") or line.startswith("Windows Registry Editor") or line == "REGEDIT4":
            continue
        if line.startswith("[") and line.endswith("]"):
            current = normal_key(line[1:-1])
            keys.setdefault(current, {})
            continue
        if current is None:
            continue
        parsed = _parse_name(line)
        if parsed:
            keys[current][parsed[0].lower()] = _value(parsed[1])
    return keys


def read(path):
    with open(path, "rb") as f:
        return parse(f.read())


def writes(before, after, under=""):
    """What changed from `before` to `after` below `under`: sorted (key, name, value or None)."""
    under = normal_key(under) if under else ""
    changes = set()
    for key in set(before) | set(after):
        if under and not key.startswith(under):
            continue
        old, new = before.get(key), after.get(key)
        if new is None:
            changes.add((key, "<key deleted>", None))
            continue
        if old is None:
            changes.add((key, "<key created>", None))
            old = {}
        for name in set(old) | set(new):
            if old.get(name) != new.get(name):
                changes.add((key, name, new.get(name)))
    return sorted(changes, key=lambda c: (c[0], c[1], repr(c[2])))
