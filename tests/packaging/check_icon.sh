#!/bin/sh
# Checks that the icon is well-formed SVG that stands on its own: the root is
# an <svg> element in the SVG namespace with a viewBox, and nothing in it
# refers to another file or to the network (icon themes copy the file alone).
# Usage: check_icon.sh SVG_FILE
set -u
skip=77

command -v python3 >/dev/null 2>&1 || { echo "python3 is not installed"; exit $skip; }

python3 - "$1" <<'PY'
import sys
import xml.etree.ElementTree as ElementTree

SVG = "{http://www.w3.org/2000/svg}"
XLINK_HREF = "{http://www.w3.org/1999/xlink}href"

root = ElementTree.parse(sys.argv[1]).getroot()
problems = []
if root.tag != SVG + "svg":
    problems.append(f"root element is {root.tag}, not an SVG <svg>")
if "viewBox" not in root.attrib:
    problems.append("the <svg> element has no viewBox, so it does not scale")
for element in root.iter():
    for name in ("href", XLINK_HREF):
        target = element.get(name)
        if target is not None and not target.startswith("#"):
            problems.append(f"{element.tag} refers to {target}")
    for name, value in element.attrib.items():
        if "url(" in value and "url(#" not in value:
            problems.append(f"{element.tag} {name} refers to {value}")
for problem in problems:
    print("FAIL:", problem)
sys.exit(1 if problems else 0)
PY
