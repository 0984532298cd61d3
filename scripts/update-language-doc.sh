#!/bin/sh
# Writes the output of `talvero-batch --classes` into docs/language.md between its markers.
# Usage: scripts/update-language-doc.sh [PATH-TO-talvero-batch]  (default build/tools/talvero-batch)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
batch=${1:-"$root/build/tools/talvero-batch"}
reference=$(mktemp)
trap 'rm -f "$reference"' EXIT
"$batch" --classes > "$reference"
/usr/bin/python3 - "$root/docs/language.md" "$reference" <<'PY'
import sys
doc_path, ref_path = sys.argv[1], sys.argv[2]
doc = open(doc_path, encoding="utf-8").read()
begin, end = "<!-- classes:begin -->\n", "<!-- classes:end -->"
head, rest = doc.split(begin, 1)
_, tail = rest.split(end, 1)
ref = open(ref_path, encoding="utf-8").read()
open(doc_path, "w", encoding="utf-8").write(head + begin + ref + end + tail)
PY
