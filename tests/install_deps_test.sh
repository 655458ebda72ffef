#!/bin/bash
# tools/install-deps.sh against stand-in apt-get, dpkg and sudo commands and a
# wine folder of its own: an apt-get update that fails one index as a mirror
# mid-sync does, then the download of libwine:i386 working or failing; no
# service starts while packages install, nor at boot. Needs
# no root, network or wine, and changes nothing outside its own folder.
#   tests/install_deps_test.sh
set -u
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/tests/support/script_support.sh"
# Without the override the script would work on the real wine folder.
grep -q TRACKWIRE_WINE_LIB "$repo/tools/install-deps.sh" ||
  { echo "install_deps_test: install-deps.sh takes no TRACKWIRE_WINE_LIB; not run"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
version='8.0~repack-4'
index=http://127.0.0.1/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz

mkdir "$work/bin"
cat >"$work/bin/stand-in" <<'EOF'
#!/bin/bash
# One stand-in for each command install-deps runs; its name says which.
echo "$(basename "$0") $*" >>"$STAND_IN_LOG"
case "$(basename "$0") $1" in
  "sudo "*) exec "$@" ;;
  "apt-get update")
    case $STAND_IN_UPDATE in
      mirror)
        echo "E: Failed to fetch $STAND_IN_INDEX  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 127.0.0.1 80]" >&2
        echo "   Hashes of expected file:" >&2
        echo "    - Filesize:376004 [weak]" >&2
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
        exit 100 ;;
      lock)
        echo "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 1 (apt-get)" >&2
        exit 100 ;;
    esac ;;
  "apt-get install") "$TRACKWIRE_POLICY_RC" start; echo "policy answered $?" >>"$STAND_IN_LOG" ;;
  "update-rc.d "*) ;;
  "apt-get download")
    if [ "$STAND_IN_DOWNLOAD" = fail ]; then
      echo "E: Failed to fetch http://127.0.0.1/libwine.deb  404  Not Found [IP: 127.0.0.1 80]" >&2
      exit 100
    fi
    : >"libwine_${3#*=}_i386.deb" ;;
  "dpkg-query "*)
    case $* in
      *Version*) echo "$STAND_IN_VERSION" ;;
      *nlohmann-json3-dev | *nginx) exit 1 ;;
      *) printf 'install ok installed' ;;
    esac ;;
  "dpkg --print-foreign-architectures") ;;
  "dpkg --add-architecture") ;;
  "dpkg-deb -x")
    mkdir -p "$3/usr/lib/i386-linux-gnu/wine/i386-windows"
    : >"$3/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll" ;;
  "dpkg-reconfigure libwine") : >"$TRACKWIRE_WINE_LIB/i386-windows/zlib1.dll" ;;
  *) echo "stand-in: unexpected call: $(basename "$0") $*" >&2; exit 3 ;;
esac
EOF
chmod +x "$work/bin/stand-in"
for name in sudo apt-get dpkg-query dpkg dpkg-deb dpkg-reconfigure update-rc.d; do
  ln -s stand-in "$work/bin/$name"
done

# run_case NAME UPDATE DOWNLOAD: install-deps on a fresh wine folder; sets
# status and output (standard output and error together). A policy-rc.d the
# case made beforehand in its folder is the machine's.
run_case() {
  local case_dir=$work/$1
  mkdir -p "$case_dir/wine/x86_64-windows"
  output=$(PATH=$work/bin:$PATH STAND_IN_LOG=$case_dir/calls \
    TRACKWIRE_POLICY_RC=$case_dir/policy-rc.d \
    STAND_IN_UPDATE=$2 STAND_IN_DOWNLOAD=$3 STAND_IN_INDEX=$index \
    STAND_IN_VERSION=$version TRACKWIRE_WINE_LIB=$case_dir/wine \
    TRACKWIRE_NO_32BIT=1 bash "$repo/tools/install-deps.sh" 2>&1)
  status=$?
  calls=$(grep -c '^apt-get update' "$case_dir/calls")
}
has() { grep -qxF -- "$1" <<<"$output" && echo yes || echo no; }

run_case mirror mirror ok
note="install-deps: apt-get update could not fetch .../binary-i386/Packages.xz (File has unexpected size (374820 != 376004). Mirror sync in progress?); going on with the lists it has"
check "a failed index: exit status" 0 "$status"
check "a failed index: both updates ran" 2 "$calls"
check "a failed index: named twice in one line each" 2 "$(grep -cxF -- "$note" <<<"$output")"
check "a failed index: the missing package installed" yes \
  "$(grep -qx 'apt-get install -y -qq nlohmann-json3-dev nginx' "$work/mirror/calls" && echo yes)"
check "services: none started during the install" "policy answered 101" \
  "$(grep '^policy' "$work/mirror/calls")"
check "services: the policy gone after it" no \
  "$([ -e "$work/mirror/policy-rc.d" ] && echo yes || echo no)"
check "services: the installed one disabled, none else" "update-rc.d nginx disable" \
  "$(grep '^update-rc.d' "$work/mirror/calls")"
check "a failed index: libwine:i386 downloaded" yes \
  "$(grep -qx "apt-get download -qq libwine:i386=$version" "$work/mirror/calls" && echo yes)"
check "a failed index: the DLLs unpacked" yes \
  "$([ -f "$work/mirror/wine/i386-windows/kernel32.dll" ] && echo yes)"
check "a failed index: the stamp written" "$version" \
  "$(cat "$work/mirror/wine/i386-windows/.trackwire-libwine-version" 2>/dev/null)"
check "a failed index: the final line" yes \
  "$(has "install-deps: this machine cannot run 32-bit programs: TRACKWIRE_NO_32BIT=1 says so")"

mkdir -p "$work/download"
printf '#!/bin/sh\nexit 0\n' >"$work/download/policy-rc.d"
chmod 755 "$work/download/policy-rc.d"
run_case download mirror fail
check "services: the machine's policy put back" '#!/bin/sh|exit 0' \
  "$(paste -sd'|' "$work/download/policy-rc.d")"
check "a failed download: exit status" 1 "$status"
check "a failed download: the failed index named" yes "$(has "$note")"
check "a failed download: apt's reason" yes \
  "$(has "E: Failed to fetch http://127.0.0.1/libwine.deb  404  Not Found [IP: 127.0.0.1 80]")"
check "a failed download: the line saying so" yes \
  "$(has "install-deps: cannot download libwine:i386 version $version, which must match the installed libwine")"
check "a failed download: nothing unpacked" no \
  "$([ -e "$work/download/wine/i386-windows" ] && echo yes || echo no)"

run_case lock lock ok
check "another update error: exit status" 1 "$status"
check "another update error: apt's reason" yes \
  "$(has "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 1 (apt-get)")"
check "another update error: nothing installed" 0 "$(grep -c '^apt-get install' "$work/lock/calls")"

checks_summary
