#!/usr/bin/env bash
# Keeps what a user reads in step with the program: every option and environment variable that
# `verimant-cli --help` lists is in its manual page, every option and command is offered by the
# bash completion, and every command has a line in docs/command-line.md's list.
#
# Usage: pages_in_step.sh VERIMANT_CLI SOURCE_DIR [MANUAL_PAGE [COMPLETION]]
# Without MANUAL_PAGE the page is made with help2man, as the package makes it; without COMPLETION
# the source tree's file is used. Prints every difference and fails when there is one.
set -u
cli="$1" source_dir="$2"
page="${3:-}" completion="${4:-$source_dir/packaging/verimant-cli.bash-completion}"
commands_doc="$source_dir/docs/command-line.md"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
problems=0

missing() {
    echo "$1"
    problems=$((problems + 1))
}

help="$("$cli" --help)" || { echo "verimant-cli --help failed"; exit 1; }

# The lines of one --help section ("Options:", ...), up to the next blank line.
section() {
    awk -v title="$1" '$0 == title { inside = 1; next } /^$/ { inside = 0 } inside' <<<"$help"
}
mapfile -t options < <(section "Options:" | sed -n 's/^ *\(-[a-zA-Z], \)\{0,1\}--\([a-z0-9-]*\).*/\2/p')
mapfile -t commands < <(section "Commands:" | sed -n 's/^  \([a-z0-9-][a-z0-9-]*\).*/\1/p')
# "  NAME  text" or "  NAME, NAME" with its text on the next line.
mapfile -t variables < <(section "Environment:" |
                         sed -En 's/^  ([A-Za-z_]+(, [A-Za-z_]+)*)( {2,}.*)?$/\1/p' |
                         tr ',' '\n' | tr -d ' ')
[ "${#options[@]}" -gt 10 ] || missing "--help lists too few options: ${options[*]}"
[ "${#commands[@]}" -gt 10 ] || missing "--help lists too few commands: ${commands[*]}"
[ "${#variables[@]}" -gt 5 ] || missing "--help lists too few environment variables: ${variables[*]}"

# The manual page's text, without roff's escapes, so that "\fB\-\-port\fR" reads "--port".
if [ -z "$page" ]; then
    page="$work/verimant-cli.1"
    command -v help2man >/dev/null || { echo "help2man is needed: apt-get install help2man"; exit 1; }
    help2man --no-info --version-string=test --include="$source_dir/packaging/verimant-cli.h2m" \
        --output="$page" "$cli" || { echo "help2man failed"; exit 1; }
fi
if [[ $page == *.gz ]]; then
    zcat "$page" >"$work/page.roff"
else
    cp "$page" "$work/page.roff"
fi
sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\(.[a-z]//g' "$work/page.roff" >"$work/page.txt"

# Whole words: --verify must not pass because --no-verify is there.
has_word() {
    grep -qE -- "(^|[^A-Za-z0-9_-])$1([^A-Za-z0-9_-]|$)" "$2"
}

for option in "${options[@]}"; do
    has_word "--$option" "$work/page.txt" || missing "manual page lacks --$option"
done
for variable in "${variables[@]}"; do
    has_word "$variable" "$work/page.txt" || missing "manual page lacks $variable"
done

# The completion as bash runs it: what it offers after "--" and for the first word.
offered() {
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _verimant_cli
             printf "%s\n" "${COMPREPLY[@]}"' completion "$completion" "$@"
}
offered verimant-cli -- >"$work/offered-options"
offered verimant-cli "" >"$work/offered-commands"
for option in "${options[@]}"; do
    grep -qxF -- "--$option" "$work/offered-options" || missing "completion does not offer --$option"
done
for command in "${commands[@]}"; do
    grep -qxF -- "$command" "$work/offered-commands" || missing "completion does not offer $command"
    # A line of the list: "    verimant-cli [--json] COMMAND ...".
    grep -qE -- "^    verimant-cli( --?[a-z-]+)* $command( |$)" "$commands_doc" ||
        missing "docs/command-line.md's list lacks $command"
done

[ "$problems" -eq 0 ] || { echo "$problems difference(s)"; exit 1; }
echo "in step: ${#options[@]} options, ${#commands[@]} commands, ${#variables[@]} variables"
