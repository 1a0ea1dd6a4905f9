# bash completion for vormap
_vormap() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  case $prev in
    -s|--seed|--map|--water|--trees|--hills) return ;;  # a seed, a name or a factor
    -o|--output) COMPREPLY=($(compgen -f -- "$cur")); compopt -o filenames 2>/dev/null; return ;;
    --lake) COMPREPLY=($(compgen -W "east north west south" -- "$cur")); return ;;
    --symmetry) COMPREPLY=($(compgen -W "none mirror turn" -- "$cur")); return ;;
    --keep) COMPREPLY=($(compgen -W "blue green" -- "$cur")); return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "-s -o -d -h --help --version --seed --output --debug --map --lake --symmetry --keep --water --trees --hills" -- "$cur"))
  fi
}
complete -o default -F _vormap vormap
