# Bash completion for vortrim. Its values are glued to their option letter
# (-iBANK.KAA, -ePATCHES), so the word is completed after its first two
# characters: -i offers bank files (.KAA, any case) and folders, -e folders
# only, and a lone - the options. Installed as
# share/bash-completion/completions/vortrim. zsh runs it through
# bashcompinit, so it keeps to what both shells read alike.

# The text of a partly typed word as the shell will read it: backslashes
# and an opening quote removed.
_vortrim_dequote() {
  local word=$1 text= i=0 c
  case $word in
    \"* | \'*)
      text=${word:1}
      text=${text%"${word:0:1}"}
      ;;
    *)
      while [ "$i" -lt "${#word}" ]; do
        c=${word:$i:1}
        if [ "$c" = \\ ]; then
          i=$((i + 1))
          c=${word:$i:1}
        fi
        text=$text$c
        i=$((i + 1))
      done
      ;;
  esac
  printf '%s' "$text"
}

_vortrim() {
  local word=${COMP_WORDS[COMP_CWORD]} option value name
  COMPREPLY=()
  case $word in
    -[iIeE]*)
      option=${word:0:2}
      value=$(_vortrim_dequote "${word:2}")
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
}

# The shell quotes what it inserts as file names (spaces, "&", "%").
complete -o filenames -F _vortrim vortrim
