#!/usr/bin/env bash
# apt_install PACKAGE...: apt-get update, then apt-get install of the
# packages, as root (or through sudo). A Debian mirror that is being synced
# answers for a few minutes with lists that do not match their index ("File
# has unexpected size ... Mirror sync in progress?"), so each step is tried
# up to five times, waiting longer each time (2.5 minutes in all), before
# the failure stands. Sourced by setup.sh and setup_wine.sh.

apt_install() {
  local as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  local step attempt
  for step in update install; do
    for attempt in 1 2 3 4 5; do
      if [ "$step" = update ]; then
        "${as_root[@]}" apt-get update -qq && break
      else
        "${as_root[@]}" apt-get install -y -qq --no-install-recommends "$@" && break
      fi
      if [ "$attempt" -eq 5 ]; then
        echo "apt_install: apt-get $step failed five times" >&2
        return 1
      fi
      echo "apt_install: apt-get $step failed (attempt $attempt of 5); trying again in $((attempt * 15))s" >&2
      sleep $((attempt * 15))
    done
  done
}
