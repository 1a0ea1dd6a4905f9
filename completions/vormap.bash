# bash completion for vormap
_vormap() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  case $prev in
    -s) return ;;  # a seed
    -o) COMPREPLY=($(compgen -f -- "$cur")); compopt -o filenames 2>/dev/null; return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "-s -o -d -h --help --version" -- "$cur"))
  fi
}
complete -o default -F _vormap vormap
