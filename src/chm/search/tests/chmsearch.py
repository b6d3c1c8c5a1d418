#!/usr/bin/python3
"""Answers full-text queries on a compiled help file with python3-chm (CHMLib's search).

Usage: chmsearch.py FILE.CHM < QUERIES
Each input line is a query in hex (its bytes in the help file's code page), after "t " for
a search of titles only; each output line lists the URLs of the pages CHMFile.Search finds
for it (partial words, the default), hex, separated by spaces. A file that cannot be
opened or searched exits with 2.
"""
import sys

from chm import chm  # Debian's python3-chm


def main():
    help_file = chm.CHMFile()
    if not help_file.LoadCHM(sys.argv[1]) or not help_file.IsSearchable():
        print("cannot open or search " + sys.argv[1], file=sys.stderr)
        return 2
    for line in sys.stdin:
        titles_only = line.startswith("t ")
        query = bytes.fromhex(line[2:] if titles_only else line)
        found = help_file.Search(query, 0, 1 if titles_only else 0)
        urls = found[1].values() if found and found[1] else []
        print(" ".join(url.hex() for url in urls), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
