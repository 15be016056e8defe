# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by scripts/run, scripts/test and scripts/bench: where the project is, and the Debian packages it needs.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PACKAGES=(cmake ninja-build ccache g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev libgl-dev xvfb
          x11-utils fonts-dejavu-core
          # A real window manager for the tests of where windows open and which stays above which
          openbox
          # Printing through a private CUPS scheduler and reading back what reached its queue
          cups cups-client poppler-utils
          # The benchmark of printing runs cups-filters' texttopdf beside it on the same text
          cups-filters
          # The printout and the PDF export: cairo's PDF surface, the font found by fontconfig and read by FreeType
          libcairo2-dev libfontconfig-dev libfreetype-dev
          # Asking the print scheduler whether the printer is paused, stopped or refusing jobs
          libcups2-dev
          # Checks of what cmake --install and the package put on disk
          desktop-file-utils appstream libxml2-utils shared-mime-info groff-base dpkg-dev file
          # Sealed books: Argon2id and XChaCha20-Poly1305
          libsodium-dev
          # Export and import of JSON
          nlohmann-json3-dev
          # The tests read the HTML export back with a real HTML parser
          libxml2-dev
          # A FUSE file system of the tests' own, for books on disks without hard links or no-replace renames
          fuse3 libfuse3-dev
          # The sanitizer build (and the fuzz targets) compile with clang, which builds it in half the time gcc takes,
          # with its own AddressSanitizer runtime; lld links every test program faster than the default linker
          clang libclang-rt-14-dev lld)
# Needed only by the scripts named, which ask for them besides PACKAGES: lintian alone brings some 130 packages (Perl
# modules, man-db) that a first ./scripts/run or ./scripts/test would wait for in vain.
PACKAGE_CHECK_PACKAGES=(lintian)     # scripts/package
ICON_PACKAGES=(librsvg2-bin)         # scripts/render-icons
# The sizes the application icon is drawn at, besides the scalable SVG.
ICON_SIZES="16 22 24 32 48 64 128 256"
JOBS="${JOBS:-$(nproc)}"

# Installs what is missing of PACKAGES and of any packages named as arguments.
ensure_packages() {
    local missing=() installed p
    # One query for all of them: a query per package took seconds, on every start of the program.
    installed=" $(dpkg-query -W -f='${Package}:${Status}\n' "${PACKAGES[@]}" "$@" 2>/dev/null |
        sed -n 's/^\([^:]*\):install ok installed$/\1/p' | tr '\n' ' ' || true)"
    for p in "${PACKAGES[@]}" "$@"; do
        [[ "$installed" == *" $p "* ]] || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]}" >&2
        echo "Install them with:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures once; later builds let CMake re-run itself only when a CMake file changed. Targets named after the
# preset are built alone; without any, everything is.
build_preset() {
    local preset="$1"
    shift
    # A tree configured by another generator cannot be built by this one: it is configured afresh.
    if [ -f "$ROOT/build/$preset/CMakeCache.txt" ] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' \
        "$ROOT/build/$preset/CMakeCache.txt"; then
        rm -rf "$ROOT/build/$preset"
    fi
    # A preset changed since (another compiler, say) takes effect only through a new cache; the objects stay, and
    # those the change does not touch are not compiled again.
    if [ "$ROOT/CMakePresets.json" -nt "$ROOT/build/$preset/CMakeCache.txt" ]; then
        rm -f "$ROOT/build/$preset/CMakeCache.txt"
    fi
    if [ ! -f "$ROOT/build/$preset/CMakeCache.txt" ]; then
        (cd "$ROOT" && cmake --preset "$preset" >/dev/null)
    fi
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    (cd "$ROOT" && cmake --build --preset "$preset" -j "$JOBS" "${targets[@]}")
}
