#!/usr/bin/env bash
# wine-suite.sh 64|32: the tests of one Windows build under Wine, the x64 one (build/win64) under
# 64-bit Wine or the x86 one (build/win32) under 32-bit Wine, each in a prefix of its own that the
# next run uses again. The build and the Linux build's kzt_fid (build/ci) must be there
# (scripts/wine-tests.sh makes them). In order:
#   1. the build's test programs (through CTest);
#   2. kzt_fid.exe on drive 0 through the real Win32 API, and its --scan of Wine's drives (one
#      IDENTIFY each, nothing else; the JSON form against its schema);
#   3. the replay of the bundled sample dump set, which must give the Linux build's report and
#      erase-count file;
#   4. the Windows version rules: Wine pretends to be each system in turn, and the banner's OS line
#      and the control requests that reach drive 0 must be the ones these rules give.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
jobs=$(nproc)

case "${1:-}" in
  64) arch=x64 preset=win64 wine=/usr/lib/wine/wine64 wineArch=win64 ;;
  32) arch=x86 preset=win32 wine=/usr/lib/wine/wine wineArch=win32 ;;
  *) echo "usage: $0 64|32" >&2; exit 2 ;;
esac
build="$root/build/$preset"
exe="$build/src/kzt_fid.exe"
linux="$root/build/ci/src/kzt_fid"
[ -f "$exe" ] && [ -x "$linux" ] || { echo "wine-suite $arch: build $preset and ci first" >&2; exit 1; }

fail() {
  echo "wine-suite $arch: FAIL: $*" >&2
  exit 1
}

# The same prefix as the preset's, so that CTest's runs share it.
export WINEDEBUG=-all
export WINEARCH=$wineArch
export WINEPREFIX="$build/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or HTML engine installers in a fresh prefix
mkdir -p "$WINEPREFIX"

# One persistent server for every run, so that each test does not wait for a server to start and
# stop (or the one that is already running for this prefix). Its helper processes start here, with
# their output away from the test runner's pipes.
wineserver -p >/dev/null 2>&1 || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
if ! "$wine" wineboot -i >"$build/wineboot.log" 2>&1; then
  # A prefix of the other word size (or a broken one) from an earlier run: start a new one.
  wineserver -k >/dev/null 2>&1 || true
  find "$WINEPREFIX" -mindepth 1 -delete
  wineserver -p >/dev/null 2>&1 || true
  "$wine" wineboot -i >"$build/wineboot.log" 2>&1 || {
    tail -n 20 "$build/wineboot.log" >&2
    fail "wineboot cannot set up $WINEPREFIX"
  }
fi

# pretend NAME SERVICE-PACK BUILD: Wine answers GetVersionExA as the system NAME of winecfg, with
# the service-pack text and number and the build number from the registry, where Windows keeps
# them too (one registry import: every Wine process is slow to start in the emulated guest).
pretend() {
  local pack=0
  [[ "$2" =~ ^Service\ Pack\ ([0-9]+) ]] && pack=${BASH_REMATCH[1]}
  "$wine" winecfg -v "$1" >/dev/null 2>&1 || fail "winecfg -v $1"
  printf '%s\r\n' 'REGEDIT4' '' \
    '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion]' \
    "\"CSDVersion\"=\"$2\"" "\"CurrentBuildNumber\"=\"$3\"" '' \
    '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Windows]' \
    "$(printf '"CSDVersion"=dword:%08x' "$((pack * 256))")" >"$build/version.reg"
  # Drive Z: of a Wine prefix is the root folder.
  "$wine" regedit /S "Z:${build//\//\\}\\version.reg" >/dev/null 2>&1 || fail "registry for $1 $2"
}
# A Windows 10 system: the banner then shows 10.0 only if the manifest lists Windows 10.
pretend win10 "" 19045

# 1. The test programs: through CTest, one process per test, or, where every Wine process is slow
# to start (in the software-emulated guest of qemu-wine32.sh), each program once with all its
# tests, in the folder where CTest would run it.
if [ "${KZT_TESTS_IN_ONE_PROCESS:-0}" = 1 ]; then
  while IFS= read -r program; do
    (cd "$(dirname "$program")" && "$wine" "$program") >"$program.log" 2>&1 ||
      { cat "$program.log"; fail "$(basename "$program")"; }
    grep -E '^\[  PASSED  \] ' "$program.log" | sed "s/^/wine-suite $arch: $(basename "$program"): /"
  done < <(find "$build/tests" -name '*_tests.exe' | LC_ALL=C sort)
else
  ctest --preset "$preset" -j "$jobs" >"$build/ctest.log" 2>&1 || { cat "$build/ctest.log"; fail "ctest"; }
  grep -E '^[0-9]+% tests passed' "$build/ctest.log" | sed "s/^/wine-suite $arch: ctest: /"
fi

runs="$build/wine-runs"
rm -rf "$runs"
mkdir -p "$runs/drive" "$runs/replay-windows" "$runs/replay-linux"

# 2. Drive 0 through the real Win32 API. Under Wine the drive opens and answers the property query
# (bus type 1, so the native path), and every ATA pass-through request fails with
# ERROR_NOT_SUPPORTED (0x32) without writing the block back: no ATA status error, no identity, no
# dump.
status=0
(cd "$runs/drive" && "$wine" "$exe" 0y </dev/null >console.txt 2>stderr.txt) || status=$?
[ "$status" -eq 2 ] || fail "kzt_fid.exe 0y ended with status $status (2: no identify data)"
tr -d '\r' < "$runs/drive/console.txt" > "$runs/drive/console-lf.txt"
sed -n 1p "$runs/drive/console-lf.txt" | grep -qx 'Pellmora v0.15a by ozw' || fail "banner"
sed -n 2p "$runs/drive/console-lf.txt" | grep -qx 'OS: 10\.0 build 19045 ' ||
  fail "OS line is not 10.0: the manifest's supportedOS entries are missing"
sed -n '3,$p' "$runs/drive/console-lf.txt" > "$runs/drive/console-rest.txt"
cat > "$runs/drive/expected.txt" <<'EOF'
Drive: 0(ATA)
IOCtl: SmartEnable failed 0x32!
IOCtl: Identify failed 0x32!
Model: 
Fw   : 
Size : 0 MB [0.0 GB]
Realtek based SSD not found - Exit!
EOF
diff -u "$runs/drive/expected.txt" "$runs/drive/console-rest.txt" || fail "console of kzt_fid.exe 0y"
# Nothing arrived, so nothing is dumped: the folder holds the report and what the shell wrote.
[ ! -e "$runs/drive/id.bin" ] && [ ! -e "$runs/drive/smart.bin" ] || fail "a dump of an answer that did not arrive"
echo "wine-suite $arch: drive 0: ok"

# The header and filler of an IOCTL_ATA_PASS_THROUGH request, before its data.
case "$arch" in
  x86) header=44 ;;
  x64) header=52 ;;
esac

# relay_requests RELAY-TRACE: each DeviceIoControl call of a relay trace as its control code and
# its two buffer sizes, comma-separated: DWORD arguments, of which an x64 trace shows the whole
# register, undefined upper half and all.
relay_requests() {
  local sent=() code inSize outSize
  while IFS=, read -r _ code _ inSize _ outSize _; do
    sent+=("$(printf '%x %d %d' "$((16#$code & 0xffffffff))" "$((16#$inSize & 0xffffffff))" \
      "$((16#$outSize & 0xffffffff))")")
  done < <(sed -n 's/.*:Call KERNEL32\.DeviceIoControl(\([^)]*\)).*/\1/p' "$1")
  (IFS=,; echo "${sent[*]}")
}

# 2b. The scan through the real Win32 API: a block per PhysicalDrive that opens, named from the
# property query, with one IDENTIFY each, which fails with ERROR_NOT_SUPPORTED under Wine (the
# advice for it), and no file written. The relay trace holds only property queries and as many
# IOCTL_ATA_PASS_THROUGH requests of IDENTIFY's size as there are drives: nothing else is sent.
# The same scan as JSON is valid against its schema.
mkdir -p "$runs/scan"
status=0
(cd "$runs/scan" && WINEDEBUG=+relay "$wine" "$exe" --scan </dev/null >console.txt 2>relay.txt) ||
  status=$?
[ "$status" -eq 0 ] || fail "kzt_fid.exe --scan ended with status $status"
[ "$(ls "$runs/scan" | tr '\n' ' ')" = "console.txt relay.txt " ] || fail "kzt_fid.exe --scan wrote a file"
tr -d '\r' <"$runs/scan/console.txt" >"$runs/scan/console-lf.txt"
cat >"$runs/scan/expected.txt" <<'EOF'
Drive 0: \\.\PhysicalDrive0
  Bus       : ATA
  Vendor    : (none)
  Product   : (none)
  Verdict   : not reachable, 0x32: ERROR_NOT_SUPPORTED, the request is not supported
  Advice    : the drive's driver or this Windows carries no ATA pass-through request (Windows NT 4.0 has none)

EOF
head -n 7 "$runs/scan/console-lf.txt" | diff -u "$runs/scan/expected.txt" - ||
  fail "drive 0 of kzt_fid.exe --scan"
drives=$(grep -c '^Drive ' "$runs/scan/console-lf.txt")
tail -n 1 "$runs/scan/console-lf.txt" |
  grep -qx "Drives: $drives (served 0, not served 0, not reachable $drives)" ||
  fail "the count line of kzt_fid.exe --scan"
identify="4d02c $((header + 512)) $((header + 512))"
sent=$(relay_requests "$runs/scan/relay.txt" | tr , '\n')
[ "$(grep -cx "$identify" <<<"$sent")" -eq "$drives" ] &&
  [ -z "$(grep -vx -e "$identify" -e '2d1400 12 4096' <<<"$sent")" ] ||
  fail "kzt_fid.exe --scan sent other requests than one IDENTIFY a drive: $(tr '\n' , <<<"$sent")"
(cd "$runs/scan" && "$wine" "$exe" --scan --json </dev/null >scan.json) ||
  fail "kzt_fid.exe --scan --json ended with status $?"
/usr/bin/python3 doc/check_json_schema.py doc/kzt_fid_scan.schema.json "$runs/scan/scan.json" >/dev/null ||
  fail "kzt_fid.exe --scan --json is not valid against doc/kzt_fid_scan.schema.json"
echo "wine-suite $arch: --scan: drives $drives, one IDENTIFY each: ok"

# 3. The sample dump set replayed by both builds.
cp examples/sample/*.bin "$runs/replay-windows/"
cp examples/sample/*.bin "$runs/replay-linux/"
(cd "$runs/replay-windows" && "$wine" "$exe" 0fxy </dev/null >console.txt) ||
  fail "kzt_fid.exe 0fxy ended with status $?"
(cd "$runs/replay-linux" && "$linux" 0fxy </dev/null >console.txt) ||
  fail "Linux kzt_fid 0fxy ended with status $?"
cmp "$runs/replay-windows/kzt_flash_id_ec.txt" "$runs/replay-linux/kzt_flash_id_ec.txt" ||
  fail "erase-count files differ"
# The report's third line names the operating system, which differs; every other byte is the same.
for side in windows linux; do
  sed -n 3p "$runs/replay-$side/kzt_flash_id.txt" | grep -q '^OS: ' || fail "$side report line 3"
  sed 3d "$runs/replay-$side/kzt_flash_id.txt" > "$runs/replay-$side/report-without-os.txt"
  sed 2d "$runs/replay-$side/console.txt" | tr -d '\r' > "$runs/replay-$side/console-without-os.txt"
done
cmp "$runs/replay-windows/report-without-os.txt" "$runs/replay-linux/report-without-os.txt" ||
  fail "reports differ"
cmp "$runs/replay-windows/console-without-os.txt" "$runs/replay-linux/console-without-os.txt" ||
  fail "consoles differ"
echo "wine-suite $arch: replay of the sample: ok"

# 4. The version rules. A run "0y" on drive 0 sends, in this order, the property query for the bus
# type (IOCTL_STORAGE_QUERY_PROPERTY, 0x2D1400: a 12-byte query, a 4096-byte answer), then SMART
# ENABLE OPERATIONS, which fails under Wine and so ends the SMART readout, then IDENTIFY DEVICE,
# which fails too and ends the run with status 2. The two ATA commands go out as:
#   ata:  IOCTL_ATA_PASS_THROUGH (0x4D02C), header and filler (x86 44 bytes, x64 52) plus the
#         data, as input and output: 44 and 556 bytes on x86, 52 and 564 on x64;
#   ide:  IOCTL_IDE_PASS_THROUGH (0x4D028), the 12-byte block plus the data: 12 and 524 bytes;
#   none: nothing: below major version 5 neither request is sent.
# ATA on 6.0 and later, on 5.2 and on 5.1 from service pack 2; IDE on 5.0 (any service pack) and
# on 5.1 before service pack 2; none below 5. The OS line is "OS: %d.%d build %d %s" of the
# version, build number and service-pack text.
declare -A requests=(
  [none]="2d1400 12 4096"
  [ide]="2d1400 12 4096,4d028 12 12,4d028 524 524"
  [ata]="2d1400 12 4096,4d02c $header $header,4d02c $((header + 512)) $((header + 512))"
)
# winecfg name | service-pack text | build | OS line | request
if [ "$arch" = x86 ]; then
  versions=(
    "nt40|Service Pack 6|1381|OS: 4.0 build 1381 Service Pack 6|none"
    "win2k|Service Pack 4|2195|OS: 5.0 build 2195 Service Pack 4|ide"
    "winxp||2600|OS: 5.1 build 2600 |ide"
    "winxp|Service Pack 1|2600|OS: 5.1 build 2600 Service Pack 1|ide"
    "winxp|Service Pack 2|2600|OS: 5.1 build 2600 Service Pack 2|ata"
    "winxp|Service Pack 3|2600|OS: 5.1 build 2600 Service Pack 3|ata"
    "win2003||3790|OS: 5.2 build 3790 |ata"
    "win7|Service Pack 1|7601|OS: 6.1 build 7601 Service Pack 1|ata"
    "win10||19045|OS: 10.0 build 19045 |ata"
  )
else
  versions=(
    "winxp64|Service Pack 1|3790|OS: 5.2 build 3790 Service Pack 1|ata"
    "win2003||3790|OS: 5.2 build 3790 |ata"
    "win10||19045|OS: 10.0 build 19045 |ata"
  )
fi
n=0
for row in "${versions[@]}"; do
  IFS='|' read -r name pack number osLine request <<<"$row"
  n=$((n + 1))
  what="$name ${pack:-without service pack}"
  pretend "$name" "$pack" "$number"
  dir="$runs/version-$n"
  mkdir -p "$dir"
  status=0
  (cd "$dir" && WINEDEBUG=+relay "$wine" "$exe" 0y </dev/null >console.txt 2>relay.txt) || status=$?
  [ "$status" -eq 2 ] || fail "$what: status $status (2: identify failed)"
  got=$(sed -n 2p "$dir/console.txt" | tr -d '\r')
  [ "$got" = "$osLine" ] || fail "$what: OS line \"$got\", not \"$osLine\""
  got=$(relay_requests "$dir/relay.txt")
  [ "$got" = "${requests[$request]}" ] ||
    fail "$what: requests \"$got\", not the $request requests \"${requests[$request]}\""
  echo "wine-suite $arch: $what: $osLine, $request requests: ok"
done

echo "wine-suite $arch: passed"
