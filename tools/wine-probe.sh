# Whether this host runs Wine's 32-bit loader (a 32-bit Linux program; some
# hosts cannot execute those at all). The one place that asks. Sourced.
qv_wine32_runs() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}
