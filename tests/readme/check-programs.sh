#!/bin/bash
# Every program the README tells the reader to run from the build folder
# (`build/release/...` without a file extension or a trailing slash) is there
# and executable once the build is done, so no command it gives fails for a
# wrong path. Usage: check-programs.sh REPO_ROOT BUILD_DIR
set -u
root=${1:?usage: check-programs.sh REPO_ROOT BUILD_DIR}
build=${2:?usage: check-programs.sh REPO_ROOT BUILD_DIR}

programs=$(grep -oE 'build/release/[A-Za-z0-9_./-]+' "$root/README.md" | grep -vE '/$|\.[A-Za-z0-9]+$' | sort -u)
if [ -z "$programs" ]; then
    echo "README.md names no program under build/release/"
    exit 1
fi
missing=0
for program in $programs; do
    if [ ! -x "$build/${program#build/release/}" ]; then
        echo "README.md gives $program, which the build does not make"
        missing=$((missing + 1))
    fi
done
[ "$missing" -eq 0 ] || exit 1
echo "all $(wc -w <<<"$programs") programs the README gives are built: $(tr '\n' ' ' <<<"$programs")"
