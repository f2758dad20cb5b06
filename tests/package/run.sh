#!/usr/bin/env bash
# What a user installs, checked as a user gets it:
# - the Debian package, built the Debian way (dpkg-buildpackage on a copy of
#   the sources), installed with dpkg -i, both programs run from /usr/bin, both
#   manual pages found by man, the completion asked for values, then removed
#   with dpkg -r, leaving none of its files;
# - lintian on the package, which fails the run on any error;
# - `cmake --install` of the native build into a temporary prefix, whose files
#   must be exactly the expected ones;
# - the Windows zip, made by cpack from the Windows build, unpacked, and both
#   .exe files run from the unpacked folder under Wine, their output the same
#   as the Linux programs'.
# Installs what it lacks (lib.sh's need). Needs root for dpkg -i. The package
# is removed however the run ends, if this run installed it; every other file
# it writes is in one temporary folder, Wine's prefix included.
#   tests/package/run.sh
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
source scripts/lib.sh

package=rudeze-duziruzuderi
samples=examples/sessions
# The replies compared below are those of a request without a password, on
# the samples.
unset BOT_PASSWORD HTTP_X_BOT_PASSWORD HTTP_AUTHORIZATION QV_PLUGIN_META QV_SESSIONS_DIR

fail() {
  echo "package: $*" >&2
  exit 1
}

need "${QV_BUILD_NEEDS[@]}" "command -v make" make "command -v dpkg-buildpackage" dpkg-dev \
  "command -v dh" debhelper "command -v lintian" lintian "command -v groff" groff-base \
  "command -v man" man-db "command -v unzip" unzip || exit 1
need_windows_tools || exit 1
[ "$(id -u)" = 0 ] || fail "installing the package with dpkg -i needs root"
if dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q ' installed$'; then
  fail "$package is installed already; remove it first (dpkg -r $package), as this run removes it"
fi

# dpkg itself waits for no one: an install of another user of the machine
# that holds dpkg's lock is waited for, up to ten minutes, as lib.sh's apt-get does.
dpkg_waiting() {
  local i out
  for ((i = 0; i < 300; i++)); do
    out=$(dpkg "$@" 2>&1) && return 0
    case $out in *"dpkg frontend lock"* | *"dpkg status database is locked"*) sleep 2 ;; *) break ;; esac
  done
  echo "$out" >&2
  return 1
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/qv_package_XXXXXX") || exit 1
installed=0
cleanup() {
  if [ "$installed" = 1 ]; then
    dpkg_waiting -r "$package" || echo "package: dpkg -r $package failed" >&2
  fi
  if [ -d "$tmp/wine" ]; then WINEPREFIX=$tmp/wine wineserver -k 2>/dev/null; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- The version, written once in CMakeLists.txt ----
version=$(sed -n 's/^project(rudeze_duziruzuderi VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt's project()"
# Debian reads a package's version from its changelog alone: the two must agree.
changelog_version=$(dpkg-parsechangelog -l debian/changelog -S Version) || exit 1
[ "$changelog_version" = "$version" ] ||
  fail "debian/changelog says $changelog_version, CMakeLists.txt $version: add a changelog entry"

# ---- The Debian package, from a copy of the sources (dpkg-buildpackage writes into ..) ----
source_dir=$tmp/$package-$version
mkdir -p "$source_dir"
git ls-files -z --cached --others --exclude-standard |
  xargs -0 cp --parents -t "$source_dir" 2>/dev/null
[ -x "$source_dir/debian/rules" ] || fail "copying the sources failed"
echo "building the package (dpkg-buildpackage -us -uc -b)"
if ! (cd "$source_dir" && DEB_BUILD_OPTIONS="parallel=$(nproc) noddebs" \
  nice dpkg-buildpackage -us -uc -b >"$tmp/build.log" 2>&1); then
  tail -n 40 "$tmp/build.log" >&2
  fail "dpkg-buildpackage failed"
fi
deb=$tmp/${package}_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb after the build"
echo "--- dpkg -c ${deb##*/}"
dpkg -c "$deb"
echo "--- Depends: $(dpkg-deb -f "$deb" Depends)"

# Every tag down to the pedantic ones is shown; errors fail the run. The
# overrides in debian/ (each with its reason) are listed, as lintian hides them.
echo "--- lintian --display-info --pedantic ${deb##*/}"
lintian_status=0
lintian --fail-on error --display-info --pedantic "$deb" 2>&1 | grep -v '^running with root' ||
  [ "${PIPESTATUS[0]}" = 0 ] || lintian_status=1
echo "--- lintian: $([ $lintian_status = 0 ] && echo "no error" || echo "ERRORS"); overridden:"
grep -v '^#' debian/$package.lintian-overrides

status=0
check() { # check WHAT COMMAND...: runs COMMAND and says whether WHAT holds
  local what=$1
  shift
  if "$@"; then
    echo "ok   $what"
  else
    echo "FAIL $what"
    status=1
  fi
}

installed=1
dpkg_waiting -i "$deb" || fail "dpkg -i failed"

# ---- Both programs from /usr/bin ----
sessions=$(find "$samples" -mindepth 1 -maxdepth 1 -type d | wc -l)
/usr/bin/rudeze_duziruzuderi --meta >"$tmp/linux-meta"
QV_SESSIONS_DIR=$samples QUERY_STRING=action=summary /usr/bin/rudeze_duziruzuderi >"$tmp/linux-summary"
/usr/bin/rudeze_duziruzuderi-history --version >"$tmp/linux-version"
/usr/bin/rudeze_duziruzuderi-history --root "$samples" --tz utc --format csv >"$tmp/linux-history"
check "plugin --meta gives the description" \
  test "$(cat "$tmp/linux-meta")" = '{"name":"sessions","desc":"Turn metrics"}'
check "plugin summary of the $sessions samples" \
  grep -q "^{\"ok\":true,.*\"root_found\":true,\"count\":$sessions," "$tmp/linux-summary"
check "history --version names the program and $version" \
  test "$(head -n 1 "$tmp/linux-version")" = "rudeze_duziruzuderi-history $version"
check "history --version gives the licence" grep -q '^License MIT' "$tmp/linux-version"
check "history report of the $sessions samples" \
  grep -q "^total,$sessions," "$tmp/linux-history"

# ---- Manual pages and completion ----
for page in rudeze_duziruzuderi rudeze_duziruzuderi-history; do
  path=$(man -w "$page" 2>/dev/null)
  check "man -w $page finds ${path:-nothing}" test "$path" = "/usr/share/man/man1/$page.1.gz"
  check "$page.1 gives groff no warning" \
    test -z "$(zcat "$path" 2>&1 | groff -man -ww -z 2>&1)"
done
completion=/usr/share/bash-completion/completions/rudeze_duziruzuderi-history
# complete OPTION: what the completion offers after "rudeze_duziruzuderi-history OPTION ".
complete_values() {
  bash -c 'source "$1" && COMP_WORDS=(rudeze_duziruzuderi-history "$2" "") && COMP_CWORD=2 &&
    _rudeze_duziruzuderi_history && echo "${COMPREPLY[*]}"' - "$completion" "$1"
}
# accepted OPTION: the plain words among the values the program's own
# message for a bad value lists ("use day, week, ... or session").
accepted_values() {
  /usr/bin/rudeze_duziruzuderi-history "$1" '?' 2>&1 >/dev/null | sed -n 's/.*; use //p' |
    sed 's/, or /, /; s/ or /, /g' | tr ',' '\n' | sed 's/^ *//' | grep -x '[a-z]*' | tr '\n' ' ' |
    sed 's/ $//'
}
for option in --by --format --tz; do
  want=$(accepted_values "$option")
  check "completion after $option offers the program's values: $want" \
    test -n "$want" -a "$(complete_values "$option")" = "$want"
done

# ---- Removal: none of the package's files remain ----
dpkg_waiting -r "$package" || fail "dpkg -r failed"
installed=0
left=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./\(.*[^/]\)$|/\1|p' |
  while read -r file; do if [ -e "$file" ] || [ -L "$file" ]; then echo "$file"; fi; done)
check "dpkg -r leaves none of the package's files${left:+ (left: $left)}" test -z "$left"

check "lintian reports no error" test "$lintian_status" = 0

# ---- cmake --install into a temporary prefix ----
if native_build >/dev/null; then
  prefix=$tmp/prefix
  cmake --install build --prefix "$prefix" >/dev/null || fail "cmake --install failed"
  expected="bin/rudeze_duziruzuderi
bin/rudeze_duziruzuderi-history
share/bash-completion/completions/rudeze_duziruzuderi-history
share/doc/rudeze-duziruzuderi/LICENSE
share/doc/rudeze-duziruzuderi/README.md
share/man/man1/rudeze_duziruzuderi-history.1
share/man/man1/rudeze_duziruzuderi.1"
  check "cmake --install puts the expected files under the prefix" \
    test "$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)" = "$expected"
  outside=$(grep -v "^$prefix/" build/install_manifest.txt)
  check "cmake --install writes nothing outside the prefix${outside:+ ($outside)}" test -z "$outside"
else
  check "the native build for cmake --install" false
fi

# ---- The Windows zip, unpacked and run under Wine ----
zip_name=rudeze_duziruzuderi-$version-windows-x86_64
if cmake --preset windows >/dev/null && cmake --build --preset windows >"$tmp/win.log" 2>&1 &&
  cpack --config build-win/CPackConfig.cmake -B "$tmp/zip" >"$tmp/cpack.log" 2>&1; then
  zip=$tmp/zip/$zip_name.zip
  echo "--- unzip -l ${zip##*/}"
  unzip -l "$zip"
  unzip -q "$zip" -d "$tmp/unzipped"
  listed=$(cd "$tmp/unzipped" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
  check "the zip holds the two programs, README, licence and WINDOWS.txt" test "$listed" = \
    "$zip_name/LICENSE
$zip_name/README.md
$zip_name/WINDOWS.txt
$zip_name/rudeze_duziruzuderi-history.exe
$zip_name/rudeze_duziruzuderi.exe"
  dir=$tmp/unzipped/$zip_name
  # A prefix of this run's own: its wineserver can be stopped without
  # touching any other user of Wine on the machine.
  export WINEPREFIX=$tmp/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
  wine "$dir/rudeze_duziruzuderi.exe" --meta >"$tmp/win-meta" 2>/dev/null
  # The first start made the prefix; one wineserver for the runs that follow.
  wineserver -k 2>/dev/null
  wineserver -p
  QV_SESSIONS_DIR=$samples QUERY_STRING=action=summary wine "$dir/rudeze_duziruzuderi.exe" \
    >"$tmp/win-summary"
  wine "$dir/rudeze_duziruzuderi-history.exe" --version >"$tmp/win-version"
  wine "$dir/rudeze_duziruzuderi-history.exe" --root "$samples" --tz utc --format csv \
    >"$tmp/win-history"
  wineserver -k
  for what in meta summary version history; do
    check "the unpacked .exe under Wine gives the Linux $what" cmp -s "$tmp/linux-$what" "$tmp/win-$what"
  done
else
  cat "$tmp/win.log" "$tmp/cpack.log" >&2 2>/dev/null
  check "the Windows build and its zip" false
fi

exit $status
