#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job with settings and data
# folders of its own under demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
demo="$PWD/demo"
rm -rf "$demo"
mkdir -p "$demo"
export GLIMMERQUORUM_CONFIG_DIR="$demo/config" XDG_DATA_HOME="$demo/data"
program=./build/src/GlimmerQuorum

echo "== $program --help"
"$program" --help

echo "== a query without an instance label writes its status into the result file"
"$program" -q 1 20 "$demo/result.txt" picture.jpg
cat "$demo/result.txt"

echo "== the program runs headless until SIGTERM, then saves its settings"
"$program" &
pid=$!
for _ in $(seq 100); do [ -f "$GLIMMERQUORUM_CONFIG_DIR/settings.reg" ] && break; sleep 0.05; done
sleep 0.2
kill -TERM "$pid"
wait "$pid"
echo "exit code $?"
cat "$GLIMMERQUORUM_CONFIG_DIR/settings.reg"
