#!/bin/bash
# The README's roads through the code name functions by file: every step is a
# list item "`path/to/File.cpp`: ... `Name::function()` ...". Fails, naming the
# step, when a file is gone or no longer holds a function it is said to hold, so
# the map cannot drift from the code. Usage: check-roads.sh REPO_ROOT
set -u
root=${1:?usage: check-roads.sh REPO_ROOT}
readme=$root/README.md

# The section from its heading to the next heading of the same or a higher level.
section=$(awk '/^### Roads through the code/ { inside = 1; next } inside && /^#{1,3} / { exit } inside' "$readme")
if [ -z "$section" ]; then
    echo "README.md has no \"### Roads through the code\" section"
    exit 1
fi

steps=0
missing=0
while IFS= read -r line; do
    file=$(sed -E 's/^[^`]*`([^`]+)`.*/\1/' <<<"$line")
    if [ ! -f "$root/$file" ]; then
        echo "missing file $file in: $line"
        missing=$((missing + 1))
        continue
    fi
    for function in $(grep -oE '`[A-Za-z_][A-Za-z0-9_:]*\(\)`' <<<"$line" | tr -d '`()'); do
        steps=$((steps + 1))
        # Its own name with the opening parenthesis: a member may be defined
        # inside its class or namespace, where the qualifier is not written.
        name=${function##*::}
        if ! grep -qE "(^|[^A-Za-z0-9_])${name}\(" "$root/$file"; then
            echo "missing function $function in $file"
            missing=$((missing + 1))
        fi
    done
done < <(grep -E '^\s*([0-9]+\.|-) `[^`]+`:' <<<"$section")

if [ "$steps" -lt 10 ]; then
    echo "the roads name only $steps functions; is the list format still \"- \`file\`: \`function()\`\"?"
    exit 1
fi
if [ "$missing" -gt 0 ]; then
    echo "$missing name(s) of the README's roads are not in the code"
    exit 1
fi
echo "all $steps functions of the README's roads found"
