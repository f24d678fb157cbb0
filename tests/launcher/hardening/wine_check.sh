# Sourced by the hardening tests that run Windows programs.
#   wine_can_start PROBE
# True when Wine starts a Windows program on this machine and there is a
# display for the launcher's dialog; else false with the reason in
# $wine_reason. PROBE is the setup probe, which exits with 2 when it is given
# no report file, so any other outcome means Wine itself did not run it.
wine_can_start() {
  wine_reason=
  if ! command -v wine >/dev/null 2>&1; then
    wine_reason="Wine is not installed"
    return 1
  fi
  if [ -z "${DISPLAY:-}" ]; then
    wine_reason="no display for the launcher's dialog"
    return 1
  fi
  local out rc
  out=$(timeout 300 wine "$1" 2>&1)
  rc=$?
  [ "$rc" -eq 2 ] && return 0
  wine_reason="Wine cannot start a Windows program here (exit $rc: $(printf '%s\n' "$out" | tail -n 1))"
  return 1
}

# The Linux build of sfxkit beside the win32 build (SOURCE_ROOT/build/...), if any.
find_linux_sfxkit() {
  local preset
  for preset in release native; do  # the optimised build packs large trees faster
    [ -x "$1/build/$preset/tools/sfxkit/sfxkit" ] && { echo "$1/build/$preset/tools/sfxkit/sfxkit"; return 0; }
  done
  return 1
}

# An argument path made absolute, since the tests work in their own folder.
absolute() { case "$1" in /* | "" | - | root:*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }

# The Windows name of an absolute path: Wine shows the Unix root as drive Z:.
# Written here rather than asked of winepath, a Wine program that a loaded
# machine may fail to start.
windows_name() { printf 'Z:%s' "${1//\//\\}"; }
