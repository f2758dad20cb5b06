# bash completion for rudeze_duziruzuderi-history: its option names, the values
# of the options that take one of a fixed set, and folders for --root.
# Installed as share/bash-completion/completions/rudeze_duziruzuderi-history,
# where bash-completion loads it on first use; it needs nothing of it.

_rudeze_duziruzuderi_history() {
  # A new option or value is one more word in one of these lists.
  local options="--root --by --since --until --tz --profile --model --project --format --output --help --version"
  local by="day week month hour weekday profile model project root session"
  local formats="table json csv html prometheus"
  local zones="local utc"

  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  # The option whose value is being typed: "--by VALUE", or "--by=VALUE",
  # which bash splits into "--by", "=" and VALUE.
  local option= prefix=
  if [[ $cur == "=" ]]; then
    option=$prev cur=
  elif [[ $prev == "=" ]] && ((COMP_CWORD > 1)); then
    option=${COMP_WORDS[COMP_CWORD - 2]}
  elif [[ $cur == --*=* ]]; then
    # "=" taken out of COMP_WORDBREAKS: the word keeps its option.
    prefix=${cur%%=*}= option=${cur%%=*} cur=${cur#*=}
  elif [[ $prev == --* ]]; then
    option=$prev
  fi

  local words=
  COMPREPLY=()
  case $option in
    --by) words=$by ;;
    --format) words=$formats ;;
    --tz) words=$zones ;;
    --root)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      ;;
    --output | -o)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      ;;
    --since | --until | --profile | --model | --project) ;;
    *) [[ $cur == -* || -z $cur ]] && words=$options ;;
  esac
  [ -n "$words" ] && mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
  [ -n "$prefix" ] && COMPREPLY=("${COMPREPLY[@]/#/$prefix}")
  return 0
}

complete -F _rudeze_duziruzuderi_history rudeze_duziruzuderi-history
