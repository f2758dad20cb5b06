# Shared by the scripts: installing what a fresh Debian machine lacks, and the
# builds that several scripts use.

# Debian keeps lighttpd in /usr/sbin, which a non-login PATH may lack.
case ":$PATH:" in *:/usr/sbin:*) ;; *) PATH=$PATH:/usr/sbin ;; esac

# need CHECK PACKAGE [CHECK PACKAGE]...
# Each CHECK is a shell command that succeeds when PACKAGE's part is there.
# Runs every check, installs exactly the packages whose check failed (one
# apt-get install), then runs those checks again. Prints one line saying what
# the caller needs and what it installs. Returns non-zero, after showing apt's
# own output or the check still failing, when the packages are not all usable.
need() {
  local all=() missing=() failed=() check package
  while [ $# -ge 2 ]; do
    check=$1 package=$2
    shift 2
    case " ${all[*]} " in *" $package "*) ;; *) all+=("$package") ;; esac
    if ! (eval "$check") >/dev/null 2>&1; then
      failed+=("$check" "$package")
      case " ${missing[*]} " in *" $package "*) ;; *) missing+=("$package") ;; esac
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    echo "needs ${all[*]}: all present" >&2
    return 0
  fi
  if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null 2>&1; then
    echo "needs ${all[*]}: missing ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    return 1
  fi
  echo "needs ${all[*]}: installing ${missing[*]}" >&2
  apt_install "${missing[@]}" || return 1
  local i status=0
  for ((i = 0; i < ${#failed[@]}; i += 2)); do
    if ! (eval "${failed[i]}") >/dev/null 2>&1; then
      echo "Installed ${failed[i + 1]}, but the check \"${failed[i]}\" still fails." >&2
      status=1
    fi
  done
  return $status
}

# apt_install PACKAGE...: one apt-get install, after one apt-get update per run
# (the children of a script inherit QV_APT_UPDATED). apt's output is kept and
# shown only when it fails.
apt_install() {
  local log status
  log=$(mktemp "${TMPDIR:-/tmp}/qv_apt_XXXXXX") || return 1
  if [ -z "${QV_APT_UPDATED:-}" ]; then
    if ! apt-get update -q -o DPkg::Lock::Timeout=600 </dev/null >"$log" 2>&1; then
      echo "apt-get update failed (before installing $*):" >&2
      tail -n 40 "$log" | sed 's/^/  apt: /' >&2
      rm -f "$log"
      return 1
    fi
    export QV_APT_UPDATED=1
  fi
  # Another install on the machine holds the dpkg lock for a while: wait for it.
  status=0
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q -o DPkg::Lock::Timeout=600 "$@" \
    </dev/null >"$log" 2>&1 || status=$?
  if [ $status -ne 0 ]; then
    echo "Installing $* failed; apt-get said:" >&2
    tail -n 40 "$log" | sed 's/^/  apt: /' >&2
  fi
  rm -f "$log"
  return $status
}

# The checks that do not fit on one line.

# GoogleTest's library, wherever the compiler's multiarch library folder is.
have_gtest() {
  local lib
  lib=$(g++ -print-file-name=libgtest.a) && [ "${lib#/}" != "$lib" ] && [ -f "$lib" ]
}

# libFuzzer and the sanitizer runtimes the fuzz preset links: clang links a
# trivial target with them or it does not.
have_fuzzer_runtime() {
  local dir status
  dir=$(mktemp -d "${TMPDIR:-/tmp}/qv_fuzz_check_XXXXXX") || return 1
  printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) {\n  return 0;\n}\n' \
    >"$dir/target.cc"
  status=0
  clang++ -fsanitize=fuzzer,address,undefined "$dir/target.cc" -o "$dir/target" || status=$?
  rm -rf "$dir"
  return $status
}

# The browser tests need node 20 or later.
node_is_recent() {
  node -e 'process.exit(Number(process.versions.node.split(".")[0]) >= 20 ? 0 : 1)'
}

# What each job needs, as pairs for `need`.
QV_BUILD_NEEDS=("command -v cmake" cmake "command -v ninja" ninja-build "command -v g++" g++)
# The history tests read its reports with Python's standard csv and json.
QV_TEST_NEEDS=("${QV_BUILD_NEEDS[@]}" have_gtest libgtest-dev "command -v python3" python3)

need_build_tools() { need "${QV_BUILD_NEEDS[@]}"; }
need_test_tools() { need "${QV_TEST_NEEDS[@]}"; }
need_clang_tools() { need "${QV_TEST_NEEDS[@]}" "command -v clang++" clang; }

# The mingw-w64 cross compiler (posix threads) and Wine to run its program:
# Debian's wine starts the 64-bit loader that wine64 puts in /usr/lib/wine.
need_windows_tools() {
  need "${QV_BUILD_NEEDS[@]}" "command -v x86_64-w64-mingw32-g++-posix" g++-mingw-w64-x86-64-posix \
    "command -v wine" wine "test -x /usr/lib/wine/wine64" wine64
}

# need_browser_tools [BROWSER]...: what the browser tests need to drive the
# named browsers (chromium, firefox; both when none is named): each browser's
# Debian package, lighttpd, node and npm. A node and an npm already on the
# machine are used as they are, whatever package brought them (one that
# bundles npm conflicts with Debian's npm): Debian's nodejs and npm are
# installed only when node or npm is missing.
need_browser_tools() {
  local pairs=() browser
  [ $# -gt 0 ] || set -- chromium firefox
  for browser in "$@"; do
    case $browser in
      chromium) pairs+=("test -x /usr/bin/chromium" chromium) ;;
      firefox) pairs+=("test -x /usr/bin/firefox-esr" firefox-esr) ;;
      *)
        echo "Unknown browser \"$browser\": the browser tests drive chromium and firefox." >&2
        return 1
        ;;
    esac
  done
  need "${pairs[@]}" "command -v lighttpd" lighttpd "command -v node" nodejs "command -v npm" npm || return 1
  if ! node_is_recent; then
    echo "node $(node --version) is too old: the browser tests need node 20 or later." \
      "Install node 20 or later and run again." >&2
    return 1
  fi
}

# The hosts the program is tried behind, curl to ask them, and util-linux's
# setsid and setpriv to start them in their own process groups and run
# fcgiwrap as nobody. Debian keeps apache2, nginx and fcgiwrap in /usr/sbin.
# grep reads busybox's whole list: with -q it would stop early, and under
# pipefail busybox's broken pipe would fail the check now and then.
need_host_tools() {
  need "command -v lighttpd" lighttpd "test -x /usr/sbin/apache2" apache2 \
    "test -x /usr/sbin/nginx" nginx "test -x /usr/sbin/fcgiwrap" fcgiwrap \
    "busybox --list | grep -x httpd" busybox "command -v curl" curl \
    "command -v setsid && command -v setpriv" util-linux
}

# libclang-rt-dev is Debian's package of the default clang's runtimes.
need_fuzz_tools() {
  need "${QV_BUILD_NEEDS[@]}" "command -v clang++" clang have_fuzzer_runtime libclang-rt-dev
}

# The release preset's build (the program, its tests and the tools), shared by
# every step that uses build/: built once per run, and the outcome kept, so the
# children of a script (which inherit QV_NATIVE_BUILD) do not build it again.
native_build() {
  case "${QV_NATIVE_BUILD:-}" in
    ok)
      echo "uses the native build (build/), made earlier in this run" >&2
      return 0
      ;;
    failed)
      echo "The native build (build/) failed earlier in this run." >&2
      return 1
      ;;
  esac
  if need_test_tools && cmake --preset release >/dev/null && cmake --build --preset release; then
    export QV_NATIVE_BUILD=ok
  else
    export QV_NATIVE_BUILD=failed
    return 1
  fi
}

# The program preset's build (build-program/): the program and the sample tools
# alone, without GoogleTest and with warnings left as warnings. Prints ninja's
# output only when the build fails. The caller sees to the build tools.
program_build() {
  local log
  log=$(mktemp "${TMPDIR:-/tmp}/qv_build_XXXXXX") || return 1
  if cmake --preset program >"$log" 2>&1 && cmake --build --preset program "$@" >"$log" 2>&1; then
    rm -f "$log"
    return 0
  fi
  cat "$log" >&2
  rm -f "$log"
  return 1
}
