# Shared by scripts/run and scripts/test: Debian packages, configure, build.
# Sourced, not run.

BREVIO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# What a fresh Debian 12 machine lacks for building, testing and running Brevio.
BREVIO_PACKAGES=(
  build-essential cmake ninja-build pkg-config libacl1-dev libattr1-dev libicu-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  fonts-dejavu-core xdg-utils clang clang-tidy cppcheck
)

# The Windows build: the cross compilers, widl and windres, NSIS for the
# installer, Wine and a virtual X server for the tests; the JSON library is
# header-only, so the host's headers serve the cross build too.
BREVIO_WINDOWS_PACKAGES=(
  cmake ninja-build mingw-w64 mingw-w64-tools wine wine64 googletest nsis xvfb xauth
  nlohmann-json3-dev
)

brevio_install_missing() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The sanitizer and libFuzzer runtimes of the clang that is installed
# (libclang-rt-N-dev for clang N), installing clang first when missing.
brevio_install_clang_runtime() {
  brevio_install_missing clang
  local major
  major=$(clang -dumpversion | cut -d. -f1)
  brevio_install_missing "libclang-rt-$major-dev"
}

# brevio_build BUILD_DIR [cmake options...]
brevio_build() {
  local dir=$1; shift
  cmake -S "$BREVIO_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}
