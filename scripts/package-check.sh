#!/usr/bin/env bash
# Installs the archive reader library into temporary prefixes, as a static
# and as a shared library, and uses it from outside the project: every
# installed header compiles on its own, and the example program
# examples/list_and_fetch builds through find_package (static and shared) and
# through pkg-config (static), then lists and fetches from a sample archive.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cxx="${CXX:-c++}"

# A sample archive to read, from the project's own sample tool.
cmake -S "$root" -B "$work/sample-tool" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQUORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$work/sample-tool" --target portal_dat_sample >/dev/null
"$work/sample-tool/bin/portal_dat_sample" "$work/portal.dat" >/dev/null

expect_fetch() {  # the last line of the example's output
  local out
  out="$("$@" "$work/portal.dat" 30000000 | tail -1)"
  [[ "$out" == "file 30000000: "*" bytes (quorvane_dat "* ]] || { echo "unexpected: $out"; exit 1; }
  echo "  $out"
}

for kind in static shared; do
  shared=OFF; [[ $kind == shared ]] && shared=ON
  prefix="$work/prefix-$kind"
  echo "== package: $kind library =="
  cmake -S "$root" -B "$work/build-$kind" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQUORVANE_BUILD_TESTS=OFF -DQUORVANE_WERROR=ON -DBUILD_SHARED_LIBS=$shared \
    -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build "$work/build-$kind" --target quorvane_dat >/dev/null
  cmake --install "$work/build-$kind" >/dev/null

  headers=0
  while IFS= read -r header; do
    printf '#include <%s>\n' "$header" |
      "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -I"$prefix/include" -x c++ -
    headers=$((headers + 1))
  done < <(cd "$prefix/include" && find quorvane_dat quorvane_base -name '*.hpp' | sort)
  echo "  $headers installed headers compile on their own"

  cmake -S "$root/examples/list_and_fetch" -B "$work/example-$kind" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/example-$kind" >/dev/null
  expect_fetch "$work/example-$kind/list_and_fetch"
  if [[ $kind == shared ]]; then
    ldd "$work/example-$kind/list_and_fetch" | grep -q 'libquorvane_dat\.so' ||
      { echo "the example is not linked to the shared library"; exit 1; }
    # Only the public interface is exported: nothing of the library's own
    # namespace for internals.
    library="$(find "$prefix" -name 'libquorvane_dat.so.*' -type f | head -1)"
    if nm -D --defined-only -C "$library" | grep -q 'quorvane_dat::detail::'; then
      echo "internal symbols are exported"; exit 1
    fi
    echo "  $(nm -D --defined-only "$library" | grep -c ' [TW] ') symbols exported"
  fi
done

echo "== package: pkg-config (static library) =="
PKG_CONFIG_PATH="$(dirname "$(find "$work/prefix-static" -name quorvane_dat.pc)")"
export PKG_CONFIG_PATH
# shellcheck disable=SC2046
"$cxx" "$root/examples/list_and_fetch/main.cpp" -o "$work/list_and_fetch_pc" \
  $(pkg-config --cflags --libs quorvane_dat)
expect_fetch "$work/list_and_fetch_pc"
echo "package check passed"
