# bash completion for vxltool
_vxltool() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local commands="info preview diff gallery mesh view to-vox from-vox search help"
  if [[ $COMP_CWORD -eq 1 ]]; then
    COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
    return
  fi
  local options=""
  case ${COMP_WORDS[1]} in
    info) options="--json" ;;
    preview) options="--heightmap --absolute --scale" ;;
    diff) options="" ;;
    gallery) options="-d --jobs --vormap --no-pages --lake --symmetry --keep --water --trees --hills --variant" ;;
    mesh) options="--meshopt --plain" ;;
    view) options="" ;;
    to-vox) options="" ;;
    from-vox) options="--base" ;;
    search) options="--where --top --by --jobs --shard --format -o --resume --figures --lake --symmetry --keep --water --trees --hills --variant" ;;
    help) COMPREPLY=($(compgen -W "$commands" -- "$cur")); return ;;
    *) return ;;
  esac
  case $prev in
    --scale|--jobs|--top|--shard|--where|--by) return ;;  # a number or an expression
    --format) COMPREPLY=($(compgen -W "jsonl csv" -- "$cur")); return ;;
    --lake) COMPREPLY=($(compgen -W "east north west south" -- "$cur")); return ;;
    --symmetry) COMPREPLY=($(compgen -W "none mirror turn" -- "$cur")); return ;;
    --keep) COMPREPLY=($(compgen -W "blue green" -- "$cur")); return ;;
    --water|--trees|--hills|--variant) return ;;
    --vormap) COMPREPLY=($(compgen -c -- "$cur")); return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
  fi
  # Otherwise nothing here, and complete -o default offers file names.
}
complete -o default -F _vxltool vxltool
