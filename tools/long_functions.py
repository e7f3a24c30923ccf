#!/usr/bin/env python3
"""Lists the functions in src/ whose body is longer than a limit (60 lines
unless given), counted from the line after the opening brace to the line
before the closing one; lambdas count as part of the function around them.
Exits 1 when there is one.

    python3 tools/long_functions.py [LIMIT]
"""
import pathlib
import re
import sys

limit = int(sys.argv[1]) if len(sys.argv) > 1 else 60
src = pathlib.Path(__file__).resolve().parent.parent / "src"
# What comes right before a function body's brace: the parameter list, its
# qualifiers, a trailing return type, or the end of an initializer list.
opener = re.compile(r"(\)|\bconst|\boverride|\bnoexcept|\bfinal|->\s*[\w:<>*&\s]+)\s*$")
control = re.compile(r"\s*(if|for|while|switch|catch|namespace|class|struct|enum)\b")
found = 0
for path in sorted(src.rglob("*.cpp")) + sorted(src.rglob("*.h")):
    lines = path.read_text().split("\n")
    stack = []
    inside = 0
    previous = ""
    for number, line in enumerate(lines):
        code = re.sub(r"//.*", "", line)
        code = re.sub(r'"(\\.|[^"\\])*"', '""', code)
        code = re.sub(r"'(\\.|[^'\\])*'", "''", code)
        for column, char in enumerate(code):
            if char == "{":
                before = code[:column].strip() or previous
                function = inside == 0 and bool(opener.search(before)) and not control.match(before)
                stack.append((number, function))
                inside += function
            elif char == "}" and stack:
                start, function = stack.pop()
                inside -= function
                if function and number - start - 1 > limit:
                    found += 1
                    print(f"{path.relative_to(src.parent)}:{start + 1}: {number - start - 1} lines")
        if code.strip():
            previous = code.strip()
sys.exit(1 if found else 0)
