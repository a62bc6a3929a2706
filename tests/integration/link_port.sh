# Sourced by the object-link scripts. link_port ERRFILE PID prints the port that a
# korvane-run started with --object-link 0 reports on standard error (written to ERRFILE),
# waiting up to 5 s; it prints nothing when the runner ends or never reports one.
link_port() {
  local port=""
  for _ in $(seq 100); do
    port=$(sed -n 's/^korvane-run: object link on port \([0-9]*\)$/\1/p' "$1")
    [ -n "$port" ] && break
    kill -0 "$2" 2>/dev/null || break
    sleep 0.05
  done
  echo "$port"
}
