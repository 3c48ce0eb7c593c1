#!/usr/bin/env bash
# check-exports.sh LIBDIR NAME: lib<NAME>.so defines exactly the dynamic
# symbols that exports.txt lists for it (GNU unique symbols count as exports
# too), needs no library but libc.so.6 (a library that calls nothing from libc
# needs none at all), and no glibc symbol version newer than the oldest glibc
# it must load on for its architecture. readelf reads any architecture's ELF
# files, so cross builds are checked the same way.
set -u
dir=$1 name=$2
list=$(dirname "$0")/exports.txt
so=$dir/lib$name.so
[[ -f $so ]] || { echo "missing: $so"; exit 1; }

# The oldest glibc to load on: the oldest a supported JDK runs on (2.17),
# or the port's first glibc where that came later (riscv64: 2.27).
machine=$(readelf -h "$so" | sed -n 's/^ *Machine: *//p')
case $machine in
  *X86-64 | AArch64 | PowerPC64 | "IBM S/390") max_glibc=2.17 ;;
  RISC-V) max_glibc=2.27 ;;
  *) echo "lib$name.so: no oldest glibc known for machine '$machine'"; exit 1 ;;
esac

expect=$(awk -v n="$name" '$1 == n { for (i = 2; i <= NF; i++) print $i }' "$list" | sort)
[[ -n $expect ]] || { echo "no entry for $name in $list"; exit 1; }
# Columns: Num Value Size Type Bind Vis Ndx Name; the annotations that some
# targets add after Vis (ppc64's "[<localentry>: 8]") are taken out first.
have=$(readelf --dyn-syms -W "$so" | sed -E 's/ \[[^]]*\]//g' |
  awk '$5 ~ /^(GLOBAL|WEAK|UNIQUE)$/ && $6 ~ /^(DEFAULT|PROTECTED)$/ && $7 != "UND" && NF >= 8 {print $8}' |
  sed 's/@.*//' | grep -vxE '_init|_fini|_edata|_end|__bss_start' | sort)
needed=$(readelf -d "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort)
glibc=$(readelf -V -W "$so" | grep -o 'Name: GLIBC_[0-9.]*' | sed 's/.*GLIBC_//' | sort -V | tail -n 1)

status=0
if [[ $have != "$expect" ]]; then
  echo "lib$name.so exports differ (< expected, > found):"
  diff <(echo "$expect") <(echo "$have")
  status=1
fi
if [[ -n $needed && $needed != libc.so.6 ]]; then
  echo "lib$name.so needs: ${needed//$'\n'/ } (only libc.so.6 is allowed)"
  status=1
fi
if [[ -n $glibc && $(printf '%s\n' "$glibc" "$max_glibc" | sort -V | tail -n 1) != "$max_glibc" ]]; then
  echo "lib$name.so needs GLIBC_$glibc (at most GLIBC_$max_glibc is allowed)"
  status=1
fi
((status == 0)) && echo "lib$name.so ($machine): exports and NEEDED ok, highest glibc version" \
  "${glibc:+GLIBC_}${glibc:-none} (at most GLIBC_$max_glibc)"
exit $status
