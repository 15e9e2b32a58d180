#!/usr/bin/env bash
# Lays out the runtime folder: the program, a link to the data tree and the
# folders the game writes into. Nothing is written into the source tree.
set -eu
rundir=$1
build=$2
top=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$rundir"
cd "$rundir"
ln -sfn "$top/data" data
ln -sfn "$top/$build/zylomach" zylomach
mkdir -p replay autosave screenshots raytrace custom
