#!/usr/bin/env bash
# release-files.sh SOURCE_DIR PREFIX VERSION NAME...: writes, beside the
# installed PREFIX/lib, the release archive's MANIFEST.tsv (one line per
# library, in the order given: file, dynamic exports, NEEDED entries (a DLL's
# imported DLLs), highest glibc symbol version, SHA-256; "-" for none) and LIBRARIES.md (the README's
# section on the libraries). Run by `cmake --install` of a release build.
set -euo pipefail
export LC_ALL=C
src=$1 prefix=$2 version=$3
shift 3

manifest=$prefix/MANIFEST.tsv
{
  printf 'library\texports\tneeded\tglibc\tsha256\n'
  for name in "$@"; do
    # A Windows DLL: its exports and imported DLLs from the PE tables.
    dll=$prefix/lib/$name.dll
    if [[ -f $dll ]]; then
      headers=$(x86_64-w64-mingw32-objdump -p "$dll")
      exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && !NF { on = 0 } on { print $NF }' \
        <<<"$headers" | sort | paste -sd' ')
      imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | sort | paste -sd' ')
      printf '%s.dll\t%s\t%s\t-\t%s\n' "$name" "${exports:--}" "${imports:--}" "$(sha256sum "$dll" | cut -d' ' -f1)"
      continue
    fi
    so=$prefix/lib/lib$name.so
    [[ -f $so ]] || { echo "release-files.sh: $so is missing" >&2; exit 1; }
    # As the export check reads them: defined global symbols, without the
    # linker's own and the annotations some targets add (ppc64's localentry).
    exports=$(readelf --dyn-syms -W "$so" | sed -E 's/ \[[^]]*\]//g' |
      awk '$5 ~ /^(GLOBAL|WEAK|UNIQUE)$/ && $6 ~ /^(DEFAULT|PROTECTED)$/ && $7 != "UND" && NF >= 8 {print $8}' |
      sed 's/@.*//' | awk '!/^(_init|_fini|_edata|_end|__bss_start)$/' | sort | paste -sd' ')
    needed=$(readelf -d "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | paste -sd' ')
    glibc=$(readelf -V -W "$so" | sed -n 's/.*Name: \(GLIBC_[0-9.]*\).*/\1/p' | sort -uV | tail -n 1)
    sum=$(sha256sum "$so" | cut -d' ' -f1)
    printf 'lib%s.so\t%s\t%s\t%s\t%s\n' "$name" "${exports:--}" "${needed:--}" "${glibc:--}" "$sum"
  done
} >"$manifest.tmp"
mv "$manifest.tmp" "$manifest"

# The section runs from its heading to the next one of its level.
section=$(awk '/^## / { inside = ($0 == "## The libraries"); next } inside' "$src/README.md")
grep -q '^| `' <<<"$section" || { echo "release-files.sh: no library table under '## The libraries' in $src/README.md" >&2; exit 1; }
printf '# zol-natives %s: the libraries\n%s\n' "$version" "$section" >"$prefix/LIBRARIES.md"
