# Prints what zsh's own completion offers at the end of a command line, one
# match a line: it types the line into an interactive zsh on a pseudo-terminal,
# presses Tab and records every match the completion functions add.
#   zsh -f zsh_complete.zsh FUNCTION_FOLDER LINE
zmodload zsh/zpty || exit 2
zpty shell zsh -f -i
zpty -w shell "PROMPT= fpath=(${(q)1} \$fpath); autoload -Uz compinit; compinit -D -u"
zpty -w shell 'zmodload zsh/zutil; bindkey "^I" complete-word'
# Each match goes out on a line of its own, after "MATCH=", with the word with its prefixes; a caller
# that collects matches itself (-O, -A, -D) is left alone.
zpty -w shell 'compadd() {
  if [[ ${@[1,(i)(-|--)]} == *-(O|A|D)\ * ]]; then builtin compadd "$@"; return; fi
  local -a found before path_before; builtin compadd -O found "$@"
  zparseopts -E P:=before p:=path_before
  local word; for word in $found; do print -rl -- "" "MATCH=$IPREFIX${before[2]}${path_before[2]}$word"; done
  builtin compadd "$@"
}'
zpty -w shell 'comppostfuncs=(completion-done); completion-done() { print -rl -- "" DONE=; exit }'
zpty -w -n shell "$2"$'\t'
local line
while zpty -r shell line; do
  line=${${line//$'\r'}%$'\n'}
  [[ $line == DONE= ]] && break
  [[ $line == MATCH=* ]] && print -r -- ${line#MATCH=}
done
zpty -d shell
