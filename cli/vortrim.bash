# Bash completion for vortrim. Its values are glued to their option letter
# (-iBANK.KAA, -ePATCHES), so the word is completed after its first two
# characters: -i offers bank files (.KAA, any case) and folders, -e folders
# only, and a lone - the options. Installed as
# share/bash-completion/completions/vortrim. zsh runs it through
# bashcompinit, so it keeps to what both shells read alike.

# The text of a partly typed word as the shell will read it: quotes,
# closed or not, and backslashes removed.
_vortrim_dequote() {
  local word=$1 text= quote= i=0 c
  while [ "$i" -lt "${#word}" ]; do
    c=${word:$i:1}
    if [ -z "$quote" ] && { [ "$c" = \" ] || [ "$c" = \' ]; }; then
      quote=$c
    elif [ -n "$quote" ] && [ "$c" = "$quote" ]; then
      quote=
    else
      if [ "$c" = \\ ] && [ "$quote" != \' ]; then
        i=$((i + 1))
        c=${word:$i:1}
      fi
      text=$text$c
    fi
    i=$((i + 1))
  done
  printf '%s' "$text"
}

_vortrim() {
  local word=${COMP_WORDS[COMP_CWORD]} typed=$2 kept= option value name replies
  COMPREPLY=()
  # After a quote that is still open (-i"My, "-iMy) readline completes only
  # the text that follows it ($2): what comes before stays as typed, and the
  # replies are cut to what follows it.
  if [ "$typed" != "$word" ] && [[ $word == *"$typed" ]]; then
    kept=${word%"$typed"}
    kept=$(_vortrim_dequote "${kept%[\"\']}")
  fi
  word=$(_vortrim_dequote "$word")
  case $word in
    -[iIeE]*)
      option=${word:0:2}
      value=${word:2}
      # The shell expands no "~" glued to -i or -e: the reply names the
      # folder itself, so that the command works.
      case $value in
        "~" | "~/"*) value=$HOME${value:1} ;;
      esac
      # Folders always, to descend into; files only for -i, and only banks.
      # A glob rather than compgen -f, which zsh's bashcompinit fills from
      # the whole word.
      for name in "$value"*; do
        if [ -d "$name" ]; then
          COMPREPLY+=("$option$name/")
        elif [ -e "$name" ]; then
          case $option$name in
            -[iI]*.[kK][aA][aA]) COMPREPLY+=("$option$name") ;;
          esac
        fi
      done
      # A lone folder is completed without a space, ready for what is in it.
      if [ "${#COMPREPLY[@]}" -eq 1 ] && [[ ${COMPREPLY[*]} == */ ]] &&
        type compopt > /dev/null 2>&1; then
        compopt -o nospace
      fi
      ;;
    -* | '')
      for name in -i -e -l; do
        case $name in
          "$word"*) COMPREPLY+=("$name") ;;
        esac
      done
      ;;
  esac
  [ -n "$kept" ] || return 0
  replies=("${COMPREPLY[@]}")
  COMPREPLY=()
  for name in "${replies[@]}"; do
    name=${name#"$kept"}
    # Cut to a folder's own path, a reply is one that readline knows for a
    # folder: it closes the quote and appends the slash itself.
    COMPREPLY+=("${name%/}")
  done
}

# The shell quotes what it inserts as file names (spaces, "&", "%").
complete -o filenames -F _vortrim vortrim
