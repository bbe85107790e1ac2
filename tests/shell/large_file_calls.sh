#!/bin/sh
# A 32-bit program must make its file calls through their 64-bit variants
# (fopen64, fstat64, readdir64, ...): the plain ones fail with EOVERFLOW on a
# file whose size or inode number does not fit 32 bits, as on large XFS
# volumes. Fails when the program imports a C library function that has a
# twin of the same name with "64" in that library.
#
# usage: large_file_calls.sh NM PROGRAM LIBC
set -eu
nm=$1 prog=$2 libc=$3

symbols() { # kind file: one "kind name" line per dynamic symbol, version cut
  "$nm" -D "--$1-only" "$2" | awk -v k="$1" '{ sub(/@.*/, "", $NF); print k, $NF }'
}
report=$({ symbols defined "$libc"; symbols undefined "$prog"; } | awk '
  $1 == "defined" { lib[$2] = 1 }
  $1 == "undefined" { used[$2] = 1 }
  END {
    for (s in used) if ((s "64") in lib) { print "32-bit file call:", s; bad = 1 }
    for (s in used) if (s ~ /64$/ && s in lib) n++
    if (!bad) print n + 0, "calls through a 64-bit variant"
  }')
echo "$report"
case $report in
  "32-bit file call"*) exit 1 ;;
  "0 calls"*) echo "no 64-bit file call found: is $libc the program's C library?"; exit 1 ;;
esac
