# bash completion for vqharvest                            -*- shell-script -*-
#
# Each command lists its options in two arrays: those that take a value and those
# that do not. Options whose value is a file or a directory complete as such; any
# other value is left to the user.

_vqharvest()
{
    local cur prev words cword
    _init_completion || return

    local commands="crawl extract merge urls help"
    local -a crawl_valued=(--speed --page-timeout --contains --excludes --markers --from --out --report
                           --lanes --per-host --host-delay --recycle --max-page-mb --shard --retries --retry-timeout
                           --renderers --settle
                           --depth --follow --max-per-site --user-agent --proxy --robots)
    local -a crawl_flags=(--links --fax --dedup --filter --site --https --frames --ocr --fast --settle-idle --images --no-net-check --quiet --help
                          --frontier --resume --fresh)
    local -a extract_valued=(--markers --encoding)
    local -a extract_flags=(--dedup --help)
    local -a merge_valued=()
    local -a merge_flags=(--help)
    local -a urls_valued=(--step)
    local -a urls_flags=(--help)

    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local command=${words[1]}
    case $command in
        crawl | extract | merge | urls) ;;
        *) return ;;
    esac

    # The value of the option before the cursor.
    case $prev in
        --markers | --report) _filedir; return ;;
        --out) _filedir -d; return ;;
        --encoding) COMPREPLY=($(compgen -W "auto gbk utf-8" -- "$cur")); return ;;
        --follow) COMPREPLY=($(compgen -W "site all" -- "$cur")); return ;;
        --robots) COMPREPLY=($(compgen -W "obey ignore" -- "$cur")); return ;;
        --user-agent | --proxy) return ;;
    esac
    local -n valued=${command}_valued flags=${command}_flags
    local option
    for option in "${valued[@]}"; do
        [[ $prev == "$option" ]] && return # a number or a text
    done

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "${valued[*]} ${flags[*]}" -- "$cur"))
        return
    fi
    case $command in
        crawl | extract | merge) _filedir ;;
    esac
} &&
    complete -F _vqharvest vqharvest

# ex: filetype=sh
