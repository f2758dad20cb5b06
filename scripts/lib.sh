# Shared by the scripts: installing what a fresh Debian machine lacks.

# need_packages CHECK_COMMAND... -- PACKAGE...
# Installs the Debian packages unless every check command succeeds.
need_packages() {
  local checks=() packages=() seen_separator=0
  for arg in "$@"; do
    if [ "$arg" = "--" ]; then seen_separator=1
    elif [ "$seen_separator" = 0 ]; then checks+=("$arg")
    else packages+=("$arg"); fi
  done
  local missing=0
  for check in "${checks[@]}"; do
    if ! eval "$check" >/dev/null 2>&1; then missing=1; fi
  done
  [ "$missing" = 0 ] && return 0
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "Installing: ${packages[*]}"
    if [ -z "${QV_APT_UPDATED:-}" ]; then
      apt-get update -qq >/dev/null
      export QV_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${packages[@]}" >/dev/null
  else
    echo "Missing packages; please install them: sudo apt-get install ${packages[*]}" >&2
    return 1
  fi
}

need_build_tools() {
  need_packages "command -v cmake" "command -v ninja" "command -v g++" -- \
    cmake ninja-build g++
}

# Builds the release program (and the sample generator) when needed.
build_release() {
  need_build_tools
  cmake --preset release >/dev/null
  cmake --build --preset release
}
