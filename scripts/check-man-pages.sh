#!/usr/bin/env bash
# Checks the manual pages against the programs: each page formats without a warning, and every
# long option a program's --help lists (each subcommand's too) is named in its page.
#   scripts/check-man-pages.sh DOCS_FOLDER PROGRAM...
set -euo pipefail
docs=$1
shift
failures=0

# The help of a program or subcommand, followed by that of each of its subcommands, which are
# listed under their heading, one a line, indented by two spaces.
all_helps() {
    local help sub
    help=$("$@" --help)
    echo "$help"
    for sub in $(sed -n '/^Órdenes:/,/^$/s/^  \([a-z][a-z-]*\).*/\1/p' <<<"$help"); do
        all_helps "$@" "$sub"
    done
}

for program in "$@"; do
    name=$(basename "$program")
    page=$docs/$name.1
    warnings=$(man --warnings -l "$page" 2>&1 >/dev/null || true)
    if [[ -n $warnings ]]; then
        echo "$page: $warnings"
        failures=$((failures + 1))
    fi
    # The page as text, with roff's escaped hyphens made plain.
    text=$(sed 's/\\-/-/g' "$page")
    helps=$(all_helps "$program")
    for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$helps" | sort -u); do
        if ! grep -q -- "$option" <<<"$text"; then
            echo "$page does not name $option"
            failures=$((failures + 1))
        fi
    done
done
exit $((failures > 0))
