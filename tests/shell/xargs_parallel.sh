#!/bin/sh
# The README's recipe for converting a large archive on all cores: one
# single-file conversion per record, run in parallel by xargs. Every record
# must come out exactly as a conversion of its own would give it.
#
# usage: xargs_parallel.sh QVCONV EXAMPLES-DIR WORKDIR
set -eu
qvconv=$1 examples=$2 work=$3
rm -rf "$work"
mkdir -p "$work/archive/site a" "$work/archive/site-b/2026" "$work/bin"
ln -s "$qvconv" "$work/bin/qvconv"
PATH="$work/bin:$PATH"
for i in 1 2 3 4 5 6; do
  cp "$examples/event.xqv" "$work/archive/site a/rec $i.xqv"
  cp "$examples/event.xqv" "$work/archive/site-b/2026/rec$i.XQV"
done
cd "$work"

# The command as the README shows it (with -iname to take XQV as well).
find archive -iname '*.xqv' -print0 |
  xargs -0 -P "$(nproc)" -I{} sh -c 'qvconv "$1" "${1%.*}.txt"' _ {} > parallel.log

qvconv "$examples/event.xqv" expected.txt > /dev/null
n=0
for f in archive/*/*.txt archive/*/*/*.txt; do
  cmp -s "$f" expected.txt || { echo "differs: $f"; exit 1; }
  n=$((n + 1))
done
[ "$n" -eq 12 ] || { echo "expected 12 outputs, found $n"; exit 1; }
echo "12 records converted in parallel, each identical to a single conversion"
