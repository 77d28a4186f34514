#!/usr/bin/env python3
"""How well the duplicate finders group edited copies with their original.

Builds a set of pictures from the distribution's wallpaper packages: per source photo an
original (longer side 1600 pixels) and edited copies made with ImageMagick, plus
distractor regions of the same photos that do not overlap. Indexes the set with gqtool,
runs the duplicate finders and prints a Markdown table: per edit kind the share of copies
grouped with their original, per finder the grouped pairs and their precision.
"""

import argparse
import concurrent.futures
import hashlib
import itertools
import json
import os
import random
import re
import shutil
import subprocess
import sys
import time

RECIPE_VERSION = 2
ORIGINAL_SIDE = 1600
WALLPAPER_DIRS = ("/usr/share/wallpapers", "/usr/share/backgrounds")
PICTURE_EXTENSIONS = (".jpg", ".jpeg", ".png", ".webp")
REGION_GRID = "3x2"  # columns x rows: by default six disjoint tiles per photo
FINGERPRINTS = "findimagedupes.fp"
PLAIN_SPREAD = 0.03  # grey standard deviation below which a wallpaper counts as plain

# Edit kinds in table order: name, strength (a range to draw from, one fixed value, or None
# for none), and how to make it: a function that turns the strength into ImageMagick
# arguments (run on the original JPEG), or a crop: the same share off every side, or a
# share of its own off each side. The two fixed kinds repeat earlier measurements.
EVEN_CROP, UNEVEN_CROP = "even crop", "uneven crop"
EDIT_KINDS = [
    ("resized to 50-80 %", (50, 80), lambda p: ["-resize", f"{p}%"]),
    ("re-encoded at quality 50-70", (50, 70), lambda q: ["-quality", str(q)]),
    ("resized to 50-80 %, quality 60", (50, 80), lambda p: ["-resize", f"{p}%", "-quality", "60"]),
    ("blurred, sigma 1-2", (1.0, 2.0), lambda s: ["-gaussian-blur", f"0x{s:.2f}"]),
    ("brightened 8-25 %", (8, 25), lambda b: ["-modulate", str(100 + b)]),
    ("brightened 8 %", 8, lambda b: ["-modulate", str(100 + b)]),
    ("darkened 8-25 %", (8, 25), lambda b: ["-modulate", str(100 - b)]),
    ("contrast up 10-25", (10, 25), lambda c: ["-brightness-contrast", f"0x{c}"]),
    ("contrast down 10-25", (10, 25), lambda c: ["-brightness-contrast", f"0x-{c}"]),
    ("grey", None, lambda _: ["-colorspace", "Gray"]),
    ("cropped 5-15 % per side", (5, 15), EVEN_CROP),
    ("cropped to the central 90 %", 5, EVEN_CROP),
    ("cropped 0-15 % per side, unevenly", (0, 15), UNEVEN_CROP),
    ("mirrored", None, lambda _: ["-flop"]),
    ("rotated 90", None, lambda _: ["-rotate", "90"]),
    ("rotated 180", None, lambda _: ["-rotate", "180"]),
    ("rotated 270", None, lambda _: ["-rotate", "270"]),
]

INSTALL_HINTS = {
    "convert": "imagemagick",
    "identify": "imagemagick",
    "findimagedupes": "findimagedupes",
}


def log(text):
    print(text, file=sys.stderr, flush=True)


def slug(text):
    return re.sub(r"[^a-z0-9]+", "-", text.lower()).strip("-")


# --- Source photos -------------------------------------------------------------------------


def picture_size(path):
    out = subprocess.run(["identify", "-ping", "-format", "%w %h\n", path + "[0]"],
                         capture_output=True, text=True, check=True).stdout.split()
    return int(out[0]), int(out[1])


def kde_sources(root):
    """One picture per wallpaper package: its largest landscape size (the package ships
    the photo at several sizes; the dark variants and screenshots are left out)."""
    sources = []
    for name in sorted(os.listdir(root)):
        folder = os.path.join(root, name, "contents", "images")
        if not os.path.isdir(folder):
            continue
        best = None
        for entry in sorted(os.listdir(folder)):
            if not entry.lower().endswith(PICTURE_EXTENSIONS):
                continue
            width, height = picture_size(os.path.join(folder, entry))
            if width >= height and (best is None or width * height > best[0]):
                best = (width * height, entry)
        if best:
            sources.append((name, os.path.realpath(os.path.join(folder, best[1]))))
    return sources


def other_sources(root):
    """Pictures below root, one per name once light/dark suffixes and size tokens are
    taken off (the light one is kept)."""
    by_stem = {}
    for folder, _, files in sorted(os.walk(root)):
        for entry in sorted(files):
            if not entry.lower().endswith(PICTURE_EXTENSIONS):
                continue
            stem = os.path.splitext(entry)[0]
            stem = re.sub(r"[-_]?\d+x\d+", "", stem)
            stem = re.sub(r"[-_](l|d|light|dark|day|night)$", "", stem)
            key = os.path.join(os.path.relpath(folder, root), stem)
            previous = by_stem.get(key)
            if previous is None or "-d." in previous or "dark" in previous:
                by_stem[key] = os.path.join(folder, entry)
    return [(key.replace(os.sep, "-"), path) for key, path in sorted(by_stem.items())]


def is_plain(path):
    """True for a picture of one colour or nearly so (no photo; its regions are alike)."""
    spread = subprocess.run(["convert", path + "[0]", "-sample", "200x200", "-colorspace", "Gray",
                             "-format", "%[fx:standard_deviation]", "info:"],
                            capture_output=True, text=True, check=True).stdout
    return float(spread) < PLAIN_SPREAD


def pick_sources(count, seed):
    found = []
    for root in WALLPAPER_DIRS:
        found += kde_sources(root) if root.endswith("wallpapers") else other_sources(root)
    found = [(name, path) for name, path in found if not is_plain(path)]
    if len(found) > count:
        found = sorted(random.Random(f"{seed}:sources").sample(found, count))
    return found


# --- The set -------------------------------------------------------------------------------


def draw(seed, source, kind, strength_range, make):
    rng = random.Random(f"{seed}:{source}:{kind}")
    if not isinstance(strength_range, tuple):
        return strength_range
    low, high = strength_range
    if make == UNEVEN_CROP:
        sides = [rng.randint(low, high) for _ in range(4)]
        sides[rng.randrange(4)] = rng.randint(5, high)  # at least one side loses 5 %
        return sides
    if isinstance(low, float):
        return round(rng.uniform(low, high), 2)
    return rng.randint(low, high)


def crop_args(size, sides):
    """sides: left, top, right, bottom in percent of the width or height."""
    width, height = size
    left, top = width * sides[0] // 100, height * sides[1] // 100
    keep_w = width - left - width * sides[2] // 100
    keep_h = height - top - height * sides[3] // 100
    return ["-crop", f"{keep_w}x{keep_h}+{left}+{top}", "+repage"]


def file_name(seed, label):
    """A name that tells a finder nothing: neither the photo nor the edit nor an order."""
    return hashlib.sha256(f"{seed}:{label}".encode()).hexdigest()[:16] + ".jpg"


def plan_set(sources, seed, grid):
    """The recipe of every picture of the set: file name -> facts (with a readable label)
    and ImageMagick steps. Originals are made from the packages' files; copies and regions
    from the originals."""
    plan = {}
    for index, (name, path) in enumerate(sources):
        tag = f"s{index:02d}-{slug(name)}"
        original = file_name(seed, f"{tag}-original")
        plan[original] = {"label": f"{tag}-original", "source": tag, "role": "original",
                          "kind": "original",
                          "from": path, "args": ["-auto-orient", "-background", "white",
                                                 "-alpha", "remove", "-alpha", "off",
                                                 "-resize", f"{ORIGINAL_SIDE}x{ORIGINAL_SIDE}>",
                                                 "-strip", "-quality", "92"]}
        for kind, strength_range, make in EDIT_KINDS:
            strength = draw(seed, tag, kind, strength_range, make)
            label = f"{tag}-{slug(kind)}"
            entry = {"label": label, "source": tag, "role": "copy", "kind": kind,
                     "strength": strength, "from": original}
            if make == EVEN_CROP:
                entry["crop"] = [strength] * 4
            elif make == UNEVEN_CROP:
                entry["crop"] = strength
            else:
                entry["args"] = ["-quality", "92"] + make(strength)
            plan[file_name(seed, label)] = entry
        columns, rows = grid
        for column, row in itertools.product(range(columns), range(rows)):
            label = f"{tag}-region-{columns}x{rows}-c{column}r{row}"
            plan[file_name(seed, label)] = {"label": label, "source": tag, "role": "region",
                                            "kind": "region", "from": original,
                                            "region": [column, row, columns, rows]}
    return plan


def region_grid(text):
    columns, _, rows = text.partition("x")
    if not (columns.isdigit() and rows.isdigit()) or int(columns) * int(rows) < 2:
        raise SystemExit(f"--regions must be COLUMNSxROWS with two tiles or more, not {text!r}")
    return int(columns), int(rows)


def region_args(size, tile):
    columns, rows = tile[2], tile[3]
    width, height = size
    left, right = width * tile[0] // columns, width * (tile[0] + 1) // columns
    top, bottom = height * tile[1] // rows, height * (tile[1] + 1) // rows
    return ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
            "-quality", "92"]


def make_picture(folder, name, entry):
    source = entry["from"]
    if not os.path.isabs(source):
        source = os.path.join(folder, source)
    if "args" in entry:
        args = entry["args"]
    else:
        size = picture_size(source)
        args = (region_args(size, entry["region"]) if "region" in entry
                else crop_args(size, entry["crop"]) + ["-quality", "92"])
    target = os.path.join(folder, name)
    subprocess.run(["convert", source + "[0]"] + args + [target], check=True,
                   capture_output=True)


def build_set(work, plan, jobs):
    """Makes the set in work/set (returned) unless work/set.json shows the same plan; that manifest
    is written last, so an interrupted build is redone. A rebuild drops findimagedupes'
    fingerprints of the old set."""
    folder = os.path.join(work, "set")
    manifest_path = os.path.join(work, "set.json")
    stamp = {"version": RECIPE_VERSION, "side": ORIGINAL_SIDE, "plan": plan}
    if os.path.exists(manifest_path):
        with open(manifest_path) as manifest:
            if json.load(manifest) == stamp:
                log(f"set: {len(plan)} pictures cached in {folder}")
                return folder
    shutil.rmtree(folder, ignore_errors=True)
    for stale in (manifest_path, os.path.join(work, FINGERPRINTS)):
        if os.path.exists(stale):
            os.remove(stale)
    os.makedirs(folder)
    started = time.monotonic()
    originals = [name for name, entry in plan.items() if entry["role"] == "original"]
    derived = [name for name, entry in plan.items() if entry["role"] != "original"]
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        for stage in (originals, derived):
            list(pool.map(lambda name: make_picture(folder, name, plan[name]), stage))
    with open(manifest_path, "w") as manifest:
        json.dump(stamp, manifest, indent=1)
    log(f"set: made {len(plan)} pictures in {time.monotonic() - started:.0f} s")
    return folder


# --- Finders -------------------------------------------------------------------------------


def gqtool_knows(gqtool, option):
    result = subprocess.run([gqtool, "--help"], capture_output=True, text=True)
    return option in result.stdout + result.stderr


def gqtool_groups(gqtool, db, extra):
    result = subprocess.run([gqtool, "duplicates", db, "--json"] + extra, capture_output=True,
                            text=True, check=True)
    return [[os.path.basename(member["path"]) for member in group]
            for group in json.loads(result.stdout)["groups"]]


def findimagedupes_groups(folder, pictures, fingerprints, threshold):
    view = 'VIEW(){ for f in "$@"; do printf "%s\\t" "$f"; done; echo; }'
    command = ["findimagedupes", "-q", "-q", "-f", fingerprints, "-t", threshold, "-i", view,
               "-0", "--", "-"]
    listing = "".join(os.path.join(folder, name) + "\0" for name in pictures)
    result = subprocess.run(command, input=listing, capture_output=True, text=True)
    if result.returncode not in (0, 1):
        raise RuntimeError(f"findimagedupes failed: {result.stderr.strip()}")
    return [[os.path.basename(path) for path in line.split("\t") if path]
            for line in result.stdout.splitlines() if line.strip()]


# --- Scoring -------------------------------------------------------------------------------


def score(groups, plan):
    """Per edit kind how many copies share a group with their original, and the grouped
    pairs: true when both pictures come from the same photo and neither is a region."""
    group_of = {}
    for number, group in enumerate(groups):
        for name in group:
            group_of.setdefault(name, set()).add(number)
    originals = {entry["source"]: name for name, entry in plan.items()
                 if entry["role"] == "original"}
    found, missed = {}, []
    for name, entry in plan.items():
        if entry["role"] == "copy":
            original = originals[entry["source"]]
            hit = bool(group_of.get(name, set()) & group_of.get(original, set()))
            found[entry["kind"]] = found.get(entry["kind"], 0) + hit
            if not hit:
                missed.append(entry["label"])
    pairs = set()
    for group in groups:
        pairs.update(itertools.combinations(sorted(set(group)), 2))
    false_pairs = [(a, b) for a, b in pairs
                   if "region" in (plan[a]["role"], plan[b]["role"])
                   or plan[a]["source"] != plan[b]["source"]]
    false_region = sum("region" in (plan[a]["role"], plan[b]["role"]) for a, b in false_pairs)
    return {"found": found, "pairs": len(pairs), "false_region": false_region,
            "false_other": len(false_pairs) - false_region, "missed": sorted(missed),
            "false_pairs": sorted(sorted((plan[a]["label"], plan[b]["label"]))
                                  for a, b in false_pairs)}


def print_table(results, plan):
    totals = {}
    for entry in plan.values():
        if entry["role"] == "copy":
            totals[entry["kind"]] = totals.get(entry["kind"], 0) + 1
    modes = list(results)
    print("| Edit | " + " | ".join(modes) + " |")
    print("|---|" + "---|" * len(modes))
    for kind, _, _ in EDIT_KINDS:
        cells = []
        for mode in modes:
            hits, total = results[mode]["found"].get(kind, 0), totals[kind]
            cells.append(f"{hits}/{total} ({hits / total:.2f})")
        print(f"| {kind} | " + " | ".join(cells) + " |")
    all_copies = sum(totals.values())
    cells = []
    for mode in modes:
        hits = sum(results[mode]["found"].values())
        cells.append(f"{hits}/{all_copies} ({hits / all_copies:.2f})")
    print("| all copies | " + " | ".join(cells) + " |")
    print()
    print("| Mode | grouped pairs | false pairs (region / other photo) | pair precision | time |")
    print("|---|---|---|---|---|")
    for mode, result in results.items():
        false = result["false_region"] + result["false_other"]
        precision = (result["pairs"] - false) / result["pairs"] if result["pairs"] else 1.0
        print(f"| {mode} | {result['pairs']} | {false} ({result['false_region']} / "
              f"{result['false_other']}) | {precision:.2f} | {result['seconds']:.1f} s |")


# --- Main ----------------------------------------------------------------------------------


def check_tools(modes):
    needed = ["convert", "identify"] + (["findimagedupes"] if any(
        m.startswith("findimagedupes") for m in modes) else [])
    missing = [tool for tool in needed if shutil.which(tool) is None]
    packages = sorted({INSTALL_HINTS[tool] for tool in missing})
    for root, package in zip(WALLPAPER_DIRS, ("plasma-workspace-wallpapers",
                                              "gnome-backgrounds")):
        if not os.path.isdir(root):
            missing.append(root)
            packages.append(package)
    if missing:
        log(f"missing: {', '.join(missing)}; install with: "
            f"sudo apt-get install {' '.join(packages)}")
        return False
    return True


def parse_arguments():
    repo = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--gqtool", default=os.path.join(repo, "build", "src", "app", "gqtool"))
    parser.add_argument("--work", default="/tmp/gq-edited-copies",
                        help="folder for the set (kept between runs) and the databases")
    parser.add_argument("--sources", type=int, default=40, help="source photos (at most)")
    parser.add_argument("--seed", type=int, default=1, help="seed of the edit strengths")
    parser.add_argument("--modes", default="default,edits,findimagedupes",
                        help="comma-separated: default, edits, findimagedupes")
    parser.add_argument("--similarity", help="--similarity passed to gqtool duplicates")
    parser.add_argument("--strict", default="95%",
                        help="findimagedupes' strict threshold (its default is 90%%)")
    parser.add_argument("--regions", default=REGION_GRID,
                        help="the distractor tiles of each photo, COLUMNSxROWS (2x1: its halves)")
    parser.add_argument("--jobs", type=int, default=2, help="ImageMagick processes at once")
    parser.add_argument("--report", help="also write per mode the missed copies and the false "
                        "pairs to this JSON file")
    return parser.parse_args()


def run_modes(args, modes, folder, plan):
    results = {}
    pictures = sorted(plan)
    extra = ["--similarity", args.similarity] if args.similarity else []
    if {"default", "edits"} & set(modes):
        db = os.path.join(args.work, "set.gqdb")
        for stale in (db, db + "~"):
            if os.path.exists(stale):
                os.remove(stale)
        started = time.monotonic()
        subprocess.run([args.gqtool, "index", db, folder, "--quiet"], check=True,
                       stdout=subprocess.DEVNULL)
        log(f"gqtool index: {time.monotonic() - started:.0f} s")
    for mode in modes:
        started = time.monotonic()
        if mode == "default":
            groups = gqtool_groups(args.gqtool, db, extra)
        elif mode == "edits":
            if not gqtool_knows(args.gqtool, "--edits"):
                log("edits: skipped, this gqtool has no duplicates --edits")
                continue
            groups = gqtool_groups(args.gqtool, db, extra + ["--edits"])
        elif mode == "findimagedupes":
            fingerprints = os.path.join(args.work, FINGERPRINTS)
            for label, threshold in (("findimagedupes", "90%"),
                                     (f"findimagedupes -t {args.strict}", args.strict)):
                started = time.monotonic()
                groups = findimagedupes_groups(folder, pictures, fingerprints, threshold)
                results[label] = score(groups, plan)
                results[label]["seconds"] = time.monotonic() - started
            continue
        results[mode] = score(groups, plan)
        results[mode]["seconds"] = time.monotonic() - started
    return results


def main():
    args = parse_arguments()
    modes = [mode for mode in args.modes.split(",") if mode]
    unknown = set(modes) - {"default", "edits", "findimagedupes"}
    if unknown:
        log(f"unknown modes: {', '.join(sorted(unknown))}")
        return 2
    if not check_tools(modes):
        return 1
    if {"default", "edits"} & set(modes) and not os.access(args.gqtool, os.X_OK):
        log(f"no gqtool at {args.gqtool}: build it or pass --gqtool")
        return 1
    sources = pick_sources(args.sources, args.seed)
    log(f"sources: {len(sources)} photos")
    plan = plan_set(sources, args.seed, region_grid(args.regions))
    os.makedirs(args.work, exist_ok=True)
    folder = build_set(args.work, plan, args.jobs)
    results = run_modes(args, modes, folder, plan)
    copies = sum(entry["role"] == "copy" for entry in plan.values())
    regions = sum(entry["role"] == "region" for entry in plan.values())
    print(f"{len(sources)} photos, {copies} edited copies, {regions} distractor regions "
          f"(seed {args.seed})\n")
    print_table(results, plan)
    if args.report:
        with open(args.report, "w") as report:
            json.dump({mode: {"missed": result["missed"], "false_pairs": result["false_pairs"]}
                       for mode, result in results.items()}, report, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
