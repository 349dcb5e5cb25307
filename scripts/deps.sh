# Sourced by the scripts: installs Debian packages that are missing.
# Usage: need_packages NAME...

need_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}" >&2
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    if [ -z "${S2N_APT_UPDATED:-}" ]; then
        "${sudo[@]}" apt-get update -qq
        export S2N_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# What every build needs; the pages are rendered from their templates and
# catalogues with Jinja2, Babel and gettext.
S2N_BUILD_PACKAGES=(cmake make g++ pkg-config python3-jinja2 python3-babel gettext)

# The fuzz targets: clang with libFuzzer and the sanitizer run-times, and
# llvm-symbolizer for their reports.
S2N_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev llvm-14)
