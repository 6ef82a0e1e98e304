#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test three times: a normal build,
# AddressSanitizer+UBSan and ThreadSanitizer. Fails when any build or test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
status=0
for config in normal:"" asan:address tsan:thread; do
  name=${config%%:*}
  sanitize=${config#*:}
  echo "=== $name build"
  bash scripts/build.sh "build/$name" "$sanitize"
  echo "=== $name tests"
  if ! ctest --test-dir "build/$name" --output-on-failure -j2 --timeout 300; then
    status=1
  fi
  if [ "$name" = normal ] && ! cmake --build "build/$name" --target package; then status=1; fi
done
exit $status
