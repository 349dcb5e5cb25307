# The Debian packages the project needs, by purpose: the one list every
# script installs from. Sourced by the scripts.
#
#   need_packages NAME...   installs those that are missing, in one apt run,
#                           its output going to $S2N_INSTALL_LOG (default
#                           build/install.log) and one line to the terminal

# Every build: compilers and CMake, the devkit's JSON library, the test
# frameworks (GoogleTest's source for cross builds), Python for the
# end-to-end tests, and Jinja2, Babel and msgfmt for the page templates
# and their translations.
S2N_BUILD_PACKAGES=(cmake make g++ pkg-config nlohmann-json3-dev libgtest-dev googletest python3
    python3-jinja2 python3-babel gettext)

# The demo server and the end-to-end tests that run it.
S2N_SERVE_PACKAGES=(lighttpd)

# The end-to-end tests' memory check on the host.
S2N_HOST_TEST_PACKAGES=(valgrind)

# The end-to-end tests that stop a save part way or fail its stores.
S2N_TRACE_TEST_PACKAGES=(strace)

# The 32-bit ARM device target, its tests run under user-mode emulation.
S2N_ARMHF_PACKAGES=(g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf qemu-user)

# The browser tests: headless Chromium driven by Selenium; Node.js and npm
# for the accessibility check's npm package.
S2N_BROWSER_PACKAGES=(chromium chromium-driver python3-selenium nodejs npm)

# The fuzz targets: clang with libFuzzer and the sanitizer run-times, and
# llvm-symbolizer for their reports.
S2N_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev llvm-14)

# Request cost measurements (bench/run).
S2N_BENCH_PACKAGES=(valgrind hyperfine wrk lighttpd python3 curl)

S2N_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Prints the names that no installed package is or provides (a Node.js
# package from another archive provides npm, and Debian's npm would
# conflict with it), each once.
missing_packages() {
    local have p
    have=" $(dpkg-query -W -f='${db:Status-Abbrev} ${Package} ${Provides}\n' 2>/dev/null |
        awk '$1 == "ii" { $1 = ""; gsub(/\([^)]*\)/, ""); gsub(/,/, " "); print }' | tr -s ' \n' '  ') "
    for p in "$@"; do
        if [[ $have != *" $p "* ]]; then
            echo "$p"
            have+="$p "
        fi
    done
}

need_packages() {
    local missing
    mapfile -t missing < <(missing_packages "$@")
    [ ${#missing[@]} -eq 0 ] && return 0
    local log=${S2N_INSTALL_LOG:-$S2N_ROOT/build/install.log}
    mkdir -p "$(dirname "$log")"
    echo "installing ${#missing[@]} packages (apt output in $log): ${missing[*]}" >&2
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    {
        echo "=== $(date '+%F %T') apt-get install ${missing[*]}"
        if [ -z "${S2N_APT_UPDATED:-}" ]; then
            "${sudo[@]}" apt-get update -q
        fi &&
            DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends \
                "${missing[@]}"
    } >>"$log" 2>&1 || {
        echo "installing failed; the end of $log:" >&2
        tail -n 20 "$log" >&2
        return 1
    }
    export S2N_APT_UPDATED=1
}
