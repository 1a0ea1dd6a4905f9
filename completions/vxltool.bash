# bash completion for vxltool

# The figure names, as `vxltool search --figures` lists them (help_test
# checks that the two agree).
_vxltool_figures="water_percent land_percent high_percent min_height max_height mean_height mean_slope flat_percent trees blue_water_percent blue_mean_height blue_max_height blue_flat_percent blue_mean_slope blue_cover green_water_percent green_mean_height green_max_height green_flat_percent green_mean_slope green_cover height_advantage centre_distance fairness"

# Completes the figure name being typed at the end of WORD: the argument of
# --where, an expression that may be quoted ('fairness > 0.3 and gr), or of
# --by, where a leading - asks for the smallest.
_vxltool_complete_figure() {
  local text=$1 quote="" figure
  if [[ $text == [\'\"]* ]]; then
    quote=${text:0:1}
    text=${text:1}
  fi
  local name=${text##*[!a-z_]}
  local before=${text%"$name"}
  for figure in $_vxltool_figures; do
    [[ $figure == "$name"* ]] && COMPREPLY+=("$before$figure")
  done
  # In a quoted expression, which goes on after the name, readline would
  # close the quote after a single match (and `'fairness' > 0.3` is a
  # redirection): a second match, the same with a space, keeps it open.
  if [ -n "$quote" ]; then
    compopt -o nospace 2>/dev/null
    [ ${#COMPREPLY[@]} = 1 ] && COMPREPLY+=("${COMPREPLY[0]} ")
  fi
}

_vxltool() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local commands="info preview diff gallery mesh view web to-vox from-vox search help"
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
    web) options="" ;;
    to-vox) options="" ;;
    from-vox) options="--base" ;;
    search) options="--where --top --by --jobs --shard --format -o --resume --figures --lake --symmetry --keep --water --trees --hills --variant" ;;
    help) COMPREPLY=($(compgen -W "$commands" -- "$cur")); return ;;
    *) return ;;
  esac
  case $prev in
    --scale|--jobs|--top|--shard) return ;;  # a number
    --where|--by) _vxltool_complete_figure "$cur"; return ;;
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
