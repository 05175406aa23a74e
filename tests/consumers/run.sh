#!/usr/bin/env bash
# run.sh BUILD: installs the configured and built tree BUILD into a fresh
# temporary prefix, checks the installed layout, compiles every installed
# header on its own, then builds and runs the outside projects beside this
# script against it: find_package(), pkg-config and add_subdirectory().
set -eu
if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
# cmake --build runs its own make; keep the calling make's settings out.
unset MAKEFLAGS MFLAGS MAKELEVEL
work=$(mktemp -d "${TMPDIR:-/tmp}/seatenrol-consumers.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0

fail() {
  echo "consumers: $*" >&2
  failures=$((failures + 1))
}

# Runs a step quietly, showing its output only when it fails.
quiet() {
  local log=$work/step.log
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    return 1
  fi
}

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
libdir=${libdir:-lib}
docdir=$(sed -n 's/^CMAKE_INSTALL_DOCDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
docdir=${docdir:-share/doc/seatenrol}
major=$(sed -n 's/^#define SEATENROL_VERSION_MAJOR //p' "$prefix/include/seatenrol/version.h")

for path in "$libdir/libseatenrol.so" "$libdir/libseatenrol.so.$major" \
  "$libdir/cmake/seatenrol/seatenrolConfig.cmake" "$libdir/cmake/seatenrol/seatenrolConfigVersion.cmake" \
  "$libdir/pkgconfig/seatenrol.pc" include/seatenrol/seatenrol.h include/seatenrol/version.h \
  include/seatenrol/export.h bin/seat-enrol bin/enrol-server "$docdir/README.md" "$docdir/protocol.md"; do
  [ -e "$prefix/$path" ] || fail "the install lacks $path"
done
soname=$(readelf -d "$prefix/$libdir/libseatenrol.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = "libseatenrol.so.$major" ] || fail "the SONAME is '$soname', not libseatenrol.so.$major"
# Headers that name nothing installed beside them would fail only later.
for header in "$source_dir"/include/seatenrol/*.h; do
  [ -e "$prefix/include/seatenrol/$(basename "$header")" ] || fail "$(basename "$header") is not installed"
done

# Each public header compiles alone, warnings fatal, as a user's first include.
for header in "$prefix"/include/seatenrol/*.h; do
  name=seatenrol/$(basename "$header")
  printf '#include <%s>\n' "$name" |
    quiet "${CXX:-c++}" -std=c++17 -Wall -Wextra -Werror -fsyntax-only -x c++ -I"$prefix/include" - ||
    fail "$name does not compile on its own"
done
# The C interface's header is C as well.
printf '#include <seatenrol/c_api.h>\n' |
  quiet "${CC:-cc}" -std=c99 -pedantic -Wall -Wextra -Werror -fsyntax-only -x c -I"$prefix/include" - ||
  fail "seatenrol/c_api.h is not valid C99"

# Runs one consumer's program, which must load the installed SONAME.
run_app() {
  local name=$1 app=$2
  if ! out=$("$app" 2>&1); then
    fail "the $name consumer failed: $out"
    return
  fi
  if ! readelf -d "$app" | grep -q "(NEEDED).*\[libseatenrol\.so\.$major\]"; then
    fail "the $name consumer does not load libseatenrol.so.$major"
    return
  fi
  echo "consumers: $name: $out"
}

# find_package(seatenrol 0.1 CONFIG REQUIRED); the imported target's place
# reaches the program as its run path.
if quiet cmake -S "$here/find-package" -B "$work/find-package" -DCMAKE_PREFIX_PATH="$prefix" &&
  quiet cmake --build "$work/find-package"; then
  run_app find_package "$work/find-package/app"
else
  fail "the find_package consumer does not build"
fi

# pkg-config --cflags --libs seatenrol, the install found through
# PKG_CONFIG_PATH alone.
mkdir -p "$work/pkg-config"
if PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig quiet make -C "$work/pkg-config" -f "$here/pkg-config/Makefile"; then
  LD_LIBRARY_PATH=$prefix/$libdir run_app pkg-config "$work/pkg-config/app"
else
  fail "the pkg-config consumer does not build"
fi

# add_subdirectory() of this source tree: the library alone is built.
if quiet cmake -S "$here/subproject" -B "$work/subproject" -DSEATENROL_SOURCE="$source_dir" &&
  quiet cmake --build "$work/subproject" -j 2; then
  built=$(find "$work/subproject" -type f \( -name 'test_*' -o -name 'replay_*' -o -name seat-enrol \) -perm -u+x)
  if [ -n "$built" ]; then
    fail "the subproject built programs of its own: $built"
  else
    run_app add_subdirectory "$work/subproject/app"
  fi
else
  fail "the add_subdirectory consumer does not build"
fi

if [ $failures -ne 0 ]; then
  echo "consumers: $failures check(s) failed" >&2
  exit 1
fi
echo "consumers: the install in a fresh prefix serves all three ways of use"
