# Sourced by the scripts that build. Jobs: VELMORIA_JOBS, else one per core; it counts for the build
# and for the test run. A first build takes long, and a newcomer should hear so before it starts.
velmoria_jobs="${VELMORIA_JOBS:-$(nproc)}"

# velmoria_build PRESET [cmake --build arguments...]
velmoria_build() {
  local preset="$1"
  shift
  if [[ ! -e build/$preset/.ninja_log ]]; then
    echo "First build of the '$preset' preset: about an hour of processor time, 8 minutes with 8 cores;" \
      "$velmoria_jobs jobs now (VELMORIA_JOBS=N uses N)." >&2
  fi
  cmake --build --preset "$preset" -j "$velmoria_jobs" "$@"
}
