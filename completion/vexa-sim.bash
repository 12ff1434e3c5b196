# bash completion for vexa-sim: its commands, and nothing after them (a board
# index after power-cycle is not guessed).

_vexa_sim() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "show power-cycle reset help -h --help" -- "$cur"))
    fi
    return 0
}

complete -F _vexa_sim vexa-sim
