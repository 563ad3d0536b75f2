#!/usr/bin/env bash
# Static analysis of all our code: clang-tidy (.clang-tidy) over the native and the
# Windows compilation databases, and cppcheck. Any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
sources() { git ls-files "$@" | grep -E '\.cpp$' || true; }
# clang-tidy's own exit code says nothing reliable about warnings, so its findings are read
# from what it prints; a failing run must not hide the lines it printed.
tidy() {
    local findings
    findings=$(clang-tidy "$@" 2>/dev/null || true)
    if grep -E '(warning|error):' <<<"$findings"; then status=1; fi
}

native=$(sources installer tools/lngcheck tools/flags tools/embedcheck tests/installer tests/tools tests/pe)
windows=$(sources app platform tools/standins tests/e2e bench)

[ -f build/native/compile_commands.json ] || { echo "configure the native preset first" >&2; exit 2; }
echo "clang-tidy: native sources"
# shellcheck disable=SC2086
tidy -p build/native --quiet $native

if [ -n "$windows" ] && [ -f build/windows/compile_commands.json ]; then
    echo "clang-tidy: Windows sources"
    # clang finds MinGW's C headers by the target, and g++'s C++ headers where g++ has them.
    cxx_includes=$(echo | x86_64-w64-mingw32-g++-win32 -x c++ -E -v - 2>&1 |
        sed -n '/search starts here:/,/End of search/p' | grep '/c++')
    extra=(--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++)
    for include in $cxx_includes; do extra+=("--extra-arg=-isystem$include"); done
    # shellcheck disable=SC2086
    tidy -p build/windows --quiet "${extra[@]}" $windows
fi

echo "cppcheck"
# shellcheck disable=SC2086
cppcheck --enable=warning,style,performance,portability --std=c++20 --inline-suppr --quiet --library=googletest \
    --error-exitcode=1 --suppressions-list=.cppcheck-suppressions \
    -I installer -I platform -I tools/lngcheck -I tools/flags -I tools/embedcheck -I tests/support \
    $native $windows || status=1

if [ $status -eq 0 ]; then echo "static analysis: no findings"; else echo "static analysis: findings above"; fi
exit $status
