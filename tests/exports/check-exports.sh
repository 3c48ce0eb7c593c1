#!/usr/bin/env bash
# check-exports.sh LIBDIR NAME: lib<NAME>.so defines exactly the dynamic
# symbols that exports.txt lists for it (GNU unique symbols count as exports
# too), needs no library but libc.so.6 (a library that calls nothing from libc
# needs none at all), and no glibc symbol version newer than the oldest glibc
# it must load on for its architecture. readelf reads any architecture's ELF
# files, so cross builds are checked the same way.
#
# A Windows build's <NAME>.dll is read through its PE export and import
# tables (x86_64-w64-mingw32-objdump -p, or OBJDUMP): exactly the listed
# exports, and imports from KERNEL32.dll and the C runtime msvcrt.dll alone.
# A macOS build's lib<NAME>.dylib through nm -gU and otool -L: exactly the
# listed exports, and no library but libSystem.
set -u
dir=$1 name=$2
list=$(dirname "$0")/exports.txt
expect=$(awk -v n="$name" '$1 == n { for (i = 2; i <= NF; i++) print $i }' "$list" | sort)
[[ -n $expect ]] || { echo "no entry for $name in $list"; exit 1; }

# report FILE WHAT HAVE DEPS ALLOWED: the verdict on the exports HAVE and the
# dependencies DEPS (one a line), each of which must match the pattern ALLOWED.
report() {
  local file=$1 what=$2 have=$3 deps=$4 allowed=$5 status=0 dep
  if [[ $have != "$expect" ]]; then
    echo "$file exports differ (< expected, > found):"
    diff <(echo "$expect") <(echo "$have")
    status=1
  fi
  while read -r dep; do
    [[ -z $dep || ${dep,,} =~ $allowed ]] && continue
    echo "$file depends on $dep (allowed: $allowed)"
    status=1
  done <<<"$deps"
  ((status == 0)) && echo "$file ($what): exports ok, depends on ${deps//$'\n'/ }"
  return $status
}

if [[ -f $dir/$name.dll ]]; then
  dll=$dir/$name.dll
  objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
  headers=$($objdump -p "$dll") || { echo "$name.dll: $objdump cannot read it"; exit 1; }
  format=$($objdump -f "$dll" | sed -n 's/.*file format //p')
  [[ $format == pei-x86-64 ]] || { echo "$name.dll is $format, not pei-x86-64"; exit 1; }
  # The names follow the "[Ordinal/Name Pointer] Table" line up to a blank one.
  have=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && !NF { on = 0 }
    on { print $NF }' <<<"$headers" | sort)
  imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | sort)
  report "$name.dll" "$format" "$have" "$imports" '^(kernel32|msvcrt)\.dll$'
  exit
fi
if [[ -f $dir/lib$name.dylib ]]; then
  dylib=$dir/lib$name.dylib
  # Defined external symbols; C names carry a leading underscore.
  have=$(nm -gU "$dylib" | awk 'NF >= 3 { print $3 }' | sed 's/^_//' | sort)
  # otool -L names the library itself first (its install name), then its dependencies.
  deps=$(otool -L "$dylib" | awk 'NR > 1 { print $1 }' | grep -vF "lib$name.dylib")
  report "lib$name.dylib" "$(lipo -archs "$dylib" 2>/dev/null || echo Mach-O)" "$have" "$deps" '^/usr/lib/libsystem\.b\.dylib$'
  exit
fi

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
