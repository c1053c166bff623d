#!/usr/bin/env python3
"""Checks that HTML files are well-formed: every element closed in order, void elements aside; no
stray "&"; element ids present, free of white space and unique; every "#" link leading to an id.

Usage: check_html.py [--text T]... FILE...   Each --text must appear in the text of every file (as
a reader sees it, entities resolved). Prints one line per problem; exit code 1 when there is any.
"""
import re
import sys
from html.parser import HTMLParser

# A character reference as HTML5 spells it; any other "&" should have been written as "&amp;".
REFERENCE = re.compile(r"&(#[0-9]+;|#[xX][0-9a-fA-F]+;|[A-Za-z][A-Za-z0-9]*;)")

VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "track", "wbr"}


class Checker(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack = []
        self.problems = []
        self.ids = set()
        self.links = []
        self.text = []

    def handle_starttag(self, tag, attrs):
        self.attributes(attrs)
        if tag not in VOID:
            self.stack.append((tag, self.getpos()))

    def handle_startendtag(self, tag, attrs):
        self.attributes(attrs)

    def attributes(self, attrs):
        line = self.getpos()[0]
        for name, value in attrs:
            if name == "id":
                if not value or re.search(r"\s", value):
                    self.problems.append(f"line {line}: id {value!r} is empty or holds white space")
                elif value in self.ids:
                    self.problems.append(f"line {line}: id {value!r} appears twice")
                self.ids.add(value)
            elif name == "href" and value and value.startswith("#"):
                self.links.append((line, value[1:]))

    def handle_data(self, data):
        self.text.append(data)

    def handle_endtag(self, tag):
        if tag in VOID:
            return
        if not self.stack or self.stack[-1][0] != tag:
            expected = self.stack[-1][0] if self.stack else "nothing"
            self.problems.append(f"line {self.getpos()[0]}: </{tag}> closes {expected}")
            return
        self.stack.pop()


def main(args):
    texts = []
    files = []
    while args:
        if args[0] == "--text" and len(args) > 1:
            texts.append(args[1])
            args = args[2:]
        else:
            files.append(args[0])
            args = args[1:]
    failed = False
    for name in files:
        with open(name, encoding="utf-8") as f:
            text = f.read()
        checker = Checker()
        checker.feed(text)
        checker.close()
        problems = checker.problems + [f"line {pos[0]}: <{tag}> never closed" for tag, pos in checker.stack]
        if not text.lstrip().lower().startswith("<!doctype html"):
            problems.append("no <!DOCTYPE html>")
        for number, line in enumerate(text.splitlines(), start=1):
            for i in [m.start() for m in re.finditer("&", line)]:
                if not REFERENCE.match(line, i):
                    problems.append(f"line {number}: a bare & (column {i + 1})")
        problems += [f"line {line}: the link #{target} leads to no id" for line, target in checker.links
                     if target not in checker.ids]
        shown = "".join(checker.text)
        problems += [f"the text {t!r} is not shown" for t in texts if t not in shown]
        for p in problems:
            print(f"{name}: {p}")
        failed |= bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
