#!/usr/bin/env python3
"""doc_links.py SOURCE_DIR: the links between README.md and the guides in
docs/ resolve.

Every markdown link or picture to a local file (a relative path, optionally
with #anchor, or a bare #anchor in the same file) must name a file that
exists and, for an anchor into a markdown file, a heading whose GitHub-style
anchor equals it. Every guide (docs/*.md) must open with a contents list: a
list of #anchor links before its first "## " heading that names each of its
"## " sections. Prints each fault as FILE:LINE: what, and exits 1 when there
is one, else 0. Links inside code (fenced blocks, `spans`) are text, not
links."""
import os
import re
import sys
from urllib.parse import unquote

LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\[\]]*\])*\]\(\s*(<[^>]*>|[^()\s]*(?:\([^()\s]*\)[^()\s]*)*)(?:\s+[\"'(][^)]*)?\)")
HEADING = re.compile(r"^ {0,3}(#{1,6})\s+(.*?)(?:\s+#+)?\s*$")
FENCE = re.compile(r"^\s*(```|~~~)")
CODE_SPAN = re.compile(r"(`+)(?:(?!\1).)+?\1")
LIST_ITEM = re.compile(r"^\s*(?:[-*+]|\d+[.)])\s+")
DEFINITION = re.compile(r"^ {0,3}\[[^\]]+\]:\s*(<[^>]*>|\S+)")
EXTERNAL = re.compile(r"^[a-zA-Z][a-zA-Z0-9+.-]*:")


def prose_lines(text):
    """(line number, line) of the lines outside fenced code, code spans blanked."""
    fence = None
    for number, line in enumerate(text.split("\n"), 1):
        opening = FENCE.match(line)
        if fence:
            if opening and opening.group(1) == fence:
                fence = None
            continue
        if opening:
            fence = opening.group(1)
            continue
        yield number, CODE_SPAN.sub(lambda m: " " * len(m.group(0)), line)


def heading_text(raw):
    """A heading's text as GitHub reads it: links and pictures by their text,
    code spans by their content."""
    raw = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", raw)
    return raw.replace("`", "")


def anchor_of(text):
    """GitHub's anchor: lower case, punctuation other than - and _ dropped
    (letters of any alphabet kept), each space a -."""
    text = text.strip().lower()
    text = "".join(c for c in text if c.isalnum() or c in "-_ ")
    return text.replace(" ", "-")


class Document:
    def __init__(self, path):
        with open(path, encoding="utf-8") as f:
            self.text = f.read()
        self.anchors = set()
        self.sections = []  # (line, anchor) of each "## " heading
        seen = {}
        fence = None
        for number, line in enumerate(self.text.split("\n"), 1):
            opening = FENCE.match(line)
            if fence:
                if opening and opening.group(1) == fence:
                    fence = None
                continue
            if opening:
                fence = opening.group(1)
                continue
            match = HEADING.match(line)
            if not match:
                continue
            base = anchor_of(heading_text(match.group(2)))
            anchor = base if base not in seen else f"{base}-{seen[base]}"
            seen[base] = seen.get(base, 0) + 1
            self.anchors.add(anchor)
            if len(match.group(1)) == 2:
                self.sections.append((number, anchor))

    def links(self):
        for number, line in prose_lines(self.text):
            for match in [*LINK.finditer(line), *DEFINITION.finditer(line)]:
                target = match.group(1)
                if target.startswith("<") and target.endswith(">"):
                    target = target[1:-1]
                yield number, target


def check(root):
    faults = []
    names = ["README.md"]
    docs = os.path.join(root, "docs")
    guides = sorted(n for n in os.listdir(docs) if n.endswith(".md")) if os.path.isdir(docs) else []
    names += [os.path.join("docs", n) for n in guides]
    cache = {}

    def document(path):
        if path not in cache:
            cache[path] = Document(path)
        return cache[path]

    for name in names:
        path = os.path.join(root, name)
        if not os.path.isfile(path):
            faults.append(f"{name}: missing")
            continue
        doc = document(path)
        for number, target in doc.links():
            if not target or EXTERNAL.match(target) or target.startswith("//"):
                continue
            file_part, _, anchor = target.partition("#")
            file_part, anchor = unquote(file_part), unquote(anchor)
            if file_part.startswith("/"):
                faults.append(f"{name}:{number}: {target}: an absolute path does not resolve on GitHub or in a copy")
                continue
            where = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) if file_part else path
            if not os.path.exists(where):
                faults.append(f"{name}:{number}: {target}: no file {os.path.relpath(where, root)}")
                continue
            if anchor and where.endswith(".md") and os.path.isfile(where):
                if anchor not in document(where).anchors:
                    faults.append(f"{name}:{number}: {target}: no heading with the anchor #{anchor} "
                                  f"in {os.path.relpath(where, root)}")
        if name.startswith("docs"):
            faults += contents_faults(name, doc)
    return faults


def contents_faults(name, doc):
    """A guide opens with a list of #anchor links that names every "## " section."""
    first = doc.sections[0][0] if doc.sections else len(doc.text.split("\n")) + 1
    listed = set()
    for number, line in prose_lines(doc.text):
        if number >= first:
            break
        if LIST_ITEM.match(line):
            listed.update(t[1:] for t in (m.group(1) for m in LINK.finditer(line)) if t.startswith("#"))
    if not listed:
        return [f"{name}:1: no contents list (a list of #anchor links) before the first '## ' heading"]
    return [f"{name}:{number}: section #{anchor} is missing from the contents list at the top"
            for number, anchor in doc.sections if anchor not in listed]


def main(argv):
    if len(argv) != 2:
        print("usage: doc_links.py SOURCE_DIR", file=sys.stderr)
        return 64
    faults = check(argv[1])
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
