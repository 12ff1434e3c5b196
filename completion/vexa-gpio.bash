# bash completion for vexa-gpio
#
# Completes the options, the "<bank>:" of a -set argument ("all" and the bank
# numbers) and the settings words after the colon, one comma-separated word at a
# time. Board indexes are not completed, and the banks offered are those any board
# can have: only the hardware library knows the boards, and asking it means opening
# the board and reading its expanders, which is too slow and too intrusive for a
# key press.

_vexa_gpio_options="-h -help -b -board -f -force -g -get -s -set -v -verbose -x -exclude"
_vexa_gpio_banks="all 0 1 2"
_vexa_gpio_single_settings="default clear dip-switch"
# One line per setting: the words that give it.
_vexa_gpio_setting_kinds=(
    "ds differential se single-ended"
    "pu pull-up pd pull-down"
    "in inverted ni not-inverted"
)

# Prints the candidate completions of the settings text $1, one a line.
_vexa_gpio_settings() {
    local text=$1
    local -a given=()
    IFS=, read -r -a given <<<"$text,"
    local last=${given[${#given[@]} - 1]}
    unset 'given[${#given[@]}-1]'
    if ((${#given[@]} >= 3)); then
        return
    fi
    # default, clear and dip-switch stand alone.
    if ((${#given[@]} > 0)) && [[ " $_vexa_gpio_single_settings " == *" ${given[0]} "* ]]; then
        return
    fi
    local done_part="" kind word used candidates=""
    if ((${#given[@]} > 0)); then
        done_part="${text%,*},"
    else
        candidates=$_vexa_gpio_single_settings
    fi
    # A word of a setting already given is not offered again; the last of the
    # three words gets no comma after it.
    local comma=,
    ((${#given[@]} == 2)) && comma=""
    for kind in "${_vexa_gpio_setting_kinds[@]}"; do
        used=0
        for word in "${given[@]}"; do
            [[ " $kind " == *" $word "* ]] && used=1
        done
        if ((used == 0)); then
            for word in $kind; do
                candidates+=" $word$comma"
            done
        fi
    done
    local candidate
    for candidate in $(compgen -W "$candidates" -- "$last"); do
        printf '%s\n' "$done_part$candidate"
    done
}

_vexa_gpio() {
    # The whole word being completed, colons included: bash splits words at a
    # colon for completion, the tool does not.
    local line=${COMP_LINE:0:COMP_POINT}
    local cur=${line##*[[:space:]]}

    # Find the option that the word belongs to.
    local context=option i
    for ((i = COMP_CWORD - 1; i > 0; i--)); do
        case ${COMP_WORDS[i]} in
        -s | -set | --s | --set)
            context=setting
            break
            ;;
        -b | -board | --b | --board)
            ((i == COMP_CWORD - 1)) && context=board
            break
            ;;
        -*) break ;;
        esac
    done

    local -a replies=()
    if [[ $cur == -* ]]; then
        local options=$_vexa_gpio_options
        [[ $cur == --* ]] && options=$(printf -- '-%s ' $options)
        replies=($(compgen -W "$options" -- "$cur"))
    elif [[ $context == board ]]; then
        replies=()
    elif [[ $context == setting ]]; then
        if [[ $cur == *:* ]]; then
            local bank=${cur%%:*} settings
            while IFS= read -r settings; do
                replies+=("$bank:$settings")
            done < <(_vexa_gpio_settings "${cur#*:}")
        else
            replies=($(compgen -W "$_vexa_gpio_banks" -S : -- "$cur"))
        fi
    else
        replies=($(compgen -W "$_vexa_gpio_options" -- "$cur"))
    fi

    # Bash replaces only the text after the last word-break character.
    if [[ $cur == *:* && $COMP_WORDBREAKS == *:* ]]; then
        local head=${cur%:*}:
        replies=("${replies[@]#"$head"}")
    fi
    COMPREPLY=("${replies[@]}")

    # Keep typing after "0:" or "ds,": no space yet.
    if ((${#COMPREPLY[@]} == 1)) && [[ ${COMPREPLY[0]} == *[:,] ]]; then
        compopt -o nospace 2>/dev/null
    fi
    return 0
}

complete -F _vexa_gpio vexa-gpio
