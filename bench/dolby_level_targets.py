#!/usr/bin/env python3
"""The automatic Dolby level against the best hand-picked one, on the Dolby B test corpus.

For every NAME_LEVEL_encoded.wav of the corpus (scripts/make_dolby_corpus.sh), restored with only
the remover on (bias equaliser and azimuth correction off):
- the best "PC Recording Volume" on a grid of quarter-octave steps (least 1-16 kHz octave-band
  error against NAME_LEVEL_clean.wav, varnolt_band_error);
- what `varnolt --dolby-level auto` chooses, and the band error there;
- for the recording with a quiet and a loud passage, both passages on their own;
- how the chosen value moves with 6 dB of transfer gain;
- what the tool chooses for the clean files, which carry no Dolby B lift, and what restoring
  them at that value costs.

    dolby_level_targets.py [CORPUS] [BUILD]     (defaults out/dolby-corpus, build)
"""
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = sys.argv[1] if len(sys.argv) > 1 else os.path.join(REPO, "out", "dolby-corpus")
BUILD = sys.argv[2] if len(sys.argv) > 2 else os.path.join(REPO, "build")
VARNOLT = os.path.join(BUILD, "varnolt")
BAND_ERROR = os.path.join(BUILD, "tools", "dolby_encoder", "varnolt_band_error")
KINDS = ["speech", "music", "tones", "bright", "quiet_loud"]
LEVELS = ["-12", "-6", "0", "+6"]
# Quarter-octave steps (1.5 dB) up to the slider's end.
GRID = [round(0.0625 * 2 ** (k / 4), 4) for k in range(26)] + [5.0]
PASSAGES = {"quiet passage": ["--to", "10"], "loud passage": ["--from", "10"]}
ONLY_THE_REMOVER = ["--azimuth", "off", "--set", "Bias/Enabled=0"]


def restore(source, out, volume=None):
    """Restores with only the remover on, at `volume`, or at the automatic level when None;
    returns the tool's standard error."""
    level = (["--dolby-level", "auto"] if volume is None else
             ["--set", "Dolby B Remover/Enabled=1",
              "--set", f"Dolby B Remover/PC Recording Volume={volume}"])
    run = subprocess.run([VARNOLT, "-q"] + ONLY_THE_REMOVER + level + [source, out],
                         check=True, capture_output=True, text=True)
    return run.stderr


def band_error(clean, restored, passage=()):
    out = subprocess.run([BAND_ERROR, "--terse", *passage, clean, restored], check=True,
                         capture_output=True, text=True).stdout.split()
    return float(out[0])


def errors_at(work, clean, encoded, volume, passages):
    """Band error of the whole file and of each passage, restored at `volume`."""
    out = os.path.join(work, f"{os.path.basename(encoded)}_{volume}.wav")
    restore(encoded, out, volume)
    result = {"whole": band_error(clean, out)}
    for name in passages:
        result[name] = band_error(clean, out, PASSAGES[name])
    os.remove(out)
    return result


def chosen(stderr):
    # Channels worked on at a volume each: the window's one value follows them.
    value = (re.search(r"the window's one slider takes ([0-9.]+)", stderr) or
             re.search(r"PC Recording Volume ([0-9.]+)", stderr))
    basis = ("tone" if "line-up tone" in stderr else
             "programme" if "estimated" in stderr else "none")
    return (float(value.group(1)) if value else None), basis


def measure_item(work, kind, level):
    encoded = os.path.join(CORPUS, f"{kind}_{level}_encoded.wav")
    clean = os.path.join(CORPUS, f"{kind}_{level}_clean.wav")
    passages = list(PASSAGES) if kind == "quiet_loud" else []
    grid = {v: errors_at(work, clean, encoded, v, passages) for v in GRID}
    undecoded = {"whole": band_error(clean, encoded)}
    for name in passages:
        undecoded[name] = band_error(clean, encoded, PASSAGES[name])
    out = os.path.join(work, f"{kind}_{level}_auto.wav")
    volume, basis = chosen(restore(encoded, out, None))
    at_auto = {"whole": band_error(clean, out)}
    for name in passages:
        at_auto[name] = band_error(clean, out, PASSAGES[name])
    # The clean file as if it were a tape: what the tool makes of material without Dolby B.
    clean_volume, clean_basis = chosen(restore(clean, out, None))
    clean_cost = band_error(clean, out) if clean_volume is not None else None
    os.remove(out)
    return dict(kind=kind, level=level, grid=grid, undecoded=undecoded, volume=volume,
                basis=basis, at_auto=at_auto, clean_volume=clean_volume,
                clean_basis=clean_basis, clean_cost=clean_cost)


def best(item, part="whole"):
    v = min(item["grid"], key=lambda v: item["grid"][v][part])
    return v, item["grid"][v][part]


def main():
    for tool in (VARNOLT, BAND_ERROR):
        if not os.access(tool, os.X_OK):
            sys.exit(f"dolby_level_targets.py: {tool} is missing (ninja -C {BUILD})")
    jobs = [(k, l) for k in KINDS for l in LEVELS
            if os.path.exists(os.path.join(CORPUS, f"{k}_{l}_encoded.wav"))]
    if not jobs:
        sys.exit(f"dolby_level_targets.py: no corpus in {CORPUS} (bash scripts/make_dolby_corpus.sh)")
    with tempfile.TemporaryDirectory() as work, \
            concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 1) as pool:
        items = list(pool.map(lambda j: measure_item(work, *j), jobs))

    print("Band error of the 1-16 kHz octave bands against the clean recording, dB (lower is better)")
    print("| item | undecoded | best value | at the best | automatic value | at it | loss |")
    print("|---|---|---|---|---|---|---|")
    losses = []
    for it in items:
        v, e = best(it)
        loss = it["at_auto"]["whole"] - e
        losses.append(loss)
        auto = f"{it['volume']:.2f} ({it['basis']})" if it["volume"] is not None else "none"
        print(f"| {it['kind']} {it['level']} dB | {it['undecoded']['whole']:.2f} | {v:g} | {e:.2f} "
              f"| {auto} | {it['at_auto']['whole']:.2f} | {loss:+.2f} |")
    print(f"\nLoss against the best value: mean {sum(losses) / len(losses):.2f} dB, "
          f"worst {max(losses):.2f} dB (targets: 0.5 and 1.5)")

    print("\nThe chosen value against 6 dB more transfer gain (target: a factor of 2 +- 10 %)")
    print("| material | " + " | ".join(f"{a} -> {b} dB" for a, b in zip(LEVELS, LEVELS[1:])) + " |")
    print("|---|" + "---|" * (len(LEVELS) - 1))
    by = {(it["kind"], it["level"]): it for it in items}
    for kind in KINDS:
        cells = []
        for a, b in zip(LEVELS, LEVELS[1:]):
            va = by.get((kind, a), {}).get("volume")
            vb = by.get((kind, b), {}).get("volume")
            cells.append(f"{vb / va:.2f}" if va and vb else "-")
        print(f"| {kind} | " + " | ".join(cells) + " |")

    print("\nThe recording with a quiet and a loud passage: band error, dB")
    print("| transfer | passage | best value | at the best | at the automatic value | loss |")
    print("|---|---|---|---|---|---|")
    for it in items:
        if it["kind"] != "quiet_loud":
            continue
        for name in PASSAGES:
            v, e = best(it, name)
            print(f"| {it['level']} dB | {name} | {v:g} | {e:.2f} | {it['at_auto'][name]:.2f} "
                  f"| {it['at_auto'][name] - e:+.2f} |")

    print("\nClean files, without Dolby B (target: \"no Dolby B lift found\", the remover left off)")
    print("| item | automatic value | band error restored at it |")
    print("|---|---|---|")
    for it in items:
        cost = f"{it['clean_cost']:.2f}" if it["clean_cost"] is not None else "-"
        value = (f"{it['clean_volume']:.2f} ({it['clean_basis']})"
                 if it["clean_volume"] is not None else "remover left off")
        print(f"| {it['kind']} {it['level']} dB | {value} | {cost} |")


if __name__ == "__main__":
    main()
