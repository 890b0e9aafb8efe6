#!/usr/bin/env python3
"""Every non-ASCII character in the string literals of the interface sources must have an
installed font, or GTK draws it as a box ("⏸  STAND BY" on a machine with only DejaVu).
Usage: label_glyphs.py SRC_UI_DIR. Asks fontconfig through fc-list."""
import pathlib
import re
import subprocess
import sys

# Comments are matched only to be skipped, so that text in them is not taken for a label.
TOKEN = re.compile(r'//[^\n]*|/\*.*?\*/|R"([^(\s]*)\((.*?)\)\1"|"((?:\\.|[^"\\\n])*)"|\'(?:\\.|[^\'\\\n])*\'',
                   re.S)


def label_chars(folder):
    chars = {}
    for path in sorted(pathlib.Path(folder).rglob('*.[ch]pp')):
        for m in TOKEN.finditer(path.read_text(encoding='utf-8')):
            literal = m.group(2) if m.group(2) is not None else m.group(3)
            for c in literal or '':
                if ord(c) > 0x7F:
                    chars.setdefault(c, path.name)
    return chars


def main():
    chars = label_chars(sys.argv[1])
    # The pause sign is the one that went missing first; not finding it means the scan broke.
    if '\u23F8' not in chars:
        print('label_glyphs: no "⏸" found in the label literals; the scan is broken')
        return 1
    missing = []
    for c, where in sorted(chars.items()):
        fonts = subprocess.run(['fc-list', f':charset={ord(c):x}', 'family'], check=True,
                               capture_output=True, text=True).stdout.strip()
        if not fonts:
            missing.append(f'U+{ord(c):04X} {c} ({where})')
    for m in missing:
        print('no font for', m)
    print(f'label_glyphs: {len(chars)} characters checked, {len(missing)} without a font')
    return 1 if missing else 0


if __name__ == '__main__':
    sys.exit(main())
