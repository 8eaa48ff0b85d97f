#!/bin/sh
# Makes the manual page of a program from its --help and --version texts
# with help2man, compressed as Debian wants it:
#   manpage.sh PROGRAM DESCRIPTION OUT.1.gz [COMMAND...]
# The --help text of each "PROGRAM COMMAND" becomes a subsection of the
# page's COMMANDS section, word for word.
set -eu
program=$1
description=$2
out=$3
shift 3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
include="$work/include"
printf '[AUTHOR]\nThe qm320 developers.\n' >"$include"
if [ $# -gt 0 ]; then
    echo "[COMMANDS]" >>"$include"
    for command in "$@"; do
        printf '.SS "%s"\n.nf\n' "$command" >>"$include"
        # roff: a backslash is written \e, a line must not start with . or '.
        "$program" "$command" --help | sed -e 's/\\/\\e/g' -e "s/^[.']/\\\\\\&&/" >>"$include"
        printf '.fi\n' >>"$include"
    done
fi
# The page's date is the build's, unless SOURCE_DATE_EPOCH says otherwise.
help2man --no-info --section=1 --name="$description" \
    --include="$include" --output="$work/page.1" "$program"
gzip -9n <"$work/page.1" >"$out"
