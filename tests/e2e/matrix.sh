#!/usr/bin/env bash
# Prints the fault matrix of the last end-to-end run as a table: case, expected, seen, result.
#   matrix.sh BUILD [CASE...]   with CASEs, fails when one of them left no row
set -euo pipefail

rows="${1:?the windows build folder}/e2e/fault-matrix.tsv"
[[ -f $rows ]] || { echo "no fault matrix: the e2e.fault tests did not run"; exit 1; }

echo "| case | expected | seen | result |"
echo "|---|---|---|---|"
while IFS=$'\t' read -r name expected seen result; do
    echo "| $name | $expected | $seen | $result |"
done <"$rows"
awk -F'\t' '{ count[$4]++ } END { printf "\n%d cases: %d passed, %d failed, %d skipped\n", NR, count["PASS"], count["FAIL"], count["SKIP"] }' "$rows"

missing=()
for name in "${@:2}"; do
    grep -q "^$name"$'\t' "$rows" || missing+=("$name")
done
((${#missing[@]} == 0)) || { echo "no row for: ${missing[*]}"; exit 1; }
