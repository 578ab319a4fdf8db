#!/usr/bin/env python3
"""Checks that includes run one way: the plug-in's subsystems include only
their own folder, lower layers and the standard library; the format module
and the host contract only themselves; the runtime's floors only their own
floor and lower ones (core and common at the bottom, neither including the
other; then services; then codecs, format and loader, which never include
each other; then api; then operations; then bindings at the top), and of
the plug-in only its host contract and format module; the tool only the
public headers of the embedding API and its operations, which include
nothing internal, and libfuse in one file of the mount; the C API
(runtime/bindings/c), which nothing else includes, and its header
includes the C library alone. Prints each breach and exits 1 when there
is one."""
import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')

# Plug-in folders by layer: a file may include its own folder and any
# folder of a lower layer, never a sibling of its own layer.
PLUGIN_LAYERS = {"host": 0, "format": 1, "state": 2, "reader": 3, "access": 3, "rebuild": 3,
                 "frame": 4}

# The runtime's floors, the same way; the build links each floor with the
# floors below it alone (runtime/CMakeLists.txt), so the linker holds this
# order too.
RUNTIME_FLOORS = {"core": 0, "common": 0, "services": 1, "codecs": 2, "format": 2, "loader": 2, "api": 3,
                  "operations": 4, "bindings": 5}

STANDARD = set("""algorithm any array atomic bit bitset cassert cctype cerrno cfloat charconv chrono cinttypes
climits cmath compare concepts condition_variable cstdarg cstddef cstdint cstdio cstdlib cstring ctime cwchar
deque exception filesystem fstream functional initializer_list iomanip ios iosfwd iostream istream iterator
limits list map memory mutex new numeric optional ostream queue random ranges ratio set shared_mutex span
sstream stack stdexcept streambuf string string_view system_error thread tuple type_traits typeinfo
unordered_map unordered_set utility variant vector version""".split())
# The compiler's own instruction intrinsics (the CRC's carry-less folding):
# part of the compiler, not a library.
STANDARD |= {"immintrin.h"}

# The C API's header, installed as <arjhost.h>, and what C it includes.
C_API_FOLDER = "runtime/bindings/c/"
C_HEADER = C_API_FOLDER + "arjhost.h"
C_STANDARD = {"stddef.h", "stdint.h"}

# The mount's serving through FUSE: the one file that includes libfuse.
FUSE_USER = "cli/mount/fuse_serve.cpp"

# The format module's header of entry values is public too: the API's
# headers name its enums and limits, and it includes only the standard
# library.
PUBLIC_FORMAT_HEADERS = {"plugin/format/arj_types.h"}


def public_api_headers():
    # The headers directly in runtime/api and runtime/operations and the
    # format module's public one: what `cmake --install` installs
    # (packaging/CMakeLists.txt), no more and no less.
    public = set(PUBLIC_FORMAT_HEADERS)
    for floor in ("api", "operations"):
        folder = os.path.join(ROOT, "runtime", floor)
        public |= {"runtime/%s/%s" % (floor, f) for f in os.listdir(folder) if f.endswith(".h")}
    return public


def sources(folder):
    for base, _, files in os.walk(os.path.join(ROOT, folder)):
        for f in sorted(files):
            if f.endswith((".h", ".cpp")):
                path = os.path.join(base, f)
                yield os.path.relpath(path, ROOT).replace(os.sep, "/"), path


def includes(path):
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m:
                yield number, m.group(1) == "<", m.group(2)


def plugin_breach(rel, angle, target):
    folder = rel.split("/")[1]
    if angle:
        return None if target in STANDARD else "the plug-in includes only the standard library"
    if not target.startswith("plugin/"):
        return "the plug-in includes only plugin/"
    other = target.split("/")[1]
    if other == folder:
        return None
    if other not in PLUGIN_LAYERS or PLUGIN_LAYERS[other] >= PLUGIN_LAYERS[folder]:
        return "plugin/%s may include only lower layers, not plugin/%s" % (folder, other)
    if folder == "format" or folder == "host":
        return "plugin/%s includes only itself" % folder
    return None


def runtime_breach(rel, target):
    if target.startswith("plugin/"):
        if target.startswith(("plugin/host/", "plugin/format/")):
            return None
        return "the runtime includes only the plug-in's host contract and format"
    if not target.startswith("runtime/"):
        return "the runtime includes only runtime/ and the plug-in's host contract and format"
    floor, other = rel.split("/")[1], target.split("/")[1]
    if floor == other:
        return None
    if other not in RUNTIME_FLOORS or RUNTIME_FLOORS[other] >= RUNTIME_FLOORS[floor]:
        return "runtime/%s may include only lower floors, not runtime/%s" % (floor, other)
    return None


def main():
    public = public_api_headers()
    breaches = []
    for rel, path in sources("plugin"):
        for number, angle, target in includes(path):
            why = plugin_breach(rel, angle, target)
            if not why and rel in public and not angle:
                why = "a public header includes only the standard library"
            if why:
                breaches.append("%s:%d: %s: %s" % (rel, number, target, why))
    for rel, path in sources("runtime"):
        for number, angle, target in includes(path):
            if angle:
                continue
            why = runtime_breach(rel, target)
            if why:
                breaches.append("%s:%d: %s: %s" % (rel, number, target, why))
            if rel in public and target not in public:
                breaches.append("%s:%d: %s: a public API header includes only other public API headers"
                                % (rel, number, target))
            if target.startswith(C_API_FOLDER) and not rel.startswith(C_API_FOLDER):
                breaches.append("%s:%d: %s: only the C API includes its own files" % (rel, number, target))
    for number, angle, target in includes(os.path.join(ROOT, C_HEADER)):
        if not angle or target not in C_STANDARD:
            breaches.append("%s:%d: %s: the C API's header includes only %s"
                            % (C_HEADER, number, target, ", ".join(sorted(C_STANDARD))))
    for rel, path in sources("cli"):
        for number, angle, target in includes(path):
            if not angle and not target.startswith("cli/") and target not in public:
                breaches.append("%s:%d: %s: the tool includes only the embedding API's public headers"
                                % (rel, number, target))
    # libfuse is the tool's alone, in the one file built only where it is found.
    for folder in ("plugin", "runtime", "cli"):
        for rel, path in sources(folder):
            for number, angle, target in includes(path):
                if angle and target.startswith("fuse") and rel != FUSE_USER:
                    breaches.append("%s:%d: %s: only %s includes libfuse" % (rel, number, target, FUSE_USER))
    for b in breaches:
        print(b)
    print("%d include breaches" % len(breaches))
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
