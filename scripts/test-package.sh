#!/usr/bin/env bash
# Checks the installation and the package of a configured and built folder (default build/ci):
# `cmake --install` into a temporary prefix, then CPack. A Linux build gives a .deb whose exact
# contents and control fields are checked (a static build's package must depend on nothing) and
# which lintian must accept; a Windows build (win32, win64) gives a .zip whose exact contents are
# checked.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/ci}
[ -f "$build/CPackConfig.cmake" ] || { echo "test-package: $build is not a configured build" >&2; exit 1; }

version=$(sed -n 's/.*kProgramVersion = "\([^"]*\)".*/\1/p' src/frontend/options.h)
static=$(sed -n 's/^KZT_STATIC:BOOL=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "test-package: $*" >&2; exit 1; }

if grep -q '^set(CPACK_GENERATOR "ZIP")$' "$build/CPackConfig.cmake"; then
  system=$(sed -n 's/^set(CPACK_SYSTEM_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
  expected_files="bin/kzt_fid.exe
bin/kzt_inspect.exe
bin/kzt_nandid.exe
share/doc/kzt-fid/LICENSE
share/doc/kzt-fid/README.md
share/kzt-fid/kzt_fid_scan.schema.json
share/kzt-fid/kzt_inspect.schema.json
share/kzt-fid/kzt_inspect_diff.schema.json
share/kzt-fid/kzt_inspect_history.schema.json
share/kzt-fid/kzt_reading.schema.json"
  cmake --install "$build" --prefix "$work/prefix" >/dev/null
  got=$(cd "$work/prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
  [ "$got" = "$expected_files" ] || fail "installed files differ:"$'\n'"$got"
  grep -q 'GNU GENERAL PUBLIC LICENSE' "$work/prefix/share/doc/kzt-fid/LICENSE" ||
    fail "LICENSE lacks the licence text"
  cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
  zip="$work/package/kzt_fid-${version}-${system}.zip"
  [ -f "$zip" ] || fail "no package kzt_fid-${version}-${system}.zip"
  listed=$(cd "$work" && cmake -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort)
  [ "$listed" = "$(sed "s|^|kzt_fid-${version}-${system}/|" <<<"$expected_files")" ] ||
    fail "package files differ:"$'\n'"$listed"
  echo "test-package: $(basename "$zip") OK"
  exit 0
fi

expected_files="bin/kzt_fid
bin/kzt_inspect
bin/kzt_nandid
lib/systemd/system/kzt-fid-collect.service
lib/systemd/system/kzt-fid-collect.timer
sbin/kzt-fid-collect
share/doc/kzt-fid/README.md
share/doc/kzt-fid/changelog.Debian.gz
share/doc/kzt-fid/copyright
share/kzt-fid/kzt_fid.rules.yml
share/kzt-fid/kzt_fid_scan.schema.json
share/kzt-fid/kzt_inspect.schema.json
share/kzt-fid/kzt_inspect_diff.schema.json
share/kzt-fid/kzt_inspect_history.schema.json
share/kzt-fid/kzt_reading.schema.json
$([ "$static" = "ON" ] && echo share/lintian/overrides/kzt-fid || true)
share/man/man1/kzt_fid.1.gz
share/man/man1/kzt_inspect.1.gz
share/man/man1/kzt_nandid.1.gz
share/man/man8/kzt-fid-collect.8.gz"
expected_files=$(grep -v '^$' <<<"$expected_files")

# 1. cmake --install into a temporary prefix: exactly these files, working programs, pages that
#    man renders.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
got=$(cd "$work/prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$got" = "$expected_files" ] || fail "installed files differ:"$'\n'"$got"
for program in kzt_fid kzt_nandid kzt_inspect; do
  [ -x "$work/prefix/bin/$program" ] || fail "$program not executable"
done
mkdir "$work/cwd"
[ "$(cd "$work/cwd" && "$work/prefix/bin/kzt_fid" --version)" = "kzt_fid $version"$'\n'"flash-ID decoder v2.68a" ] ||
  fail "installed kzt_fid --version prints the wrong text"
[ -z "$(find "$work/cwd" -mindepth 1)" ] || fail "kzt_fid --version wrote a file"
[ "$("$work/prefix/bin/kzt_nandid" 98 3C 99 B3 7A 51)" = "Toshiba 15nm TLC 16k 256Gb/CE 128Gb/die 2Plane/die" ] ||
  fail "installed kzt_nandid decodes wrongly"
# kzt_inspect reads the bundled sample's dump set, and refuses a folder that is not there.
inspected=$("$work/prefix/bin/kzt_inspect" --json examples/sample)
grep -q '^  "identity": {"model": "PELLMORA P3 240GB"' <<<"$inspected" ||
  fail "installed kzt_inspect does not read the sample's dump set"
status=0
"$work/prefix/bin/kzt_inspect" "$work/no-such-folder" 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "kzt_inspect on a missing folder ended with status $status, not 2"
copyright="$work/prefix/share/doc/kzt-fid/copyright"
head -n 1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' &&
  grep -q '^License: GPL-2+$' "$copyright" || fail "copyright file is not the machine-readable GPL-2+ notice"
gzip -dc "$work/prefix/share/doc/kzt-fid/changelog.Debian.gz" | head -n 1 |
  grep -qF "kzt-fid (${version}-1) " || fail "changelog.Debian's top entry is not ${version}-1"
for page in kzt_fid kzt_nandid kzt_inspect; do
  rendered=$(LC_ALL=C MANWIDTH=80 man -l "$work/prefix/share/man/man1/$page.1.gz" 2>&1)
  grep -q '^EXIT STATUS$' <<<"$rendered" || fail "installed $page(1) does not render: $rendered"
done

# 2. The Debian package.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb="$work/package/kzt-fid_${version}-1_${arch}.deb"
[ -f "$deb" ] || fail "no package $deb"

contents=$(dpkg-deb -c "$deb")
listed=$(awk '$1 !~ /^d/ {print $6}' <<<"$contents" | sed 's|^\./usr/||' | LC_ALL=C sort)
[ "$listed" = "$expected_files" ] || fail "package files differ:"$'\n'"$listed"
awk '$2 != "root/root" {exit 1}' <<<"$contents" || fail "package files not owned by root"
for program in kzt_fid kzt_nandid kzt_inspect; do
  grep -q -- "^-rwxr-xr-x .* \./usr/bin/$program\$" <<<"$contents" || fail "$program not mode 755"
done

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = "kzt-fid" ] || fail "Package: $(field Package)"
[ "$(field Version)" = "${version}-1" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = "admin" ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
description=$(field Description)
[[ "${description%%$'\n'*}" == *Realtek* ]] || fail "Description: $description"
depends=$(field Depends)
if [ "$static" = "ON" ]; then
  [ -z "$depends" ] || fail "a static build's package depends on: $depends"
else
  [[ "$depends" == *libc6* ]] || fail "Depends lacks libc6: $depends"
fi

# 3. lintian, pedantic and with its informational tags: no error, no hardening tag (the programs
#    carry Debian's hardening flags: cmake/hardening.cmake), and no warning that README does not
#    explain ("Installing and packages" names each such warning's tag between backquotes).
command -v lintian >/dev/null || fail "lintian is needed (Debian: lintian)"
lintian --pedantic --display-info --fail-on none "$deb" >"$work/lintian.txt" 2>"$work/lintian.err" ||
  { cat "$work/lintian.err" >&2; fail "lintian did not run"; }
! grep '^E: ' "$work/lintian.txt" >&2 || fail "lintian reports errors"
! grep -E '^[A-Z]: [^ ]+: hardening-' "$work/lintian.txt" >&2 ||
  fail "lintian names a hardening tag: a program lacks one of Debian's hardening flags"
for tag in $(awk '/^W: / {print $3}' "$work/lintian.txt" | sort -u); do
  grep -qF "\`$tag\`" README.md || fail "lintian warns $tag, which README does not explain"
done

# 4. The packaged program runs and reports the same version.
dpkg-deb -x "$deb" "$work/unpacked"
packaged=$(cd "$work" && "$work/unpacked/usr/bin/kzt_fid" --version)
[ "${packaged%%$'\n'*}" = "kzt_fid $version" ] ||
  fail "packaged kzt_fid --version prints the wrong text"

echo "test-package: $(basename "$deb") (Depends: ${depends:-none}; lintian: $(grep -c '^W: ' "$work/lintian.txt") warnings, explained) OK"
