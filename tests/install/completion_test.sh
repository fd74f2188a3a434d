#!/usr/bin/env bash
# The completions for bash, zsh and fish, each through its own shell, and the
# manual page, against the commands and options that 'trellan --help' lists.
# usage: completion_test.sh TRELLAN SOURCE_DIR
set -euo pipefail
trellan=$1 source=$2
completions=$source/completions
manual=$source/docs/man/trellan.1.scd
fail() { echo "FAIL: $*" >&2; exit 1; }

# Every command and every option of each in the page and in every shell's file.
commands=$("$trellan" --help | sed -n '/^commands:/,/^$/s/^  \([a-z]*\( [a-z]*\)\?\) .*/\1/p' | sed 's/  *$//')
[ -n "$commands" ] || fail "no commands in trellan --help"
while read -r command; do
  options=$("$trellan" $command --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
  for file in "$manual" "$completions/trellan.bash" "$completions/_trellan" "$completions/trellan.fish"; do
    grep -q -- "${command##* }" "$file" || fail "$file lacks the command $command"
    for option in $options; do
      case $file in
        *.fish) pattern="-l ${option#--}" ;;
        *) pattern="$option" ;;
      esac
      grep -q -- "$pattern" "$file" || fail "$file lacks $command $option"
    done
  done
done <<<"$commands"

# Every field of the query, as the parser names them when a field is none,
# in the help, the page and every shell's file.
fields=$({ "$trellan" list artists 'nofield:x' 2>&1 || true; } | sed -n 's/.*the fields are \(.*\) (at character.*/\1/p' |
  sed 's/ and /, /; s/:NAME//g; s/,//g')
[ -n "$fields" ] || fail "trellan list names no fields for a query with one that is none"
search_help=$("$trellan" search --help)
for field in $fields; do
  grep -q -- "$field:" <<<"$search_help" || fail "trellan search --help lacks the field $field:"
  grep -qF -- "*$field:*" "$manual" || fail "$manual lacks the field $field:"
  grep -qF -- "$field\\:" "$completions/_trellan" || fail "_trellan lacks the field $field:"
  for file in "$completions/trellan.bash" "$completions/trellan.fish"; do
    grep -q -- "$field:" "$file" || fail "$file lacks the field $field:"
  done
done

# What each shell offers: line typed, then a word that must be offered.
cases=(
  "trellan |search"
  "trellan se|search"
  "trellan search --|--limit"
  "trellan search ti|title:"
  "trellan search --json au|author:"
  "trellan index --st|--status"
  "trellan dump --mo|--module"
  "trellan reg |import"
  "trellan script run --|--unregister"
)

bash_offers() {
  bash --norc -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    COMP_LINE=$2 COMP_POINT=${#2}
    read -ra COMP_WORDS <<<"$2"
    [[ $2 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _trellan trellan "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
    printf "%s\n" "${COMPREPLY[@]}"' _ "$completions/trellan.bash" "$1"
}

fish_offers() {
  fish --no-config -c 'source $argv[1]; complete -C $argv[2]' "$completions/trellan.fish" "$1" | cut -f1
}

# zsh completes only at an interactive prompt: one in a pseudo-terminal,
# with compadd reporting what it adds.
zsh_offers() {
  timeout 30 zsh -f -c '
    zmodload zsh/zpty
    zpty z zsh -f -i
    zpty -w z "PROMPT=; fpath=($1 \$fpath); autoload -U compinit; compinit -u -D"
    zpty -w z "compadd () { builtin compadd -O __hits \"\$@\"; print -rl -- \"<hit>\"\${^__hits}; builtin compadd \"\$@\" }"
    zpty -w z "print -r -- \"<ready>\""
    zpty -r z out "*<ready>*"
    zpty -w z "$2"$'"'"'\t'"'"'
    sleep 1
    zpty -w z $'"'"'\C-u'"'"'"print -r -- \"<done>\""$'"'"'\n'"'"'
    zpty -r z out "*<done>*<done>*"
    print -r -- "$out" | grep -ao "<hit>[^[:cntrl:]]*" | sed "s/<hit>//"
    zpty -d z' _ "$completions" "$1"
}

for shell in bash zsh fish; do
  for entry in "${cases[@]}"; do
    line=${entry%%|*} expected=${entry#*|}
    offered=$("${shell}_offers" "$line")
    grep -qxF -- "$expected" <<<"$offered" || fail "$shell offers no '$expected' for '$line' (it offers: $(echo $offered))"
  done
  echo "completion test: $shell passed"
done
