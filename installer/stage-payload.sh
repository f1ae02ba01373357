#!/usr/bin/env bash
# Stages what the installer installs: the two programs without their
# debugging information, the shipped data files and the help folder.
# Each data file is dated when it last changed (its last commit; its own
# date when it has changes not yet committed or there is no git), never
# when it was built: Snapwell takes the program folder's options.xml over a
# user's options saved before it, so an upgrade must not make defaults that
# did not change look new.
# Arguments: PAYLOAD_DIR SOURCE_DIR STRIP SNAPWELL_EXE SNAPCTL_EXE
set -euo pipefail
payload=$1 source=$2 strip=$3 snapwell=$4 snapctl=$5

rm -rf "$payload"
mkdir -p "$payload"
"$strip" -o "$payload/Snapwell.exe" "$snapwell"
"$strip" -o "$payload/snapctl.exe" "$snapctl"
cp -p "$source"/data/*.xml "$payload/"
cp -pR "$source/data/docs" "$payload/docs"

(cd "$source/data" && find . -maxdepth 1 -type f -name '*.xml' -printf '%P\n' && find docs -type f) |
while read -r file; do
    git -C "$source" diff --quiet HEAD -- "data/$file" 2>/dev/null || continue
    when="$(git -C "$source" log -1 --format=%ct -- "data/$file" 2>/dev/null || true)"
    if [ -n "$when" ]; then touch -d "@$when" "$payload/$file"; fi
done
