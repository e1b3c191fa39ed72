"""Prints the extension table of a mime.types file as JSON: lower-case extension to its first type."""
import json
import sys

table = {}
with open(sys.argv[1], encoding="utf-8", errors="surrogateescape") as source:
    for line in source:
        words = line.split("#", 1)[0].split()
        if len(words) < 2 or "/" not in words[0]:
            continue
        for extension in words[1:]:
            table.setdefault(extension.lower(), words[0])
json.dump(table, sys.stdout)
