#!/bin/sh
# Remakes the sample archives in this folder with the installed arj, one per
# method, from the files that tests/support/sample_data.cpp generates.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

c++ -std=c++20 -O1 -I"$root" -DARJHOST_SOURCE_DIR="\"$root\"" -DARJHOST_BUILD_DIR="\"$work\"" \
  -o "$work/write_sample_files" "$root/tests/codecs/decode/write_sample_files.cpp" \
  "$root/tests/support/sample_data.cpp" "$root/tests/support/files.cpp" "$root/plugin/format/crc32.cpp"
mkdir "$work/files"
"$work/write_sample_files" "$work/files"

for m in 0 1 2 3 4; do
  rm -f "$work/out.arj"
  # arj exits 1 for warnings; 2 and above are failures.
  (cd "$work/files" && timeout 300 arj a -y -m$m ../out.arj '*' </dev/null >/dev/null) || [ $? -eq 1 ]
  timeout 300 arj t -y "$work/out.arj" </dev/null >/dev/null
  cp "$work/out.arj" "$here/sample-m$m.arj"
done
ls -l "$here"/*.arj
