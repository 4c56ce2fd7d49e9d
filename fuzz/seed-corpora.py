#!/usr/bin/env python3
"""Writes a seed corpus for every fuzz target into OUT/<target>/, from the
string literals of the tests that exercise the same reader, so that the
fuzzers start from real files rather than from nothing.

usage: seed-corpora.py OUT"""
import hashlib
import pathlib
import random
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

# target: (test files whose literals are seeds, bytes put before each seed)
SOURCES = {
    "fuzz_status_file": (["tests/monitor/StatusFileTest.cpp", "tests/monitor/BadInputTest.cpp"], b"\x05"),
    "fuzz_factor_file": (["tests/monitor/FactorFileTest.cpp", "tests/monitor/BadInputTest.cpp"],
                         b"\x01" + bytes(16)),
    "fuzz_queue_file": (["tests/ranges/QueueFileTest.cpp"], b""),
    "fuzz_settings_file": (["tests/model/SettingsFileTest.cpp", "tests/model/IniDocumentTest.cpp",
                            "tests/cli/CliStatusTest.cpp"], b""),
    "fuzz_password": (["tests/model/PasswordTest.cpp"], b""),
    "fuzz_site_pages": (["tests/submit/SitePagesTest.cpp", "tests/submit/SubmissionTest.cpp"], b""),
    "fuzz_form_encode": (["tests/submit/FormEncodeTest.cpp"], b""),
    "fuzz_terminal_text": (["tests/cli/TerminalTextTest.cpp", "tests/cli/CliStatusTest.cpp"], b""),
    "fuzz_equalize": ([], b""),
    "fuzz_billions": (["tests/model/BillionsTest.cpp"], b""),
}

# A literal, raw or not, and the literals written right after it.
LITERAL = re.compile(r'R"(?P<delim>[^(\s]*)\((?P<raw>.*?)\)(?P=delim)"|"(?P<text>(?:[^"\\\n]|\\.)*)"',
                     re.S)
ESCAPE = re.compile(rb'\\(x[0-9a-fA-F]+|[0-7]{1,3}|.)', re.S)
SIMPLE = {b"n": b"\n", b"r": b"\r", b"t": b"\t", b"0": b"\0", b"a": b"\a", b"b": b"\b",
          b"f": b"\f", b"v": b"\v", b"e": b"\x1b"}


def unescape(text):
    def one(match):
        code = match.group(1)
        if code[:1] == b"x":
            return bytes([int(code[1:], 16) & 0xFF])
        if code[:1].isdigit() and code != b"0":
            return bytes([int(code, 8) & 0xFF])
        return SIMPLE.get(code, code)
    return ESCAPE.sub(one, text.encode("utf-8", "surrogateescape"))


def literals(source):
    """Each run of adjacent literals in a C++ source, joined and decoded."""
    text = source.read_text(encoding="utf-8", errors="surrogateescape")
    seeds, run, end = [], b"", None
    for match in LITERAL.finditer(text):
        if end is not None and text[end:match.start()].strip() != "":
            seeds.append(run)
            run = b""
        piece = match.group("raw")
        run += piece.encode("utf-8", "surrogateescape") if piece is not None else unescape(
            match.group("text"))
        end = match.end()
    if end is not None:
        seeds.append(run)
    return [seed for seed in seeds if seed]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = pathlib.Path(sys.argv[1])
    random.seed(20261210)
    for target, (sources, prefix) in SOURCES.items():
        folder = out / target
        folder.mkdir(parents=True, exist_ok=True)
        seeds = [prefix + seed for source in sources for seed in literals(ROOT / source)]
        seeds += [bytes(random.randrange(256) for _ in range(n)) for n in (16, 64, 256)]
        for seed in seeds:
            (folder / hashlib.sha1(seed).hexdigest()).write_bytes(seed)
        print(f"{target}: {len(seeds)} seeds")


if __name__ == "__main__":
    main()
