#!/usr/bin/env bash
# Builds the installer twice from copies of the same sources in two different folders
# and fails unless the two executables are byte for byte the same.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for copy in first second-copy; do
    mkdir -p "$work/$copy"
    (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard | xargs -0 tar cf - 2>/dev/null) |
        tar xf - -C "$work/$copy"
    (cd "$work/$copy" && cmake --preset windows >/dev/null && cmake --build --preset windows --target KalvantaLanguageInstaller >/dev/null)
done

exe=build/windows/app/KalvantaLanguageInstaller.exe
first=$(sha256sum <"$work/first/$exe" | cut -d' ' -f1)
second=$(sha256sum <"$work/second-copy/$exe" | cut -d' ' -f1)
echo "first build:  $first"
echo "second build: $second"
if [ "$first" != "$second" ]; then
    cmp -l "$work/first/$exe" "$work/second-copy/$exe" | head -n 10
    echo "the two builds differ"
    exit 1
fi
echo "identical"
