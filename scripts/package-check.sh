#!/usr/bin/env bash
# The archive reader library in other people's builds. Installs it into
# temporary prefixes, as a static and as a shared library, and uses it from
# outside the project:
#   - every installed header compiles on its own (C++20, -Wshadow
#     -Wconversion), and under C++17 stops with one #error naming the need;
#   - examples/list_and_fetch builds through find_package (static, shared,
#     and from a prefix moved elsewhere) and through pkg-config with the
#     README's commands as written there;
#   - unittests/package/every_function.cpp, which calls every public
#     function, builds through pkg-config against both installs and runs;
#   - the package version file accepts only the same minor version;
#   - a library-only build configures without GoogleTest and CLI11, and with
#     the tools on and CLI11 missing says so in one line;
#   - the shared library's soname, its install components, and its exported
#     symbols, which must be exactly src/quorvane_dat.symbols;
#   - consumers that embed the project through add_subdirectory and through
#     FetchContent, without GoogleTest and CLI11: they build only what they
#     link, cannot include internal headers, and install their own exported
#     target; a Debug and a Release install share one prefix.
set -euo pipefail
checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Everything is built from a copy of the checkout (also the source archive
# that FetchContent downloads), so that the checkout can change meanwhile.
tar -C "$checkout" -czf "$work/quorvane-source.tar.gz" --exclude=./build --exclude=./.git .
root="$work/source"
mkdir "$root"
tar -C "$root" -xzf "$work/quorvane-source.tar.gz"
cxx="${CXX:-c++}"
# (Unused when nothing looks for them, which is the point: no warning about it.)
no_deps=(--no-warn-unused-cli -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON)
warnings=(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror)

fail() { echo "package check: $*" >&2; exit 1; }

expect_fetch() {  # the last line of the example's output
  local out
  out="$("$@" "$work/portal.dat" 30000000 | tail -1)"
  [[ "$out" == "file 30000000: "*" bytes (quorvane_dat "* ]] || fail "unexpected: $out"
  echo "  $out"
}
expect_every_function() {
  local out
  out="$("$@" "$work/portal.dat")" || fail "every_function failed: $out"
  [[ "$out" == "every function: ok"* ]] || fail "unexpected: $out"
  echo "  $out"
}
pc_dir() { dirname "$(find "$1" -name quorvane_dat.pc)"; }

echo "== package: static library (and the sample archive) =="
# One build gives the static library and the sample tool that writes the
# archive the consumers read.
static="$work/prefix-static"
# Configured over a build tree of the older layout, whose include/ held links
# to the source folders: the sources must stay as they are.
mkdir -p "$work/build-static/include"
ln -s "$root/src" "$work/build-static/include/quorvane_dat"
ln -s "$root/base" "$work/build-static/include/quorvane_base"
cmake -S "$root" -B "$work/build-static" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQUORVANE_BUILD_TESTS=OFF -DQUORVANE_BUILD_AUDIT=OFF -DQUORVANE_WERROR=ON \
  -DCMAKE_INSTALL_PREFIX="$static" >/dev/null
[[ -f "$root/src/error/dat_error.hpp" && ! -L "$root/src/error/dat_error.hpp" &&
   ! -L "$root/base/os_error.hpp" ]] || fail "configuring over an older build tree replaced source headers"
cmake --build "$work/build-static" --target quorvane_dat quorvane_portal_dat_sample >/dev/null
"$work/build-static/bin/portal_dat_sample" "$work/portal.dat" >/dev/null
cmake --install "$work/build-static" >/dev/null

headers=0
while IFS= read -r header; do
  printf '#include <%s>\n' "$header" |
    "$cxx" -std=c++20 -fsyntax-only "${warnings[@]}" -I"$static/include" -x c++ -
  if [[ $header == quorvane_dat/* ]]; then
    # Under C++17: one #error, and the compilation stops there.
    if out="$(printf '#include <%s>\n' "$header" |
              "$cxx" -std=c++17 -fsyntax-only -I"$static/include" -x c++ - 2>&1)"; then
      fail "$header compiles as C++17"
    fi
    [[ $(grep -c 'error:' <<<"$out") -eq 2 && $(grep -c 'error:.*needs C++20 or later' <<<"$out") -eq 1 ]] ||
      fail "$header under C++17 gives more than its one #error:"$'\n'"$out"
  fi
  headers=$((headers + 1))
done < <(cd "$static/include" && find quorvane_dat quorvane_base -name '*.hpp' | sort)
echo "  $headers installed headers compile on their own; as C++17, each stops at one #error"

cmake -S "$root/examples/list_and_fetch" -B "$work/example-static" -G Ninja \
  -DCMAKE_PREFIX_PATH="$static" >/dev/null
cmake --build "$work/example-static" >/dev/null
expect_fetch "$work/example-static/list_and_fetch"

# The version file: the same minor version, at least the requested patch.
config_version="$(find "$static" -name quorvane_datConfigVersion.cmake)"
for request in 0.1:1 0.1.0:1 0.0.9:0 0.2:0 0.1.1:0 1.0:0; do
  wanted="${request%%:*}"
  got="$(cmake -DWANTED="$wanted" -DVERSION_FILE="$config_version" \
           -P "$root/unittests/package/version_check.cmake" 2>&1)"
  [[ "$got" == "${request##*:}" ]] || fail "find_package(quorvane_dat $wanted): compatible=$got"
done
echo "  find_package accepts 0.1 and 0.1.0, refuses 0.0.9, 0.2, 0.1.1 and 1.0"

echo "== package: pkg-config, the README's commands (static library) =="
mkdir "$work/readme"
cp "$root/examples/list_and_fetch/main.cpp" "$work/readme/main.cpp"
readme_commands="$(grep -A1 '^    export PKG_CONFIG_PATH=/opt/quorvane/' "$root/README.md" | sed 's/^    //')"
[[ $(wc -l <<<"$readme_commands") -eq 2 ]] || fail "the README's pkg-config commands were not found"
(cd "$work/readme" && eval "${readme_commands//\/opt\/quorvane/$static}") ||
  fail "the README's pkg-config commands failed"
expect_fetch "$work/readme/list_and_fetch"
PKG_CONFIG_PATH="$(pc_dir "$static")"
export PKG_CONFIG_PATH
pkg-config --cflags quorvane_dat | grep -q -- '-std=' && fail "Cflags set the standard"
grep -q '^prefix=${pcfiledir}/' "$PKG_CONFIG_PATH/quorvane_dat.pc" || fail "the .pc prefix is absolute"
# shellcheck disable=SC2046
"$cxx" -std=c++20 "${warnings[@]}" "$root/unittests/package/every_function.cpp" \
  -o "$work/every_function_static" $(pkg-config --cflags --libs quorvane_dat)
expect_every_function "$work/every_function_static"

echo "== package: shared library =="
shared="$work/prefix-shared"
# With the tools on and CLI11 missing, configuring fails with one line that says so.
if out="$(cmake -S "$root" -B "$work/build-shared" -G Ninja "${no_deps[@]}" 2>&1)"; then
  fail "configured the tools without CLI11"
fi
grep -q 'portal_dat needs CLI11, which was not found: .* -DQUORVANE_BUILD_TOOLS=OFF$' <<<"$out" ||
  fail "no one-line message without CLI11: $out"
echo "  without CLI11: $(grep -o 'portal_dat needs CLI11.*' <<<"$out")"
rm -rf "$work/build-shared"
# The library alone needs nothing but a compiler.
cmake -S "$root" -B "$work/build-shared" -G Ninja -DCMAKE_BUILD_TYPE=Release "${no_deps[@]}" \
  -DQUORVANE_BUILD_AUDIT=OFF -DQUORVANE_BUILD_TOOLS=OFF -DQUORVANE_WERROR=ON \
  -DBUILD_SHARED_LIBS=ON -DCMAKE_INSTALL_PREFIX="$shared" >/dev/null
cmake --build "$work/build-shared" --target quorvane_dat >/dev/null

# Components: runtime is the shared library alone; development the rest.
cmake --install "$work/build-shared" --component runtime --prefix "$work/prefix-runtime" >/dev/null
runtime_files="$(cd "$work/prefix-runtime" && find . -type f -o -type l | sort | tr '\n' ' ')"
[[ "$runtime_files" =~ ^\./lib[^\ ]*/libquorvane_dat\.so\.0\.1\ \./lib[^\ ]*/libquorvane_dat\.so\.0\.1\.0\ $ ]] ||
  fail "the runtime component holds: $runtime_files"
cmake --install "$work/build-shared" --component development >/dev/null
[[ -z "$(find "$shared" -name 'libquorvane_dat.so.*')" && -n "$(find "$shared" -name 'quorvane_dat.hpp')" ]] ||
  fail "the development component holds the runtime library or lacks the headers"
cmake --install "$work/build-shared" --component runtime >/dev/null
echo "  components: runtime = $runtime_files"

library="$(find "$shared" -name 'libquorvane_dat.so.*' -type f | head -1)"
soname="$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')"
[[ "$soname" == libquorvane_dat.so.0.1 ]] || fail "soname $soname"
# Exactly the committed list of exported symbols.
if ! diff <(nm -D --defined-only -C "$library" | sed -E 's/^[0-9a-f]+ //' | LC_ALL=C sort -u) \
          "$root/src/quorvane_dat.symbols" >"$work/symbols.diff"; then
  cat "$work/symbols.diff" >&2
  fail "the exported symbols differ from src/quorvane_dat.symbols (< exported, > listed)"
fi
echo "  soname $soname, $(wc -l <"$root/src/quorvane_dat.symbols") symbols exported, as listed"

cmake -S "$root/examples/list_and_fetch" -B "$work/example-shared" -G Ninja \
  -DCMAKE_PREFIX_PATH="$shared" >/dev/null
cmake --build "$work/example-shared" >/dev/null
expect_fetch "$work/example-shared/list_and_fetch"
ldd "$work/example-shared/list_and_fetch" | grep -q 'libquorvane_dat\.so\.0\.1 ' ||
  fail "the example is not linked to the shared library"

PKG_CONFIG_PATH="$(pc_dir "$shared")"
# shellcheck disable=SC2046
"$cxx" -std=c++20 "${warnings[@]}" "$root/unittests/package/every_function.cpp" \
  -o "$work/every_function_shared" $(pkg-config --cflags --libs quorvane_dat)
LD_LIBRARY_PATH="$(dirname "$library")" expect_every_function "$work/every_function_shared"
LD_LIBRARY_PATH="$(dirname "$library")" ldd "$work/every_function_shared" |
  grep -q 'libquorvane_dat\.so\.0\.1 ' || fail "every_function is not linked to the shared library"

echo "== package: the shared install moved to another prefix =="
moved="$work/moved/elsewhere"
mkdir -p "$work/moved"
mv "$shared" "$moved"
cmake -S "$root/examples/list_and_fetch" -B "$work/example-moved" -G Ninja \
  -DCMAKE_PREFIX_PATH="$moved" >/dev/null
cmake --build "$work/example-moved" >/dev/null
expect_fetch "$work/example-moved/list_and_fetch"
PKG_CONFIG_PATH="$(pc_dir "$moved")"
[[ "$(pkg-config --cflags quorvane_dat)" == *"$moved/"* ]] || fail "pkg-config names the old prefix"
# shellcheck disable=SC2046
"$cxx" -std=c++20 "$root/unittests/package/every_function.cpp" -o "$work/every_function_moved" \
  $(pkg-config --cflags --libs quorvane_dat)
LD_LIBRARY_PATH="$(dirname "$(find "$moved" -name 'libquorvane_dat.so.*' -type f)")" \
  expect_every_function "$work/every_function_moved"
unset PKG_CONFIG_PATH

# The consumers that embed the project build it in Debug, which is also the
# Debug install that must not replace the Release one in the same prefix.
for embed in subdirectory fetchcontent; do
  echo "== package: embedded through $embed =="
  build="$work/embed-$embed"
  cmake -S "$root/unittests/package/embedding" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    "${no_deps[@]}" -DQUORVANE_EMBED="$embed" -DQUORVANE_SOURCE_DIR="$root" \
    -DQUORVANE_SOURCE_ARCHIVE="$work/quorvane-source.tar.gz" -DCMAKE_INSTALL_PREFIX="$static" >/dev/null
  cmake --build "$build" >/dev/null
  # What the build made (not the downloaded sources, nor CMake's own files).
  built="$(cd "$build" && find . -path ./_deps/quorvane_dat-src -prune -o -path '*/CMakeFiles' -prune -o \
             \( -name '*.a' -o -type f -executable \) -print | xargs -n1 basename | sort | tr '\n' ' ')"
  [[ "$built" == "every_function libconsumer_reader.a libquorvane_based.a libquorvane_datd.a " ]] ||
    fail "the consumer's build made: $built"
  echo "  built: $built"
  expect_every_function "$build/every_function"
  if cmake --build "$build" --target includes_internal_header >"$work/internal.log" 2>&1; then
    fail "an internal header is reachable from a consumer"
  fi
  grep -q 'chain_reader.hpp: No such file' "$work/internal.log" || fail "$(cat "$work/internal.log")"
  cmake --install "$build" >/dev/null
  for file in lib/cmake/consumer/consumer_targets.cmake bin/every_function lib/libconsumer_reader.a \
              lib/libquorvane_datd.a lib/libquorvane_dat.a lib/pkgconfig/quorvane_datd.pc \
              lib/pkgconfig/quorvane_dat.pc lib/cmake/quorvane_dat/quorvane_dat_targets-debug.cmake \
              lib/cmake/quorvane_dat/quorvane_dat_targets-release.cmake; do
    [[ -e "$static/$file" ]] || fail "the install lacks $file"
  done
  echo "  installed its own exported target; Debug (postfix d) and Release side by side"
done
# The Release consumer still finds its Release library in the shared prefix.
cmake -S "$root/examples/list_and_fetch" -B "$work/example-both" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$static" >/dev/null
cmake --build "$work/example-both" -v 2>/dev/null | grep -q 'libquorvane_dat\.a' ||
  fail "the Release example did not link the Release library"
expect_fetch "$work/example-both/list_and_fetch"
echo "package check passed"
