# Sourced by the harness scripts: recording a process so that it can be recognised later. A pid
# alone may have been reused by then; the pid, its start time and its command name together
# name one process.

# identity_of <pid>: prints "<pid> <start time in clock ticks since boot> <command name>" of a
# live process, or nothing when there is none.
identity_of() {
  _id_stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
  _id_comm=${_id_stat#*\(}
  _id_comm=$(printf '%s' "${_id_comm%\)*}" | tr -c 'A-Za-z0-9._-' '_')
  # Behind the command name come the fields from the state (field 3) on; the start time is field 22.
  set -- ${_id_stat##*) }
  shift 19
  echo "${_id_stat%% *} $1 $_id_comm"
}

# still_same <recorded identity line>: true when that very process still lives.
still_same() {
  [ -n "$1" ] || return 1
  set -- $1
  [ "$(identity_of "$1")" = "$*" ]
}
