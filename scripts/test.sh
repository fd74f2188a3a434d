#!/usr/bin/env bash
# Every test: the Linux suites, the same suites under AddressSanitizer and
# UndefinedBehaviorSanitizer, the concurrency tests under ThreadSanitizer,
# a bounded fuzzing run, the Windows cross build, the Windows DLLs under
# Wine, the release archives and installers, signed and verified, and the
# Debian package, installed, used and purged.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

step() { printf '\n=== %s\n' "$*"; }

# Runs ctest and adds its count of tests to the total (set -e stops the
# script at the first failing run).
passed=0
run_ctest() {
  local log
  log=$(mktemp)
  ctest "$@" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  local count
  count=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  rm -f "$log"
  [ "$status" -eq 0 ] || exit "$status"
  passed=$((passed + ${count:-0}))
}

# A private PostgreSQL server for the index's tests, and PgBouncer in front
# of it for the searches, stopped at the end whatever happens; the tests'
# PostgreSQL rows fail when either is missing.
postgres_folder=$(mktemp -d /tmp/trellan-postgres.XXXXXX)
trap 'scripts/postgres_cluster.sh stop "$postgres_folder"' EXIT
step "A private PostgreSQL server, and a connection pooler, for the index tests"
TRELLAN_TEST_POSTGRES=$(scripts/postgres_cluster.sh start "$postgres_folder")
TRELLAN_TEST_POSTGRES_POOLER=$(scripts/postgres_cluster.sh pooler "$postgres_folder")
export TRELLAN_TEST_POSTGRES TRELLAN_TEST_POSTGRES_POOLER
echo "$TRELLAN_TEST_POSTGRES; through PgBouncer: $TRELLAN_TEST_POSTGRES_POOLER"

step "Linux build and tests"
cmake --preset linux >/dev/null
cmake --build --preset linux
run_ctest --preset linux -j2

step "Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_ctest --preset linux-asan -j2

if [ -x scripts/run_tsan.sh ]; then
  step "Concurrency tests under ThreadSanitizer"
  scripts/run_tsan.sh
fi

if [ -x fuzz/run_fuzz.sh ]; then
  step "Fuzzing every reader of outside data"
  fuzz/run_fuzz.sh
fi

step "Windows 32-bit cross build"
cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32

step "The Windows DLLs under Wine"
scripts/test_wine.sh

step "The release archives and installers, signed with a throwaway certificate"
signing=$(mktemp -d)
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Trellan test signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$signing/key.pem" -out "$signing/cert.pem" 2>/dev/null
TRELLAN_SIGN_KEY=$signing/key.pem TRELLAN_SIGN_CERT=$signing/cert.pem scripts/package.sh
version=$(tr -d ' \r\n' <VERSION)
for signed in build/mingw32/package/*/trellan.dll build/mingw32/package/*/trellan.exe \
              build/mingw64/package/*/trellan.dll build/mingw64/package/*/trellan.exe \
              "dist/trellan-$version-win32.msi" "dist/trellan-$version-win64.msi"; do
  if ! osslsigncode verify -CAfile "$signing/cert.pem" -in "$signed" >/dev/null 2>&1; then
    echo "FAIL: the signature of $signed does not verify"
    exit 1
  fi
  echo "signature verified: $signed"
done
rm -rf "$signing"

step "The Debian package: installed, used by an unprivileged user, purged"
tests/install/deb_test.sh "dist/trellan_${version}_amd64.deb"

step "Summary"
echo "tests: ${passed} passed, 0 failed"
