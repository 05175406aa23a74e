#!/usr/bin/env bash
# relative-paths.sh SOURCE_DIR BINARY_DIR COMMAND...: runs COMMAND with every
# mention of the build and source folders made relative to the folder it runs
# in, and for a compile the source folder mapped away in the debug
# information (src/wire/buf.cpp, not ../../src/wire/buf.cpp). The clang
# builds use it as compiler and linker launcher (cmake/mingw-w64-clang.cmake).
set -eu
src=$1
bin=$2
shift 2
rel_src=$(realpath -m --relative-to="$PWD" "$src")
rel_bin=$(realpath -m --relative-to="$PWD" "$bin")
args=()
compile=0
for arg in "$@"; do
  [ "$arg" = -c ] && compile=1
  # The build folder first: it usually lies inside the source folder.
  case $arg in
    "$bin") arg=$rel_bin ;;
    *) arg=${arg//"$bin/"/"$rel_bin/"} ;;
  esac
  case $arg in
    "$src") arg=$rel_src ;;
    *) arg=${arg//"$src/"/"$rel_src/"} ;;
  esac
  args+=("$arg")
done
if [ $compile = 1 ] && [ "$rel_src" != . ]; then
  args+=("-fdebug-prefix-map=$rel_src/=")
fi
exec "${args[@]}"
