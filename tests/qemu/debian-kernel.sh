# Sourced: debian_kernel WORK unpacks the kernel that Debian's linux-image-amd64 depends on into
# WORK/kernel-RELEASE, without installing it (once; later calls find it there), and sets release,
# kernel (that folder) and vmlinuz. Used by tests/qemu/run-qemu-tests.sh and by the x86 Wine run
# in a guest (tests/windows/qemu-wine32.sh).
debian_kernel() {
  local work=$1 package deb
  mkdir -p "$work"
  kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null |
      awk '$1 == "Depends:" && $2 ~ /^linux-image-[0-9].*-amd64$/ { print $2; exit }'
  }
  package=$(kernel_package)
  if [ -z "$package" ]; then
    apt-get update -q >/dev/null
    package=$(kernel_package)
  fi
  [ -n "$package" ] || { echo "no kernel package found" >&2; return 1; }
  release=${package#linux-image-}
  if [ ! -d "$work/kernel-$release" ]; then
    rm -f "$work"/linux-image-*.deb
    (cd "$work" && apt-get download -q "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
    deb=$(ls "$work"/"$package"_*.deb) || return 1
    dpkg-deb -x "$deb" "$work/kernel-$release.tmp" || return 1
    mv "$work/kernel-$release.tmp" "$work/kernel-$release"
    rm -f "$deb"
  fi
  kernel="$work/kernel-$release"
  vmlinuz="$kernel/boot/vmlinuz-$release"
  [ -f "$vmlinuz" ] || { echo "no $vmlinuz" >&2; return 1; }
}
