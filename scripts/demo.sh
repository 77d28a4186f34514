#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on a small picture set of its
# own under demo/: generates pictures (with resized and re-encoded copies), indexes
# them into a database with gqtool, checks and lists it, finds the duplicate groups (also
# as edited copies) and the pictures similar to one of them (by the index and exactly), and
# shows the program's own command line at work.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
demo="$PWD/demo"
rm -rf "$demo"
mkdir -p "$demo"
export GLIMMERQUORUM_CONFIG_DIR="$demo/config" XDG_DATA_HOME="$demo/data"
gqtool=./build/src/app/gqtool
program=./build/src/GlimmerQuorum

echo "== a picture set: 30 pictures, every fifth also resized and re-encoded"
./build/bench/tools/make_pictures "$demo/pictures" 30

echo "== gqtool index: load the pictures into demo/collection.gqdb"
"$gqtool" index "$demo/collection.gqdb" "$demo/pictures"
echo "== again: every picture is known and unchanged"
"$gqtool" index "$demo/collection.gqdb" "$demo/pictures"

echo "== gqtool info and check"
"$gqtool" info "$demo/collection.gqdb"
"$gqtool" check "$demo/collection.gqdb"

echo "== gqtool export --folders"
"$gqtool" export "$demo/collection.gqdb" --folders

echo "== gqtool duplicates: the generated copies are found as groups"
"$gqtool" duplicates "$demo/collection.gqdb"

echo "== gqtool similar: the pictures most like picture0005.jpg (its two copies first)"
"$gqtool" similar "$demo/collection.gqdb" "$demo/pictures/picture0005.jpg" --last 5 --scores

echo "== gqtool duplicates --edits: the same groups, found from the thumbnails as edited copies"
"$gqtool" duplicates "$demo/collection.gqdb" --edits

echo "== gqtool similar --exact: the truly nearest, by one scan of every signature"
"$gqtool" similar "$demo/collection.gqdb" "$demo/pictures/picture0005.jpg" --last 5 --scores --exact

echo "== GlimmerQuorum: a query without an instance label writes its status into the result file"
"$program" -q 1 20 "$demo/result.txt" picture.jpg
cat "$demo/result.txt"

echo "== GlimmerQuorum runs headless until SIGTERM, then saves its settings"
"$program" &
pid=$!
for _ in $(seq 100); do [ -f "$GLIMMERQUORUM_CONFIG_DIR/settings.reg" ] && break; sleep 0.05; done
sleep 0.2
kill -TERM "$pid"
wait "$pid"
echo "exit code $?"
cat "$GLIMMERQUORUM_CONFIG_DIR/settings.reg"
