# bash completion for quorvandelia-cli: subcommands, options, method names and table files.
# The candidates are read from the program's own --help at each use, so they always match the
# installed program: every subcommand, every option and every method of the analysis catalogue.

# Prints the help of "quorvandelia-cli <path...>", or nothing when the program cannot run.
_quorvandelia_cli_help() {
  "$@" --help 2>/dev/null
}

# The first words of the indented lines of one section of a help text ("Subcommands:",
# "Métodos:").
_quorvandelia_cli_section() {
  local section=$1 help=$2
  awk -v s="$section" '
    $0 == s { inside = 1; next }
    inside && /^[^ ]/ { inside = 0 }
    inside && /^  [^ -]/ { print $1 }' <<<"$help"
}

# The option names of the "Options:" section, and which of them take a value.
_quorvandelia_cli_options() {
  local help=$1 want=$2
  awk -v want="$want" '
    /^Options:/ { inside = 1; next }
    inside && /^[^ ]/ { inside = 0 }
    inside && /^  +-/ {
      line = $0; sub(/^ +/, "", line)
      split(line, parts, /  +/); head = parts[1]
      n = split(head, words, / /)
      takes = (n > 1)
      m = split(words[1], names, /,/)
      for (i = 1; i <= m; i++)
        if (want == "all" || (want == "value" && takes)) print names[i]
    }' <<<"$help"
}

_quorvandelia_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=""
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  local program=${COMP_WORDS[0]}
  COMPREPLY=()

  # Follow the subcommands typed so far: "table convert", "analyze", ...
  local -a path=("$program")
  local help subcommands word i
  help=$(_quorvandelia_cli_help "${path[@]}") || return 0
  [[ -n $help ]] || return 0
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    [[ $word == -* ]] && continue
    subcommands=$(_quorvandelia_cli_section "Subcommands:" "$help")
    if grep -qxF -- "$word" <<<"$subcommands"; then
      path+=("$word")
      help=$(_quorvandelia_cli_help "${path[@]}")
    fi
  done

  # The value of an option: method names after --method, files after the file options.
  if [[ $prev == -* ]] && grep -qxF -- "$prev" <<<"$(_quorvandelia_cli_options "$help" value)"; then
    case $prev in
      -m | --method)
        mapfile -t COMPREPLY < <(compgen -W "$(_quorvandelia_cli_section "Métodos:" "$help")" -- "$cur")
        ;;
      -o | --output | --results)
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        ;;
      --plots)
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        ;;
      *)
        # Options whose values the help lists as a choice, e.g. "{svg,png,pdf}".
        local choices
        choices=$(grep -E "^ +([^ ]+,)?$prev[ ,]" <<<"$help" | grep -oE '\{[^}]*\}' | head -n 1 |
                  tr -d '{}' | tr ',' ' ')
        [[ -n $choices ]] && mapfile -t COMPREPLY < <(compgen -W "$choices" -- "$cur")
        ;;
    esac
    return 0
  fi

  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$(_quorvandelia_cli_options "$help" all)" -- "$cur")
    return 0
  fi
  subcommands=$(_quorvandelia_cli_section "Subcommands:" "$help")
  if [[ -n $subcommands ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$subcommands" -- "$cur")
    return 0
  fi
  # Positionals: tables and text files.
  compopt -o filenames 2>/dev/null
  mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}

complete -F _quorvandelia_cli quorvandelia-cli
