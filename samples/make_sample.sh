#!/usr/bin/env bash
# Remakes sample.arj from the files in src/ with the arj peer
# (apt-get install -y arj): one file per method, and a directory.
set -euo pipefail
cd "$(dirname "$0")/src"
rm -f ../sample.arj
arj a -y -m1 ../sample.arj hello.txt </dev/null >/dev/null
arj a -y -m4 ../sample.arj numbers.bin </dev/null >/dev/null
arj a -y -m2 -r ../sample.arj docs </dev/null >/dev/null
arj l ../sample.arj </dev/null | tail -n 4
