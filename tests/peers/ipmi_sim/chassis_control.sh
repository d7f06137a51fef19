#!/bin/sh
# Chassis control handler of the fixture BMC: ipmi_sim runs it for Get Chassis Status and
# Chassis Control (lan.conf "chassis_control") as
#   chassis_control.sh STATE-FILE get power
#   chassis_control.sh STATE-FILE set power 0|1 | set reset 1 | set shutdown 1 | set boot MODE
# (the simulator appends "get ..." / "set ..." to the configured command line). The power
# state lives in STATE-FILE as "0" or "1"; without the file the machine is on. A soft
# shutdown turns it off; reset and boot settings are accepted and change nothing.
# "get" prints "power:<0|1>"; "set" prints nothing on success; errors exit non-zero.
state=$1
op=$2
if [ -z "$state" ] || [ -z "$op" ]; then
    echo "usage: $0 STATE-FILE get|set ..."
    exit 1
fi
shift 2

power() {
    if [ -f "$state" ]; then cat "$state"; else echo 1; fi
}

case $op in
get)
    for parm in "$@"; do
        case $parm in
        power) echo "power:$(power)" ;;
        boot) echo "boot:default" ;;
        *) echo "invalid parameter: $parm"; exit 1 ;;
        esac
    done
    ;;
set)
    while [ $# -gt 0 ]; do
        parm=$1
        val=$2
        if [ -z "$val" ]; then
            echo "no value for $parm"
            exit 1
        fi
        shift 2
        case $parm in
        power)
            case $val in
            0|1) echo "$val" > "$state" ;;
            *) echo "invalid power value: $val"; exit 1 ;;
            esac
            ;;
        shutdown) [ "$val" = 1 ] && echo 0 > "$state" ;;
        reset|boot) ;;
        identify) [ $# -gt 0 ] && shift ;; # interval, then the force flag
        *) echo "invalid parameter: $parm"; exit 1 ;;
        esac
    done
    ;;
*)
    echo "unknown operation: $op"
    exit 1
    ;;
esac
exit 0
