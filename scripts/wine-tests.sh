#!/usr/bin/env bash
# The Windows programs. The x86 build is compiled only: this kernel cannot run 32-bit Windows
# programs. The x64 build runs its test programs under Wine through CTest, and then kzt_fid.exe
# itself under Wine: once against the real Win32 API on drive 0, and once as a replay of the
# bundled sample dump set, whose report and erase-count file must match the Linux build's.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

fail() {
  echo "wine-tests: $*" >&2
  exit 1
}

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"

# The same prefix as the win64 preset's, so that CTest's runs share it.
export WINEDEBUG=-all
export WINEPREFIX="$root/build/win64/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or HTML engine installers in a fresh prefix
wine=/usr/lib/wine/wine64
mkdir -p "$WINEPREFIX"

# One persistent server for every run, so that each test does not wait for a server to start and
# stop. Its helper processes start here, with their output away from the test runner's pipes.
wineserver -p >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
"$wine" wineboot -i >/dev/null 2>&1
# A Windows 10 system: the banner then shows 10.0 only if the manifest lists Windows 10.
"$wine" winecfg -v win10 >/dev/null 2>&1

cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
ctest --preset win64 -j "$jobs"

exe="$root/build/win64/src/kzt_fid.exe"
runs="$root/build/win64/wine-runs"
rm -rf "$runs"
mkdir -p "$runs/drive" "$runs/replay-windows" "$runs/replay-linux"

# 1. Drive 0 through the real Win32 API. Under Wine the drive opens and answers the property query
# (bus type 1, so the native path), and every ATA pass-through request fails with
# ERROR_NOT_SUPPORTED (0x32) without writing the block back: no ATA status error, no identity.
status=0
(cd "$runs/drive" && "$wine" "$exe" 0y </dev/null >console.txt 2>stderr.txt) || status=$?
[ "$status" -eq 2 ] || fail "kzt_fid.exe 0y ended with status $status (2: no identify data)"
tr -d '\r' < "$runs/drive/console.txt" > "$runs/drive/console-lf.txt"
sed -n 1p "$runs/drive/console-lf.txt" | grep -qx 'Pellmora v0.15a by ozw' || fail "banner"
sed -n 2p "$runs/drive/console-lf.txt" | grep -q '^OS: 10\.0 build ' ||
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
[ -f "$runs/drive/id.bin" ] || fail "id.bin not written"
head -c 512 /dev/zero | cmp -s - "$runs/drive/id.bin" || fail "id.bin is not 512 zero bytes"

# 2. The sample dump set replayed by both builds.
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs" --target kzt_fid
cp examples/sample/*.bin "$runs/replay-windows/"
cp examples/sample/*.bin "$runs/replay-linux/"
(cd "$runs/replay-windows" && "$wine" "$exe" 0fxy </dev/null >console.txt) ||
  fail "kzt_fid.exe 0fxy ended with status $?"
(cd "$runs/replay-linux" && "$root/build/ci/src/kzt_fid" 0fxy </dev/null >console.txt) ||
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

echo "wine-tests: 2 passed, 0 failed"
