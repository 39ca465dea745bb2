# Sourced by the bench scripts: the timer that reports wall time and peak
# memory (GNU time, or the small rusage wrapper where GNU time is missing), a
# scratch folder removed on exit, the wall clock, user time and context
# switches read from a timer report, the state count from the console, and a
# median.
#
#   source timing.sh <build-dir> <scratch-name>
#   "${timer[@]}" gen ... 2> report;  wall_seconds report;  echo "$work"

if [[ -x /usr/bin/time ]] && /usr/bin/time -v true >/dev/null 2>&1; then
  timer=(/usr/bin/time -v)
else
  wrapper="$1/rusage_wrapper"
  if [[ ! -x "$wrapper" ]]; then
    "${CXX:-c++}" -O2 -std=c++20 -o "$wrapper" "$(dirname "${BASH_SOURCE[0]}")/rusage_wrapper.cpp"
  fi
  timer=("$wrapper")
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/gen-$2.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Wall clock from GNU time's h:mm:ss or m:ss form, or the wrapper's seconds.
wall_seconds() {
  local line
  line=$(grep -E 'Elapsed \(wall clock\)' "$1" | sed 's/.*: //')
  awk -v t="$line" 'BEGIN { n = split(t, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; printf "%.2f", s }'
}

# The median of the numbers given on standard input.
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The state count from gen's console text, and the user seconds and the
# context switches (voluntary and involuntary) from a timer report.
states_of() { sed -n 's/^Generated: \([0-9]*\) states$/\1/p' "$1"; }
user_seconds() { sed -n 's/.*User time (seconds): //p' "$1"; }
context_switches() { awk -F': ' '/context switches/ { s += $2 } END { print s + 0 }' "$1"; }
