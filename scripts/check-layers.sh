#!/usr/bin/env bash
# Checks that every layer includes only headers of its own layer or of the layers below it, and
# that the core includes no system header beyond the C++ standard library.
#
# Usage: scripts/check-layers.sh [BUILD_DIR]     (default build/, or $VINTREL_BUILD_DIR)
#
# The layer of a source is the library it is compiled into, read from BUILD_DIR's
# compile_commands.json (CMakeFiles/<target>.dir/ in each object's path). A header has the layer
# of its own .cpp, or, when it has none, the layer the table HEADER_ONLY below gives it. Headers
# of cli/, sim/, tests/, bench/ and fuzz/ belong to the programs, above every layer. Configure
# BUILD_DIR with the windows (VINTREL_GUI=ON) to check every file; a build without them checks
# what it compiles. Prints each offending include as FILE:LINE and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-${VINTREL_BUILD_DIR:-build}}"
if [ ! -f "$dir/compile_commands.json" ]; then
    echo "check-layers: no $dir/compile_commands.json (configure the build first)" >&2
    exit 2
fi

exec python3 - "$PWD" "$dir/compile_commands.json" <<'EOF'
import json, os, re, sys

root, commands = sys.argv[1], sys.argv[2]

# Lowest first: a file may include headers of its own rank or below.
RANKS = {"quendel": 0, "core": 1, "platform": 2, "engine": 3, "charts": 4, "gui": 5, "program": 9}
TARGETS = {
    "quendel_objects": "quendel", "Quendel": "quendel",
    "vintrel_core": "core", "vintrel_platform": "platform", "vintrel_engine": "engine",
    "vintrel_charts": "charts", "vintrel_gui": "gui",
}
# Headers without a .cpp of their own.
HEADER_ONLY = {
    "stream/Clock.h": "core", "stream/Events.h": "core", "stream/FrameRecord.h": "core",
    "stream/MessageSink.h": "core", "stream/SystemError.h": "core", "stream/Transport.h": "core",
    "stream/Types.h": "core", "stream/QueueProbe.h": "core", "stream/TransportLoopListener.h": "core",
    "monitor/ListenView.h": "core",
    "recording/RecordSettings.h": "core", "recording/UserQuestions.h": "core",
    "recording/FileSystem.h": "core", "recording/ParseProgress.h": "core", "recording/RecordingView.h": "core",
    "delay/CorrEntryPoints.h": "core", "delay/BinnedWindow.h": "core", "delay/EchoFigures.h": "core",
    "app/AppSettings.h": "core", "app/ConnectSettings.h": "core",
    "app/EngineView.h": "engine", "app/LinkCounters.h": "engine", "app/EngineHooks.h": "engine",
    "app/ChartCanvas.h": "gui",
    "quendel/Quendel.h": "quendel", "quendel/QuendelImage.h": "quendel",
    "quendel/RadixKernels.inc": "quendel",
}
PROGRAM_FOLDERS = ("cli/", "sim/", "tests/", "bench/", "fuzz/")
SOURCE_FOLDERS = ("stream", "connection", "recording", "monitor", "delay", "app", "quendel")

# The C standard library's own headers, which standard C++ still offers.
C_HEADERS = set("""assert.h complex.h ctype.h errno.h fenv.h float.h inttypes.h iso646.h limits.h
locale.h math.h setjmp.h signal.h stdalign.h stdarg.h stdbool.h stddef.h stdint.h stdio.h
stdlib.h string.h tgmath.h time.h uchar.h wchar.h wctype.h""".split())

layer = {}  # path relative to root -> layer
with open(commands) as f:
    for entry in json.load(f):
        src = os.path.relpath(os.path.join(entry["directory"], entry["file"]), root)
        out = entry.get("output") or re.search(r"-o\s+(\S+)", entry.get("command", "")).group(1)
        m = re.search(r"CMakeFiles/([^/]+)\.dir/", out)
        if m and m.group(1) in TARGETS and src.split("/")[0] in SOURCE_FOLDERS:
            layer[src] = TARGETS[m.group(1)]


def layer_of(path):
    if path in layer:
        return layer[path]
    if path in HEADER_ONLY:
        return HEADER_ONLY[path]
    if path.startswith(PROGRAM_FOLDERS):
        return "program"
    stem = os.path.splitext(path)[0] + ".cpp"
    return layer.get(stem)


def is_qt(name):
    return re.match(r"Q[A-Za-z]", name) is not None


def standard(name):
    return ("/" not in name and not name.endswith(".h") and not is_qt(name)) or name in C_HEADERS


# The compiled sources, and the headers of the layers this build has.
checked = dict(layer)
built = set(layer.values())
for folder in SOURCE_FOLDERS:
    for name in sorted(os.listdir(os.path.join(root, folder))):
        path = f"{folder}/{name}"
        if name.endswith((".h", ".inc")) and layer_of(path) in built:
            checked[path] = layer_of(path)

include = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
problems = []
for path, own in sorted(checked.items()):
    with open(os.path.join(root, path), errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = include.match(line)
            if not m:
                continue
            kind, name = m.groups()
            where = f"{path}:{number}"
            if kind == "<":
                if own in ("core", "platform", "engine") and is_qt(name):
                    problems.append(f"{where}: the {own} layer includes the Qt header <{name}>")
                elif own == "core" and not standard(name):
                    problems.append(f"{where}: the core includes the system header <{name}>")
                continue
            local = os.path.normpath(os.path.join(os.path.dirname(path), name))
            target = local if os.path.exists(os.path.join(root, local)) else os.path.normpath(name)
            theirs = layer_of(target)
            if theirs is None:
                problems.append(f"{where}: no layer known for \"{name}\" (add it to scripts/check-layers.sh)")
            elif RANKS[theirs] > RANKS[own]:
                problems.append(f"{where}: the {own} layer includes \"{name}\" of the {theirs} layer")

for p in problems:
    print(p)
if problems:
    print(f"check-layers: {len(problems)} include(s) against the layers", file=sys.stderr)
    sys.exit(1)
print(f"check-layers: {len(checked)} files, every include within its layer or below")
EOF
