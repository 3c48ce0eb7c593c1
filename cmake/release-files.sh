#!/usr/bin/env bash
# release-files.sh SOURCE_DIR PREFIX VERSION NAME...: writes, beside the
# installed PREFIX/lib, the release archive's MANIFEST.tsv (one line per
# library, in the order given: file, dynamic exports, NEEDED entries (a DLL's
# imported DLLs), highest glibc symbol version, SHA-256; "-" for none),
# LIBRARIES.md (the README's section on the libraries) and BUILDINFO (what
# built them: the compiler, the linker, where the JNI headers came from, and
# the Debian package and version of each of those and of the C library they
# link against). Run by `cmake --install` of a release build, with ZOL_CXX
# (the compiler), ZOL_LINKER and ZOL_JNI_HEADERS (the headers' directory) in
# the environment.
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

# Nothing of the building machine but the toolchain's packages: no path
# outside them, no time, no JDK home.
package_of() { # the package that installed file $1, as "name version architecture"
  local file package
  file=$(realpath "$1")
  package=$(dpkg-query -S "$file" 2>/dev/null | head -n 1 | cut -d: -f1) ||
    package=$(dpkg-query -S "${file#/usr}" 2>/dev/null | head -n 1 | cut -d: -f1) || true
  [[ -n $package ]] || { echo "release-files.sh: no Debian package owns $file" >&2; exit 1; }
  dpkg-query -W -f='${Package} ${Version} ${Architecture}\n' "$package" | head -n 1
}
cxx=${ZOL_CXX:?} linker=${ZOL_LINKER:?} headers=${ZOL_JNI_HEADERS:?}
{
  echo "zol-natives $version"
  echo "compiler: $("$cxx" --version | head -n 1)"
  echo "binutils: $("$linker" --version | head -n 1)"
  # A Windows build takes jni_md.h from the source tree and links msvcrt.dll.
  if [[ $("$cxx" -dumpmachine) == *mingw* ]]; then
    jni_md="cmake/windows/jni_md.h of this source" runtime=(crt2.o libmsvcrt.a)
  else
    jni_md=linux/jni_md.h runtime=(crti.o libc.so.6)
  fi
  echo "JNI headers: jni.h and jvmti.h of $(package_of "$headers/jni.h" | cut -d' ' -f1-2)," \
    "$jni_md (sha256 of jni.h $(sha256sum <"$headers/jni.h" | cut -d' ' -f1))"
  echo "Debian packages:"
  for file in "$cxx" "$("$cxx" -print-prog-name=cc1plus)" "$linker" "$("$cxx" -print-file-name="${runtime[0]}")" \
    "$("$cxx" -print-file-name="${runtime[1]}")" "$headers/jni.h"; do
    [[ $file == /* ]] || file=$(command -v "$file")
    echo "  $(package_of "$file")"
  done | sort -u
} >"$prefix/BUILDINFO"
