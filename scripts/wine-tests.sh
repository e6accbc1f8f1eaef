#!/usr/bin/env bash
# The Windows programs: builds the x86 (build/win32) and x64 (build/win64) programs and checks that
# both start on the oldest system they serve, then runs each build's tests under Wine.
#   1. Import tables and PE headers of every shipped program against tests/windows/imports.txt
#      (x86: Windows NT 4.0 and later; x64: 5.2 and later), and a check that this check finds a
#      program that asks for too new a system.
#   2. The manifest that kzt_fid.exe carries, which Windows XP and Server 2003 must accept.
#   3. The x64 build under 64-bit Wine, and 4. the x86 build under 32-bit Wine
#      (tests/windows/wine-suite.sh): the test programs, drive 0, the replay of the sample against
#      the Linux build, and the Windows version rules with Wine pretending to be each system.
#      Where this kernel cannot run 32-bit programs, the x86 suite runs in a QEMU guest
#      (tests/windows/qemu-wine32.sh), and where that cannot be had either it is skipped with a
#      line that says why. KZT_WINE32_IN_QEMU=1 takes the guest's way even where this kernel can.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
passed=0
skipped=0

fail() {
  echo "wine-tests: $*" >&2
  echo "wine-tests: $passed passed, 1 failed"
  exit 1
}
pass() {
  echo "wine-tests: $*: ok"
  passed=$((passed + 1))
}

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
# The Linux build's program, whose replay of the sample the Windows ones must match.
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs" --target kzt_fid

# 1. What the shipped programs import and which system their headers ask for.
bash tests/windows/check-imports.sh build/win32 build/win64 || fail "import tables"
# The check itself: a program that imports GetTickCount64 (Vista) and RtlCaptureContext (not in
# NT 4.0) and whose header asks for subsystem 6.0 must be refused, for all three reasons.
probe="$root/build/win32/import-probe"
mkdir -p "$probe"
printf '%s\n' '#include <windows.h>' \
  'int main(void) { CONTEXT c; RtlCaptureContext(&c); return (int)GetTickCount64(); }' >"$probe/new.c"
i686-w64-mingw32-gcc-win32 -O2 -D_WIN32_WINNT=0x0600 -o "$probe/new.exe" "$probe/new.c" \
  -Wl,--major-subsystem-version,6,--minor-subsystem-version,0
if bash tests/windows/check-imports.sh "$probe/new.exe" >"$probe/check.txt"; then
  fail "check-imports.sh accepts a program that needs Vista"
fi
for reason in 'GetTickCount64 is not in imports.txt' \
  'RtlCaptureContext is not exported by the oldest x86 target' 'subsystem version 6.0'; do
  grep -qF "$reason" "$probe/check.txt" || { cat "$probe/check.txt"; fail "check-imports.sh misses: $reason"; }
done
pass "import tables and PE headers; a program that needs Vista is refused"

# 2. The manifest.
bash tests/windows/check-manifest.sh src/transport/windows/kzt_fid.manifest \
  build/win32/src/kzt_fid.exe build/win64/src/kzt_fid.exe || fail "manifest"
pass "manifest"

# 3. The x64 build.
bash tests/windows/wine-suite.sh 64 || fail "x64 suite under Wine"
pass "x64 suite under 64-bit Wine"

# 4. The x86 build.
wine32=/usr/lib/wine/wine
if [ ! -x "$wine32" ]; then
  echo "wine-tests: SKIPPED the x86 suite: 32-bit Wine ($wine32, package wine32:i386) is not installed; scripts/install-deps.sh installs it"
  skipped=1
else
  if [ "${KZT_WINE32_IN_QEMU:-0}" = 1 ]; then
    runs32=no
  else
    runs32=yes
    probe_status=0
    "$wine32" --version >"$probe/wine32.txt" 2>&1 || probe_status=$?
    if [ "$probe_status" -eq 126 ]; then
      runs32=no  # "Exec format error": this kernel runs no 32-bit program
    elif [ "$probe_status" -ne 0 ]; then
      cat "$probe/wine32.txt" >&2
      fail "$wine32 --version ended with status $probe_status"
    fi
  fi
  if [ "$runs32" = yes ]; then
    bash tests/windows/wine-suite.sh 32 || fail "x86 suite under Wine"
    pass "x86 suite under 32-bit Wine"
  else
    echo "wine-tests: this kernel does not run 32-bit programs: the x86 suite runs in a QEMU guest"
    guest_status=0
    why=$(bash tests/windows/qemu-wine32.sh) || guest_status=$?
    if [ "$guest_status" -eq 3 ]; then
      echo "wine-tests: SKIPPED the x86 suite: this kernel does not run 32-bit programs, and no QEMU guest: $why"
      skipped=1
    else
      echo "$why"
      [ "$guest_status" -eq 0 ] || fail "x86 suite under Wine in the QEMU guest"
      pass "x86 suite under 32-bit Wine in the QEMU guest"
    fi
  fi
fi

if [ "$skipped" -eq 0 ]; then
  echo "wine-tests: $passed passed, 0 failed"
else
  echo "wine-tests: $passed passed, 0 failed, $skipped skipped"
fi
