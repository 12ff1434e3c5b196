#!/usr/bin/env bash
# Checks the bash completion of vexa-gpio and vexa-sim: each case is a command line typed up
# to the cursor and the replies bash would offer, as bash itself splits the line
# into COMP_WORDS (blanks, and the colon as a word of its own).
#
#   completion-test.bash <folder of the completion scripts>
set -uo pipefail

source "$1/vexa-gpio.bash" || exit 1
source "$1/vexa-sim.bash" || exit 1

failures=0
total=0

# check <line up to the cursor> <expected replies, sorted, blank-separated>
check() {
    local line=$1 expected=$2
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMP_WORDBREAKS=${COMP_WORDBREAKS_UNDER_TEST-$' \t\n"'\''><=;|&(:'}
    local split=$line
    [[ $COMP_WORDBREAKS == *:* ]] && split=${line//:/ : }
    read -r -a COMP_WORDS <<<"$split"
    [[ $line == *[[:space:]] || $split == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    "_${COMP_WORDS[0]//-/_}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' ')
    total=$((total + 1))
    if [[ $got != "$expected" ]]; then
        failures=$((failures + 1))
        printf 'FAILED: "%s"\n  expected: [%s]\n  got:      [%s]\n' "$line" "$expected" "$got"
    fi
}

all_options="-b -board -exclude -f -force -g -get -h -help -s -set -v -verbose -x"

# Options, short and long, with one or two minus signs.
check "vexa-gpio " "$all_options"
check "vexa-gpio -" "$all_options"
check "vexa-gpio -b" "-b -board"
check "vexa-gpio -ex" "-exclude"
check "vexa-gpio --se" "--set"
check "vexa-gpio --" "--b --board --exclude --f --force --g --get --h --help --s --set --v --verbose --x"
check "vexa-gpio -board 0 -g" "-g -get"
check "vexa-gpio -board 0 " "$all_options"
check "vexa-gpio -q" ""

# No guessing of board indexes.
check "vexa-gpio -board " ""
check "vexa-gpio --b " ""

# Banks after -set, and after every setting argument of the same -set.
check "vexa-gpio -board 0 -set " "0: 1: 2: all:"
check "vexa-gpio -b 0 -s a" "all:"
check "vexa-gpio -b 0 --set 1" "1:"
check "vexa-gpio -b 0 -set 0:default " "0: 1: 2: all:"
check "vexa-gpio -b 0 -set 0:default 1:clear -" "$all_options"
check "vexa-gpio -b 0 -set 0:default -get " "$all_options"

# Settings words after the colon: bash replaces only the text after it.
check "vexa-gpio -b 0 -set 0:" "clear default differential, dip-switch ds, in, inverted, ni, not-inverted, pd, pu, pull-down, pull-up, se, single-ended,"
check "vexa-gpio -b 0 -set all:de" "default"
check "vexa-gpio -b 0 -set 2:di" "differential, dip-switch"
check "vexa-gpio -b 0 -set 1:dip" "dip-switch"
# The next word leaves out the settings already given; the third gets no comma.
check "vexa-gpio -b 0 -set 0:ds," "ds,in, ds,inverted, ds,ni, ds,not-inverted, ds,pd, ds,pu, ds,pull-down, ds,pull-up,"
check "vexa-gpio -b 0 -set 0:ds,pu," "ds,pu,in ds,pu,inverted ds,pu,ni ds,pu,not-inverted"
check "vexa-gpio -b 0 -set 0:ds,pu,n" "ds,pu,ni ds,pu,not-inverted"
check "vexa-gpio -b 0 -set 0:in,single-ended,p" "in,single-ended,pd in,single-ended,pu in,single-ended,pull-down in,single-ended,pull-up"
check "vexa-gpio -b 0 -set 0:ds,pu,ni," ""
check "vexa-gpio -b 0 -set 0:default," ""
check "vexa-gpio -b 0 -set 0:ds,pu,ni,x" ""
check "vexa-gpio -b 0 -set 0:x" ""
# A colon is a setting word only after -set.
check "vexa-gpio -b 0 -g 0:" ""

# Without the colon among the word breaks, the replies keep the bank.
COMP_WORDBREAKS_UNDER_TEST=$' \t\n"'\''><=;|&('
check "vexa-gpio -b 0 -set 1:ds,pu,i" "1:ds,pu,in 1:ds,pu,inverted"
check "vexa-gpio -b 0 -set 2:def" "2:default"
check "vexa-gpio -b 0 -set al" "all:"
unset COMP_WORDBREAKS_UNDER_TEST

# vexa-sim: its commands, and no guessing of a board index.
check "vexa-sim " "--help -h help power-cycle reset show"
check "vexa-sim p" "power-cycle"
check "vexa-sim power-cycle " ""

# Each script registers itself for its command.
for command in vexa-gpio vexa-sim; do
    total=$((total + 1))
    if [[ $(complete -p $command 2>/dev/null) != "complete -F _${command//-/_} $command" ]]; then
        failures=$((failures + 1))
        echo "FAILED: the completion is not registered for $command"
    fi
done

echo "$((total - failures)) passed, $failures failed"
((failures == 0))
