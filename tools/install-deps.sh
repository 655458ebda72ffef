#!/bin/bash
# Installs the Debian packages that building, testing and the demonstration
# need, and lets wine64 run 32-bit Windows programs (WoW64); does nothing
# when all of it is there already. The servers that tests start on loopback
# (icecast2, nginx, php8.2-fpm) are installed with no service started or
# enabled. Ends with one line saying whether this machine's CPU can run
# 32-bit code at all (tools/cpu32.sh).
set -eu
packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine64 fonts-wine xvfb x11-utils xdotool imagemagick php-cli zip curl
  nsis libboost1.74-dev nlohmann-json3-dev chromium python3 openssl
  icecast2 nginx php8.2-fpm)
# Packages that bring a system service of the same name; nginx's default site
# would take port 80, the receiver's default port.
services=(icecast2 nginx php8.2-fpm)
# TRACKWIRE_POLICY_RC: a stand-in path for tests/install_deps_test.sh.
policy=${TRACKWIRE_POLICY_RC:-/usr/sbin/policy-rc.d}
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
here=$(cd "$(dirname "$0")" && pwd)
# Whether the 32-bit runs can happen here at all (a CPU property, not a package).
say_cpu32() { echo "install-deps: $("$here/cpu32.sh")"; }

# A mirror mid-sync fails one index (exit 100); the lists apt has may still serve.
apt_update() {
  local errors status=0 failed
  errors=$($sudo apt-get update -qq 2>&1 >/dev/null) || status=$?
  if [ $status = 0 ]; then
    [ -z "$errors" ] || printf '%s\n' "$errors" >&2
    return 0
  fi
  if failed=$(awk '
    /^E: Failed to fetch / {
      reason = $0
      sub(/^E: Failed to fetch [^ ]+ +/, "", reason)
      sub(/ *\[IP: [^]]*\]$/, "", reason)
      n = split($5, part, "/")
      list = list (list == "" ? "" : ", ") ".../" part[n - 1] "/" part[n] " (" reason ")"
      next
    }
    /^E: Some index files failed to download/ { next }
    /^E: / { other = 1 }
    END { if (list == "" || other) exit 1; print list }' <<<"$errors"); then
    echo "install-deps: apt-get update could not fetch $failed; going on with the lists it has" >&2
  else
    printf '%s\n' "$errors" >&2
    echo "install-deps: apt-get update failed (exit $status)" >&2
    exit 1
  fi
}

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
# While packages install, invoke-rc.d and deb-systemd-invoke ask policy-rc.d,
# and 101 starts nothing; one already there is kept aside and put back.
deny_services() {
  [ ! -e "$policy.trackwire-saved" ] || restore_services_policy
  # One left by a run that was killed is ours: not kept.
  ! grep -qs 'tools/install-deps.sh' "$policy" || $sudo rm -f "$policy"
  [ ! -e "$policy" ] || $sudo mv "$policy" "$policy.trackwire-saved"
  trap restore_services_policy EXIT
  printf '#!/bin/sh\n# tools/install-deps.sh: no service starts while it installs\nexit 101\n' |
    $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
}
restore_services_policy() {
  $sudo rm -f "$policy"
  [ ! -e "$policy.trackwire-saved" ] || $sudo mv "$policy.trackwire-saved" "$policy"
  trap - EXIT
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt_update
  deny_services
  # sudo drops the environment, hence env: icecast2 asks a debconf question.
  if ! $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null; then
    echo "install-deps: cannot install ${missing[*]}" >&2
    exit 1
  fi
  restore_services_policy
  # Nor at the next boot; a service installed before this run is left as it was.
  for service in "${services[@]}"; do
    [[ " ${missing[*]} " == *" $service "* ]] || continue
    $sudo update-rc.d "$service" disable >/dev/null 2>&1 ||
      echo "install-deps: could not disable the $service service" >&2
  done
fi

# 32-bit programs under wine64: Debian's wine64 has the 64-bit half of WoW64
# but not the 32-bit Windows DLLs. Those come from libwine:i386 of the same
# version, downloaded and unpacked beside the 64-bit ones, never installed:
# the i386 loader that the package would bring breaks the wine wrapper.
# TRACKWIRE_WINE_LIB: a stand-in folder for tests/install_deps_test.sh.
wine_lib=${TRACKWIRE_WINE_LIB:-/usr/lib/x86_64-linux-gnu/wine}
version=$(dpkg-query -W -f='${Version}' libwine 2>/dev/null || true)
if [ -z "$version" ] || [ ! -d "$wine_lib/x86_64-windows" ]; then
  echo "install-deps: wine64 is not installed (libwine missing)" >&2
  exit 1
fi
stamp=$wine_lib/i386-windows/.trackwire-libwine-version
if [ "$(cat "$stamp" 2>/dev/null)" = "$version" ] &&
  [ -f "$wine_lib/i386-windows/zlib1.dll" ]; then
  say_cpu32
  exit 0
fi
echo "install-deps: adding the 32-bit Windows DLLs of libwine:i386 $version"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
apt_update
scratch=$(mktemp -d)
chmod 755 "$scratch"  # apt downloads as its own user
trap 'rm -rf "$scratch"' EXIT
if ! (cd "$scratch" && apt-get download -qq "libwine:i386=$version" >/dev/null); then
  echo "install-deps: cannot download libwine:i386 version $version, which" \
    "must match the installed libwine" >&2
  exit 1
fi
dpkg-deb -x "$scratch"/libwine_*_i386.deb "$scratch/root"
source_dir=$scratch/root/usr/lib/i386-linux-gnu/wine/i386-windows
if [ ! -f "$source_dir/kernel32.dll" ]; then
  echo "install-deps: libwine:i386 $version holds no i386-windows folder" >&2
  exit 1
fi
$sudo rm -rf "$wine_lib/i386-windows"
$sudo cp -a "$source_dir" "$wine_lib/i386-windows"
# The configure step writes the builtin zlib1.dll into every <arch>-windows
# folder; without it the 32-bit user32.dll cannot load.
$sudo env DEBIAN_FRONTEND=noninteractive dpkg-reconfigure libwine
if [ ! -f "$wine_lib/i386-windows/zlib1.dll" ]; then
  echo "install-deps: dpkg-reconfigure libwine wrote no i386-windows/zlib1.dll" >&2
  exit 1
fi
echo "$version" | $sudo tee "$stamp" >/dev/null
echo "install-deps: wine64 can now run 32-bit programs"
say_cpu32
