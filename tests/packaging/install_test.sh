#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses the installation as a
# user and as an embedder would, from outside the source tree: the tool
# (which must find its plug-in from its own place), the shared library
# (which exports the API's names alone, and finds the plug-in by itself),
# the public headers alone, examples/ built with find_package and with
# pkg-config, the man page and the bash completion.
#   install_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
sample=$source_dir/samples/sample.arj
fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "install failed"; }
library=$(find "$prefix" -name libarjhost.so)
[ -n "$library" ] || fail "no libarjhost.so installed"
libdir=$(dirname "$library")
[ -z "$(find "$prefix" -name 'libarjhost.a')" ] || fail "a static library is installed beside the shared one"

# The tool, with nothing telling it where the plug-in is.
listing=$(cd "$work" && env -u ARJHOST_PLUGIN "$prefix/bin/arjhost" list "$sample") || fail "installed arjhost list failed: $listing"
for text in hello.txt docs/layout.txt "3 files, 6486 bytes"; do
  grep -qF "$text" <<<"$listing" || fail "installed arjhost list lacks \"$text\": $listing"
done
loaded=$(env -u ARJHOST_PLUGIN "$prefix/bin/arjhost" plugin-info --json |
         python3 -c 'import json, os, sys; print(os.path.realpath(json.load(sys.stdin)["plugin"]))')
[ "$loaded" = "$(realpath "$libdir/arjhost/libarj_plugin.so")" ] ||
  fail "the installed tool did not load the installed plug-in but $loaded"

# The library defines no name outside the namespace arjhost and the C
# API's arjhost_ names: its inner parts (the runtime, the format code, the
# standard library's templates it instantiates) cannot clash with an
# embedder's.
command -v nm >/dev/null || fail "nm is needed to read the library's symbols"
exported=$(nm -D --defined-only "$library" | c++filt | awk '{ $1 = ""; $2 = ""; sub(/^  /, ""); print }')
strangers=$(grep -v -e '^arjhost::' -e '^arjhost_[a-z0-9_]*$' <<<"$exported" || true)
[ -z "$strangers" ] || fail "libarjhost.so exports names outside arjhost: $(head -5 <<<"$strangers")"
grep -q '^arjhost::Archive::OpenFile(' <<<"$exported" || fail "libarjhost.so does not export the C++ API"
grep -q '^arjhost_open_path$' <<<"$exported" || fail "libarjhost.so does not export the C API"

# The public headers, exactly those the include check calls public (the
# headers directly in runtime/api and runtime/operations, the format
# module's header of the entry values they name, and the C API's header,
# installed as <arjhost.h>), and each of them compiles by itself; the C
# header as C99 too.
# Installed in one folder, whatever the source tree's layout, naming each
# other <arjhost/NAME.h>.
headers=$(cd "$prefix/include/arjhost" && find . -type f | sort | tr '\n' ' ')
public=$(cd "$source_dir" && { find ./runtime/api ./runtime/operations -maxdepth 1 -name '*.h'; echo ./plugin/format/arj_types.h
  echo ./arjhost.h; } | xargs -n1 basename | sed 's|^|./|' | sort | tr '\n' ' ')
[ "$headers" = "$public" ] || fail "installed headers are not the public ones: $headers (public: $public)"
! grep -l '#include "\(runtime\|plugin\)/' "$prefix/include/arjhost"/*.h ||
  fail "installed headers name the source tree's folders"
for h in $headers; do
  echo "#include <arjhost/${h#./}>" | c++ -std=c++20 -fsyntax-only -Wall -Wextra -I "$prefix/include" -x c++ - ||
    fail "$h does not compile by itself"
done
echo "#include <arjhost.h>" | cc -std=c99 -fsyntax-only -Wall -Wextra -pedantic -I "$prefix/include/arjhost" -x c - ||
  fail "arjhost.h does not compile as C99"

# An embedder's program, run from elsewhere with nothing naming the plug-in:
# the library finds the installed one beside itself.
check_example() {  # BINARY LABEL
  mkdir -p "$work/run-$2"
  out=$(cd "$work" && env -u ARJHOST_PLUGIN "$1" "$sample" "$work/run-$2") || fail "$2: embed_example failed: $out"
  grep -q "rebuilt: 3 entries, last again/hello.txt" <<<"$out" || fail "$2: unexpected output: $out"
  grep -qF "library $version, built against $version" <<<"$out" || fail "$2: not the version installed: $out"
}
version=$("$prefix/bin/arjhost" --version | sed 's/^arjhost //')

# An embedder with CMake.
cp -r "$source_dir/examples" "$work/examples"
cmake -S "$work/examples" -B "$work/with-cmake" -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake.log" 2>&1 ||
  { cat "$work/cmake.log"; fail "find_package(arjhost) failed"; }
cmake --build "$work/with-cmake" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "building against the package failed"; }
check_example "$work/with-cmake/embed_example" cmake
check_c_example() {  # BINARY LABEL
  out=$(cd "$work" && env -u ARJHOST_PLUGIN "$1" "$sample") || fail "$2: c_example failed: $out"
  grep -q "16bea550  hello.txt" <<<"$out" || fail "$2: unexpected c_example output: $out"
}
check_c_example "$work/with-cmake/c_example" cmake

# An embedder with pkg-config.
export PKG_CONFIG_PATH=$libdir/pkgconfig
plugin=$(pkg-config --variable=plugin arjhost)
[ -f "$plugin" ] || fail "pkg-config names no plug-in: $plugin"
[ "$(pkg-config --modversion arjhost)" = "$version" ] || fail "pkg-config says version $(pkg-config --modversion arjhost)"
# The prefix is not one the loader searches: the program says where it is.
# shellcheck disable=SC2046
c++ -std=c++20 $(pkg-config --cflags arjhost) "$work/examples/embed_example.cpp" -o "$work/embed_pc" \
  $(pkg-config --libs arjhost) -Wl,-rpath,"$libdir" || fail "building with pkg-config failed"
check_example "$work/embed_pc" pkg-config
# shellcheck disable=SC2046
cc -std=c99 $(pkg-config --cflags arjhost) "$work/examples/c_example.c" -o "$work/c_example_pc" \
  $(pkg-config --libs arjhost) -Wl,-rpath,"$libdir" || fail "building the C example with pkg-config failed"
check_c_example "$work/c_example_pc" pkg-config

# The man page renders without a warning and holds the manual.
page=$(find "$prefix" -name arjhost.1)
[ -n "$page" ] || fail "no man page installed"
if command -v groff >/dev/null; then
  rendered=$(groff -man -Tutf8 -ww "$page" 2>"$work/groff.log" | sed 's/.\x08//g')
  [ ! -s "$work/groff.log" ] || fail "groff warns: $(cat "$work/groff.log")"
  for text in NAME SYNOPSIS COMMANDS OPTIONS "EXIT STATUS" LIMITS "--max-entries"; do
    grep -qF -- "$text" <<<"$rendered" || fail "the man page lacks \"$text\""
  done
fi

# Completion of commands and of a command's options, as bash asks for them.
completion=$prefix/share/bash-completion/completions/arjhost
[ -f "$completion" ] || fail "no bash completion installed"
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _arjhost; echo "${COMPREPLY[*]}"' _ "$completion" "$@"
}
[ "$(complete_words "$prefix/bin/arjhost" li)" = "list" ] || fail "completion of \"li\": $(complete_words "$prefix/bin/arjhost" li)"
[ "$(complete_words "$prefix/bin/arjhost" list --tec)" = "--technical" ] || fail "completion of \"list --tec\""
[ "$(complete_words "$prefix/bin/arjhost" x a.arj --fl)" = "--flat" ] || fail "completion of \"x a.arj --fl\""
[ "$(complete_words "$prefix/bin/arjhost" x a.arj --keep)" = "--keep-damaged" ] || fail "completion of \"x a.arj --keep\""
[ "$(complete_words "$prefix/bin/arjhost" he)" = "help" ] || fail "completion of \"he\""
[ "$(complete_words "$prefix/bin/arjhost" help cr)" = "create" ] || fail "completion of \"help cr\""
[ "$(complete_words "$prefix/bin/arjhost" x a.arj -C)" = "-C" ] || fail "completion of \"x a.arj -C\": short options"
offered=" $(complete_words "$prefix/bin/arjhost" add a.arj -) "
for option in -m -u -x --update; do
  [[ $offered == *" $option "* ]] || fail "completion of \"add a.arj -\" lacks $option:$offered"
done
# The Python package, installed where pip installs for the prefix, loads the
# installed library by itself; pip installs it too, with no index.
site=$(find "$prefix/lib" -maxdepth 3 -type d -path '*/python3.*/site-packages' | head -n 1)
if [ -n "$site" ]; then
  python=/usr/bin/python3
  [ -x "$python" ] || python=python3
  check_python() {  # SITE LABEL EXPECTED_LIBRARY
    out=$(cd "$work" && env -u ARJHOST_LIBRARY -u ARJHOST_PLUGIN PYTHONPATH="$1" "$python" -c '
import os, sys, arjhost
with arjhost.ArjFile(sys.argv[1]) as a:
    print(os.path.realpath(arjhost._library.lib._name), a.testarj(), " ".join(a.namelist()))' "$sample") ||
      fail "$2: the Python package failed: $out"
    grep -qF "None" <<<"$out" && grep -qF "hello.txt" <<<"$out" || fail "$2: unexpected output: $out"
    [ -z "$3" ] || grep -qF "$(realpath "$3")" <<<"$out" || fail "$2: loaded another library: $out"
  }
  check_python "$site" "cmake --install" "$library"
  "$python" -m pip --version >/dev/null 2>&1 && {
    "$python" -m pip install --no-index --no-cache-dir --quiet --target "$work/pip" "$source_dir/python" \
      >"$work/pip.log" 2>&1 || fail "pip install ./python failed: $(cat "$work/pip.log")"
    LD_LIBRARY_PATH=$libdir check_python "$work/pip" "pip install" ""
  }
fi
echo "install test: ok"
