#!/usr/bin/env bash
# The bash completion of mibcli: what it offers at each place of a command line.
set -u
source "$1"
failures=0
expect() {
    local line=$1 want=$2
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _mibcli
    local got="${COMPREPLY[*]}"
    if [ "$got" != "$want" ]; then
        echo "FAIL: [$line] offered [$got], expected [$want]"
        failures=$((failures + 1))
    fi
}
expect "mibcli " "-t -r -i -n -v -o -l -p -x -b -w -m -s -c -e get getnext set poll walk trap"
expect "mibcli -v " "1 2c 3"
expect "mibcli -O json -v 2c set a c 1.3 " "1 2 3 4 5 6 7 8 9"
users=$(mktemp)
printf '# name ...\nbob SHA-256 "a phrase"\n  alice\n' >"$users"
MIBCLI_USERS=$users expect "mibcli -v 3 -t 9 get 10.0.0.1 " "bob alice"
MIBCLI_USERS=$users expect "mibcli -v 2c get 10.0.0.1 " ""
rm -f "$users"
expect "mibcli -t 100 g" "get getnext"
expect "mibcli -t " ""
# The type of each set triple, also after an agent with a port.
expect "mibcli set 10.0.0.1:16161 private sysContact.0 " "1 2 3 4 5 6 7 8"
expect "mibcli set [::1]:161 private 1.3 2 x 1.4 " "1 2 3 4 5 6 7 8"
expect "mibcli set a c 1.3 2 " ""
# Versions, and Counter64 (9) among the types only in version 2c.
expect "mibcli -t 9 -v " "1 2c 3"
expect "mibcli -v 2c set a c 1.3 " "1 2 3 4 5 6 7 8 9"
expect "mibcli -v 2c -V 1 set a c 1.3 " "1 2 3 4 5 6 7 8"
expect "mibcli get a c " ""
exit $((failures > 0))
