#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on a small picture set of
# its own under demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
export GLIMMERQUORUM_CONFIG_DIR="$PWD/demo/config"
mkdir -p "$GLIMMERQUORUM_CONFIG_DIR"
echo "== usage text"
./build/src/GlimmerQuorum --help
echo "== settings written at exit"
./build/src/GlimmerQuorum --settings-roundtrip-demo 2>/dev/null || true
cat "$GLIMMERQUORUM_CONFIG_DIR/settings.reg"
