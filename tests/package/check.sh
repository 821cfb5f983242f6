#!/usr/bin/env bash
# The engine library as another project finds it once installed: this build is
# installed into a fresh prefix; a project of its own (consumer/) builds a C
# program against the shared library and a C++ program against the static one
# with find_package(Kavrel); pkg-config builds the C program again, against the
# shared library and, with the private parts, against the static one. Each
# program updates a folder from a control file on disk. The shared library
# exports the C interface and the C++ API, and nothing of the engine's inside.
#
#   tests/package/check.sh BUILD-FOLDER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(realpath "${1:?the build folder}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "installed package: $*" >&2
  exit 1
}

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(sed -n 's/^project(kavrel VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
prefix="$work/prefix"
libdir="$prefix/$(cache_value CMAKE_INSTALL_LIBDIR)"
includedir="$prefix/$(cache_value CMAKE_INSTALL_INCLUDEDIR)"

cmake --install "$build" --prefix "$prefix" >/dev/null
for file in "$prefix/bin/kavrel" "$prefix/bin/kavrel-launcher" "$includedir/kavrel.h" \
  "$includedir/kavrel/Kavrel.h" "$includedir/kavrel/UserInterface.h" "$libdir/libkavrel.a" \
  "$libdir/libkavrel.so.${version%%.*}" "$libdir/pkgconfig/kavrel.pc" \
  "$libdir/cmake/Kavrel/KavrelConfig.cmake"; do
  [ -e "$file" ] || fail "${file#"$prefix"/} is not installed"
done
"$prefix/bin/kavrel" help >/dev/null || fail "the installed kavrel does not run"
[ "$(readlink "$libdir/libkavrel.so.${version%%.*}")" = "libkavrel.so.$version" ] ||
  fail "libkavrel.so.${version%%.*} is not version $version"

# The site: a control file on disk with a question and one file.
mkdir -p "$work/site"
printf 'new data\n' >"$work/site/data.txt"
printf '[update]\r\nunconditional=1\r\n[action]\r\nquery=Install now?\r\n[files]\r\ncount=1\r\n[file1]\r\nurl=%s\r\ndescr=Data\r\n' \
  "$work/site/data.txt" >"$work/site/update.ini"
# Runs a host in a folder of its own; it must end with 0 and leave the file.
check_run() {
  local name=$1 folder="$work/run-$1"
  shift
  mkdir -p "$folder"
  printf 'old data\n' >"$folder/data.txt"
  (cd "$folder" && TMPDIR="$work" HOME="$work" KAVREL_REGISTRY_DIR="$work/hives" \
    "$@" "$work/site/update.ini") >"$work/$name.out" 2>&1 ||
    fail "$name ended with $?: $(cat "$work/$name.out")"
  grep -q "^version $version\$" "$work/$name.out" || fail "$name: no version $version"
  grep -q "Finished processing update control file" "$work/$name.out" ||
    fail "$name: the run did not finish: $(cat "$work/$name.out")"
  [ "$(cat "$folder/data.txt")" = "new data" ] || fail "$name did not update data.txt"
}

# find_package(Kavrel CONFIG) from a fresh project.
cmake -S "$here/consumer" -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" 2>&1 ||
  fail "the consumer project does not configure: $(cat "$work/configure.log")"
cmake --build "$work/consumer" >"$work/build.log" 2>&1 ||
  fail "the consumer project does not build: $(cat "$work/build.log")"
check_run c_host "$work/consumer/c_host"
check_run cxx_host "$work/consumer/cxx_host"
grep -q "libkavrel.so.${version%%.*} => $libdir/" <<<"$(ldd "$work/consumer/c_host")" ||
  fail "c_host does not load the installed shared library"
! grep -q libkavrel <<<"$(ldd "$work/consumer/cxx_host")" || fail "cxx_host is not linked statically"

# pkg-config, from the prefix alone.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
[ "$(pkg-config --modversion kavrel)" = "$version" ] || fail "kavrel.pc has another version"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Werror -o "$work/pc_host" "$here/consumer/host.c" \
  $(pkg-config --cflags --libs kavrel) -Wl,-rpath,"$libdir"
check_run pc_host "$work/pc_host"
# Statically, the private parts name everything else the library needs (the
# packages it requires linked as this system has them).
requires=$(pkg-config --print-requires-private kavrel | tr '\n' ' ')
private_libs=$(sed -n 's/^Libs.private: *//p' "$libdir/pkgconfig/kavrel.pc")
# shellcheck disable=SC2046,SC2086
cc -std=c99 -o "$work/pc_static_host" "$here/consumer/host.c" $(pkg-config --static --cflags kavrel) \
  -L"$libdir" -l:libkavrel.a $(pkg-config --libs $requires) $private_libs ||
  fail "the static library does not link with $requires and $private_libs"
check_run pc_static_host "$work/pc_static_host"

# What the shared library exports: each function of kavrel.h, the C++ API
# (TKavrel, TComponent, the user interface's choice) and instances of the
# standard library's templates, which keep its visibility; nothing else.
exported=$(nm -DC --defined-only "$libdir/libkavrel.so" | cut -d' ' -f3-)
for function in $(grep -o 'kavrel_[a-z_]*(' "$includedir/kavrel.h" | tr -d '(' | sort -u); do
  grep -qx "$function" <<<"$exported" || fail "$function is not exported"
done
api='kavrel::(TKavrel|TComponent|TKavrelUtility|platform::IUserInterface|platform::IAnimationWindow)'
allowed="^(kavrel_[a-z_]+|$api::.*|(typeinfo|typeinfo name|vtable) for $api"
allowed+="|kavrel::platform::(UserInterface|SetUserInterface|RequestTerminate|TerminateRequested)\(.*"
allowed+="|kavrel::(IsVistaOrLater|ShowHTMLDialogURL)\(.*"
allowed+="|(typeinfo|typeinfo name|vtable|guard variable) for (std|__gnu_cxx)::.*"
allowed+="|([a-z ]+ )?(std|__gnu_cxx)::.*)$"  # a template function's name follows its type
others=$(grep -Ev "$allowed" <<<"$exported" || true)
[ -z "$others" ] || fail "the shared library exports more than its interface: $(head -5 <<<"$others")"
grep -q "kavrel::TKavrel::RunUpdate()" <<<"$exported" || fail "TKavrel is not exported"
echo "installed package: ok ($(wc -l <<<"$exported") symbols exported)"
