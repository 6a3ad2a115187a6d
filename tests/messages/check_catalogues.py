#!/usr/bin/env python3
"""Checks the message catalogues against the code: every text the code hands
to message() or marks translatable() has an entry in po/en.po and po/ja.po;
no Japanese text of the dialogue is written without going through them; the
English entries hold no Japanese character; the Japanese entries of the
dialogue's own texts are those texts unchanged; and each entry keeps the
values ({1}, {2}, ...) and the menu letters ("(s)") of its text; and the
README's table of the dialogue holds every Japanese text with its English.

Usage: check_catalogues.py SOURCE_DIR   (exit 1 with one line per fault)"""
import re
import subprocess
import sys
from pathlib import Path

JAPANESE = re.compile(r"[\u3040-\u30ff\u3400-\u9fff\uff00-\uffef]")
VALUE = re.compile(r"\{[1-9]\}")
LETTER = re.compile(r"\([a-z]\)")


def po_entries(text):
    """The msgid/msgstr pairs of a .po text, header left out."""
    entries, key, current = {}, None, {}
    for line in text.splitlines() + [""]:
        if line.startswith("msgid ") or line.startswith("msgstr ") or not line.strip():
            if key is not None and "msgstr" in current:
                entries[current["msgid"]] = current["msgstr"]
            if not line.strip():
                key, current = None, {}
                continue
            key, rest = line.split(" ", 1)
            current[key] = unquote(rest)
        elif line.startswith('"') and key is not None:
            current[key] += unquote(line)
    entries.pop("", None)
    return entries


def unquote(quoted):
    body = quoted.strip()[1:-1]
    return re.sub(r'\\(.)', lambda m: {"n": "\n", "t": "\t"}.get(m.group(1), m.group(1)), body)


def code_texts(source):
    files = [str(p) for p in sorted((source / "src").rglob("*.[ch]pp"))
             if "desktop" not in p.parts]
    pot = subprocess.run(["xgettext", "--from-code=UTF-8", "-k", "-kmessage", "-ktranslatable",
                          "-o", "-"] + files, capture_output=True, check=True).stdout
    return po_entries(pot.decode("utf-8")).keys()


def unmarked_japanese(source, marked):
    """Japanese string literals of the code that no catalogue entry stands for."""
    faults = []
    for path in sorted((source / "src").rglob("*.[ch]pp")):
        if "desktop" in path.parts:
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            if line.strip().startswith("//"):
                continue
            for literal in re.findall(r'"((?:[^"\\]|\\.)*)"', line):
                text = unquote('"' + literal + '"')
                if JAPANESE.search(text) and text not in marked:
                    faults.append(f"{path.relative_to(source)}:{number}: \"{text}\" is not in the catalogue")
    return faults


def main():
    source = Path(sys.argv[1])
    english = po_entries((source / "po" / "en.po").read_text(encoding="utf-8"))
    japanese = po_entries((source / "po" / "ja.po").read_text(encoding="utf-8"))
    texts = list(code_texts(source))
    faults = unmarked_japanese(source, texts)
    for text in texts:
        for name, catalogue in (("en.po", english), ("ja.po", japanese)):
            if not catalogue.get(text):
                faults.append(f"{name} has no entry for \"{text}\"")
                continue
            entry = catalogue[text]
            if sorted(VALUE.findall(entry)) != sorted(VALUE.findall(text)):
                faults.append(f"{name}: \"{entry}\" does not keep the values of \"{text}\"")
            if sorted(LETTER.findall(entry)) != sorted(LETTER.findall(text)):
                faults.append(f"{name}: \"{entry}\" does not keep the letters of \"{text}\"")
        if JAPANESE.search(english.get(text, "")):
            faults.append(f"en.po: the English of \"{text}\" holds Japanese")
        if JAPANESE.search(text) and japanese.get(text) not in (None, text):
            faults.append(f"ja.po: the dialogue's own \"{text}\" is changed")
    readme = (source / "README.md").read_text(encoding="utf-8")
    for text, entry in english.items():
        if JAPANESE.search(text) and f"| `{text}` | `{entry}` |" not in readme:
            faults.append(f"README.md: the table of the dialogue lacks \"{text}\"")
    for fault in faults:
        print(fault)
    print(f"catalogues: {len(texts)} texts, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
