# Sourced by the test scripts. skip_for_missing_tool REASON: a program the test needs is not
# installed. On a developer's machine the test is skipped (exit 77); under CI (CI=true), where
# `make test` installs every such program first, it fails, so that an install step that failed
# quietly cannot leave the suite green with the test unrun.
skip_for_missing_tool() {
  if [ "${CI:-}" = true ]; then
    echo "FAIL: $* (under CI every tool is installed)" >&2
    exit 1
  fi
  echo "SKIP: $*"
  exit 77
}
