#!/usr/bin/env bash
# check-exports.sh LIBDIR NAME: lib<NAME>.so defines exactly the dynamic
# symbols that exports.txt lists for it, and needs no library but libc.so.6
# (a library that calls nothing from libc needs none at all).
set -u
dir=$1 name=$2
list=$(dirname "$0")/exports.txt
so=$dir/lib$name.so
[[ -f $so ]] || { echo "missing: $so"; exit 1; }

expect=$(awk -v n="$name" '$1 == n { for (i = 2; i <= NF; i++) print $i }' "$list" | sort)
[[ -n $expect ]] || { echo "no entry for $name in $list"; exit 1; }
have=$(nm -D --defined-only "$so" | awk '$2 ~ /^[TtWwDdBbVvRri]$/ {print $3}' |
  grep -vxE '_init|_fini|_edata|_end|__bss_start' | sort)
needed=$(readelf -d "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort)

status=0
if [[ $have != "$expect" ]]; then
  echo "lib$name.so exports differ (< expected, > found):"
  diff <(echo "$expect") <(echo "$have")
  status=1
fi
if [[ -n $needed && $needed != libc.so.6 ]]; then
  echo "lib$name.so needs:" $needed "(only libc.so.6 is allowed)"
  status=1
fi
((status == 0)) && echo "lib$name.so: exports and NEEDED ok"
exit $status
