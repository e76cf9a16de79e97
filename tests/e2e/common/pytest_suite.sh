# Sourced by the end-to-end suites' run.sh: runs one folder's tests under
# Debian's pytest and keeps the pictures of failed comparisons.
#
#   run_pytest_suite NAME FOLDER [pytest arguments...]
#
# The pictures go to a fresh folder named after NAME (VELTRANE_E2E_ARTIFACTS);
# it is kept, and named, only when a test failed and left something in it.
# A run that selects no test is a failure. Returns pytest's exit status.
#
# Debian's pytest (python3-pytest) and the modules the suites import
# (python3-selenium, python3-gi) belong to the system's Python, which may
# not be the first python3 on the PATH: VELTRANE_E2E_PYTHON_MODULES names
# the modules a suite needs besides pytest.

find_suite_python() {
  local modules="pytest${VELTRANE_E2E_PYTHON_MODULES:+, $VELTRANE_E2E_PYTHON_MODULES}"
  local candidate
  for candidate in python3 /usr/bin/python3; do
    if command -v "$candidate" >/dev/null && "$candidate" -c "import $modules" 2>/dev/null; then
      echo "$candidate"
      return 0
    fi
  done
  echo "missing Python modules: $modules (scripts/install-deps.sh installs Debian's)" >&2
  return 1
}

run_pytest_suite() {
  local name="$1" folder="$2"
  shift 2
  local python
  python="$(find_suite_python)" || return 1
  local artifacts
  artifacts="$(mktemp -d "${TMPDIR:-/tmp}/veltrane-$name-artifacts.XXXXXX")"
  local status=0
  # -p no:cacheprovider: no .pytest_cache in the source tree.
  VELTRANE_E2E_ARTIFACTS="$artifacts" "$python" -m pytest -p no:cacheprovider -rA "$folder" "$@" || status=$?
  if [ "$status" -eq 5 ]; then
    echo "No test was selected: that counts as a failure." >&2
  fi
  if [ "$status" -ne 0 ] && [ -n "$(ls -A "$artifacts")" ]; then
    echo "Images of the failed comparisons: $artifacts"
  else
    rm -rf "$artifacts"
  fi
  return "$status"
}
