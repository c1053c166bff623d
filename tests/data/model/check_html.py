#!/usr/bin/env python3
"""Checks that HTML files are well-formed: every element closed in order, void elements aside.

Usage: check_html.py FILE...   Prints one line per problem; exit code 1 when there is any.
"""
import sys
from html.parser import HTMLParser

VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "track", "wbr"}


class Checker(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack = []
        self.problems = []

    def handle_starttag(self, tag, attrs):
        if tag not in VOID:
            self.stack.append((tag, self.getpos()))

    def handle_startendtag(self, tag, attrs):
        pass

    def handle_endtag(self, tag):
        if tag in VOID:
            return
        if not self.stack or self.stack[-1][0] != tag:
            expected = self.stack[-1][0] if self.stack else "nothing"
            self.problems.append(f"line {self.getpos()[0]}: </{tag}> closes {expected}")
            return
        self.stack.pop()


def main(files):
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
        for p in problems:
            print(f"{name}: {p}")
        failed |= bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
