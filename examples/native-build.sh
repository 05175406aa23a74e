#!/usr/bin/env bash
# native-build.sh TARGET...: prints the folder of a native build holding the
# given targets (enrol-server, seatenrol): the native leg's build/native when
# it has them, otherwise build/examples-native, built here for the hosts'
# runs alone.
set -eu
cd "$(dirname "$0")/.."
unset MAKEFLAGS MFLAGS MAKELEVEL
ready=1
for target in "$@"; do
  case $target in
    enrol-server) [ -x build/native/tools/enrol-server ] || ready=0 ;;
    seatenrol) [ -f build/native/libseatenrol.so ] || ready=0 ;;
  esac
done
if [ $ready = 1 ]; then
  echo build/native
  exit 0
fi
cmake -S . -B build/examples-native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSEATENROL_TESTS=OFF >/dev/null
for target in "$@"; do
  cmake --build build/examples-native -j 2 --target "$target" >/dev/null
done
echo build/examples-native
