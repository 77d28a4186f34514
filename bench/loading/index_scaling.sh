#!/bin/sh
# Times `gqtool index --jobs 1` against `--jobs 2` on real photographs of 1-2 MP.
# Usage: bench/loading/index_scaling.sh GQTOOL [FOLDER [RUNS]]
# FOLDER (default /tmp/gq-index-photos) is filled once with about 300 JPEGs cut from the
# installed desktop wallpapers: 17 crops of each, scaled to 1300-1800 px at most, quality 90.
# Each run indexes FOLDER into a new database; the figures are the whole command's wall
# time (start-up and save included), with hyperfine when installed, else /usr/bin/time.
set -eu
gqtool=$(realpath "$1")
folder=${2:-/tmp/gq-index-photos}
runs=${3:-5}

make_photos() {
  mkdir -p "$folder"
  n=0
  for images in /usr/share/wallpapers/*/contents/images; do
    source=$(ls -S "$images"/*.jpg 2>/dev/null | head -n 1) || true
    [ -n "$source" ] || continue
    n=$((n + 1))
    for crop in 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16; do
      # Crops of 55-95 % of the picture from different corners and offsets.
      share=$((55 + (crop * 5) % 45))
      gravity=$(echo NorthWest North NorthEast West Center East SouthWest South SouthEast |
                cut -d' ' -f$((crop % 9 + 1)))
      side=$((1300 + (crop * 37) % 500))
      convert -quiet "$source" -gravity "$gravity" -crop "${share}%x${share}%+0+0" +repage \
        -resize "${side}x${side}>" -quality 90 "$folder/w${n}_c${crop}.jpg"
    done
  done
}

[ -n "$(ls "$folder"/*.jpg 2>/dev/null | head -n 1)" ] || make_photos
echo "$(ls "$folder"/*.jpg | wc -l) pictures in $folder"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if command -v hyperfine >/dev/null; then
  hyperfine --runs "$runs" --prepare "rm -f $work/db.gqdb $work/db.gqdb~" \
    "$gqtool index $work/db.gqdb $folder --quiet --jobs 1" \
    "$gqtool index $work/db.gqdb $folder --quiet --jobs 2"
  exit 0
fi
# Without hyperfine: each run under /usr/bin/time, then the median of each --jobs.
for jobs in 1 2; do
  for run in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S" -o "$work/time" sh -c \
      "rm -f $work/db.gqdb $work/db.gqdb~; $gqtool index $work/db.gqdb $folder --quiet --jobs $jobs >/dev/null"
    read -r wall user system <"$work/time"
    echo "--jobs $jobs run $run: $wall s wall, $user s user, $system s system"
    echo "$wall" >>"$work/wall$jobs"
  done
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
one=$(median "$work/wall1")
two=$(median "$work/wall2")
echo "median wall: --jobs 1 $one s, --jobs 2 $two s, speed-up $(echo "scale=2; $one / $two" | bc) x"
