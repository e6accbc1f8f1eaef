#!/usr/bin/env bash
# check-imports.sh BUILD-OR-PROGRAM...: every Windows program that a build folder installs (or the
# program given) starts on the oldest system of its architecture: x86 programs on Windows NT 4.0,
# x64 programs on 5.2 (XP x64, Server 2003 x64). From the PE header and the import table that
# objdump reads, each program must ask for an OS and subsystem version no newer than that, import
# no function by ordinal, have no delay-load imports, and import only the functions that
# tests/windows/imports.txt lists for its architecture. The list itself may hold no function
# newer than the oldest target. Prints one line per program; exits 1 after all problems are shown.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
list="$here/imports.txt"
objdump=x86_64-w64-mingw32-objdump  # reads both pei-i386 and pei-x86-64
[ $# -gt 0 ] || { echo "usage: $0 BUILD-FOLDER-OR-PROGRAM..." >&2; exit 2; }
command -v "$objdump" >/dev/null || { echo "check-imports: $objdump not found" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# check PROGRAM LABEL: one program against the list.
check() {
  local dump
  if ! dump=$("$objdump" -p "$1" 2>&1); then
    echo "check-imports: $2: objdump cannot read it: $dump"
    status=1
    return
  fi
  awk -v list="$list" -v label="$2" '
    function version(text, parts) {  # "4.0" -> 400, "3.51" -> 351
      if (text !~ /^[0-9]+\.[0-9]+$/) return -1
      split(text, parts, ".")
      return parts[1] * 100 + parts[2]
    }
    function problem(text) { print "check-imports: " label (arch ? " (" arch ")" : "") ": " text; bad = 1 }
    BEGIN {
      oldest["x86"] = 400; oldest["x64"] = 502
      while ((getline line < list) > 0) {
        if (line ~ /^[ \t]*(#|$)/) continue
        n = split(line, f, /[ \t]+/)
        key = toupper(f[1]) " " f[2]
        if (n != 4) { problem("imports.txt: not DLL, function, x86, x64: " line); continue }
        if (key in x86) problem("imports.txt: " f[1] " " f[2] " listed twice")
        x86[key] = f[3]; x64[key] = f[4]
        if (f[3] != "-" && (version(f[3]) < 0 || version(f[3]) > oldest["x86"]))
          problem("imports.txt: " f[1] " " f[2] ": x86 version " f[3] " is not 4.0 or older")
        if (f[4] != "-" && (version(f[4]) < 0 || version(f[4]) > oldest["x64"]))
          problem("imports.txt: " f[1] " " f[2] ": x64 version " f[4] " is not 5.2 or older")
      }
    }
    /file format pei-i386$/ { arch = "x86" }
    /file format pei-x86-64$/ { arch = "x64" }
    $1 == "MajorOSystemVersion" { osMajor = $2 }
    $1 == "MinorOSystemVersion" { osMinor = $2 }
    $1 == "MajorSubsystemVersion" { subMajor = $2 }
    $1 == "MinorSubsystemVersion" { subMinor = $2 }
    /^Entry d / && $4 != "00000000" { problem("has delay-load imports, which this check does not read") }
    /^The Import Tables/ { inImports = 1; next }
    /^[^ \t]/ { inImports = 0 }
    inImports && /^\tDLL Name: / { dll = $3; next }
    inImports && dll != "" && /^\t[0-9a-f]+[ \t]+[0-9]+ / {
      imports++
      if ($3 == "<none>" || $3 == "") { problem(dll " ordinal " $2 ": imported by ordinal"); next }
      key = toupper(dll) " " $3
      if (!(key in x86)) { problem(dll " " $3 " is not in imports.txt"); next }
      if ((arch == "x64" ? x64[key] : x86[key]) == "-")
        problem(dll " " $3 " is not exported by the oldest " arch " target")
      else names[dll] = 1
    }
    END {
      if (arch == "") { problem("not an x86 or x64 PE program"); exit 1 }
      target = oldest[arch]
      if (version(osMajor "." osMinor) > target)
        problem("the PE header asks for OS version " osMajor "." osMinor)
      if (version(subMajor "." subMinor) > target)
        problem("the PE header asks for subsystem version " subMajor "." subMinor)
      if (imports == 0) problem("no imports read")
      if (bad) exit 1
      dlls = ""
      for (d in names) dlls = dlls (dlls == "" ? "" : ", ") d
      printf "check-imports: %s (%s): OS %s.%s, subsystem %s.%s, %d functions of %s: OK\n",
             label, arch, osMajor, osMinor, subMajor, subMinor, imports, dlls
    }' <<<"$dump" || status=1
}

for target in "$@"; do
  if [ -d "$target" ]; then
    # What the build ships: everything its installation puts in place.
    prefix="$work/$(basename "$target")"
    cmake --install "$target" --prefix "$prefix" >/dev/null
    found=0
    while IFS= read -r program; do
      found=1
      check "$program" "$(basename "$target")/${program#"$prefix"/}"
    done < <(find "$prefix" -type f \( -iname '*.exe' -o -iname '*.dll' \) | LC_ALL=C sort)
    [ "$found" = 1 ] || { echo "check-imports: $target installs no Windows program"; status=1; }
  else
    check "$target" "$(basename "$target")"
  fi
done
exit "$status"
