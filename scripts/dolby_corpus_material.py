#!/usr/bin/env python3
"""Generated material for the Dolby B corpus (scripts/make_dolby_corpus.sh), as it would be
recorded at a transfer level of 0 dB: stereo, 44.1 kHz, 32-bit floating-point WAV.

  dolby_corpus_material.py tones|bright|quiet_loud OUT.wav

Levels are relative to Dolby level, -15 dBFS as the encoder's default reference takes it:
  tones       a 400 Hz tone at Dolby level for 3 s (the tone a tape starts with), a logarithmic
              sweep from 200 Hz to 16 kHz 20 dB below it, and three chords of treble at -30, -10
              and 0 dB re Dolby level
  bright      cymbal-like noise: ride strokes, hi-hats and crashes of high-passed noise over a
              quiet bass line
  quiet_loud  a quiet acoustic passage (plucked strings, about 26 dB down) and then a loud, dense
              one (sawtooth chords, kick and snare); the script normalises its peak
Pure Python, seeded: the same file on every run.
"""
import array
import math
import random
import struct
import sys

RATE = 44100
SECONDS = 20
FRAMES = RATE * SECONDS
DOLBY_LEVEL = 10 ** (-15 / 20)  # amplitude of a sine at Dolby level


def db(x):
    return 10 ** (x / 20)


def write_wav(path, left, right):
    data = array.array("f", [0.0]) * (2 * len(left))
    data[0::2] = array.array("f", left)
    data[1::2] = array.array("f", right)
    if sys.byteorder != "little":
        data.byteswap()
    raw = data.tobytes()
    with open(path, "wb") as f:
        # WAVE_FORMAT_IEEE_FLOAT (3), 2 channels, 32 bits.
        f.write(b"RIFF" + struct.pack("<I", 36 + len(raw)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<IHHIIHH", 16, 3, 2, RATE, RATE * 8, 8, 32))
        f.write(b"data" + struct.pack("<I", len(raw)) + raw)


def tones():
    out = [0.0] * FRAMES
    two_pi = 2 * math.pi
    for n in range(3 * RATE):  # the reference tone
        out[n] = DOLBY_LEVEL * math.sin(two_pi * 400 * n / RATE)
    start, length = int(3.5 * RATE), 10 * RATE  # sweep, phase integrated for a clean glide
    ratio = math.log(16000 / 200)
    a, phase = DOLBY_LEVEL * db(-20), 0.0
    for i in range(length):
        phase += two_pi * 200 * math.exp(ratio * i / length) / RATE
        out[start + i] = a * math.sin(phase)
    chord = [1047, 2637, 5274, 9397]  # four notes, treble the encoder lifts
    chord_start, chord_length = int(13.6 * RATE), int(2.1 * RATE)
    for c, level in enumerate((-30, -10, 0)):
        a = DOLBY_LEVEL * db(level) / len(chord)
        begin = chord_start + c * (chord_length + int(0.05 * RATE))
        for i in range(chord_length):
            fade = min(1.0, i / 441, (chord_length - i) / 441)  # 10 ms ramps, no clicks
            out[begin + i] = fade * a * sum(math.sin(two_pi * f * i / RATE) for f in chord)
    return out, list(out)


def high_passed_noise(rng, count):
    """White noise through two first differences: a +12 dB/octave tilt, cymbal-bright."""
    out, x1, x2 = [0.0] * count, 0.0, 0.0
    for i in range(count):
        x = rng.uniform(-1, 1)
        out[i] = (x - 2 * x1 + x2) / 4
        x1, x2 = x, x1
    return out


def bright():
    channels = []
    for seed in (1, 2):
        rng = random.Random(seed)
        out = [0.0] * FRAMES
        beat = int(0.375 * RATE)
        for start in range(0, FRAMES, beat):  # ride strokes, every beat
            length = min(int(0.6 * RATE), FRAMES - start)
            noise = high_passed_noise(rng, length)
            for i in range(length):
                out[start + i] += 0.35 * noise[i] * math.exp(-i / (0.12 * RATE))
        for start in range(beat // 2, FRAMES, beat):  # hi-hats between them
            length = min(int(0.05 * RATE), FRAMES - start)
            noise = high_passed_noise(rng, length)
            for i in range(length):
                out[start + i] += 0.25 * noise[i] * math.exp(-i / (0.01 * RATE))
        for start in range(0, FRAMES, 4 * RATE):  # crashes
            length = min(int(3 * RATE), FRAMES - start)
            noise = high_passed_noise(rng, length)
            for i in range(length):
                out[start + i] += 0.8 * noise[i] * math.exp(-i / (0.8 * RATE))
        for n in range(FRAMES):  # the bass line: A1 and E2
            f = 55 if (n // (2 * RATE)) % 2 == 0 else 82.4
            out[n] += 0.05 * math.sin(2 * math.pi * f * n / RATE)
        channels.append(out)
    return channels[0], channels[1]


def plucked(rng, f, length):
    """Karplus-Strong: a burst of noise in a delay line that averages itself, a plucked string."""
    period = max(2, int(round(RATE / f)))
    line = [rng.uniform(-1, 1) for _ in range(period)]
    out = [0.0] * length
    for i in range(length):
        j = i % period
        out[i] = line[j]
        line[j] = 0.996 * 0.5 * (line[j] + line[(j + 1) % period])
    return out


def quiet_loud():
    rng = random.Random(7)
    half = FRAMES // 2
    left, right = [0.0] * FRAMES, [0.0] * FRAMES
    notes = [196.0, 246.9, 293.7, 392.0, 493.9, 587.3, 392.0, 293.7]  # a G major arpeggio
    step = int(0.3125 * RATE)
    for k, start in enumerate(range(0, half - step, step)):
        length = min(int(1.5 * RATE), half - start)
        string = plucked(rng, notes[k % len(notes)], length)
        pan = 0.3 + 0.4 * (k % 3) / 2
        for i in range(length):
            left[start + i] += 0.05 * (1 - pan) * string[i]
            right[start + i] += 0.05 * pan * string[i]
    chords = [(110.0, 164.8, 220.0, 277.2), (98.0, 146.8, 196.0, 246.9),
              (130.8, 196.0, 261.6, 329.6), (123.5, 185.0, 246.9, 311.1)]
    beat = int(0.25 * RATE)
    low = 0.0
    for n in range(half, FRAMES):
        t = (n - half) / RATE
        chord = chords[int(t / 1.25) % len(chords)]
        saw = sum(((f * t) % 1.0) * 2 - 1 for f in chord) / len(chord)  # bright, dense
        low += 0.5 * (saw - low)  # takes the edge off the aliasing, keeps the treble
        i = (n - half) % beat
        kick = math.sin(2 * math.pi * 55 * i / RATE) * math.exp(-i / (0.05 * RATE))
        snare = rng.uniform(-1, 1) * math.exp(-i / (0.04 * RATE)) if ((n - half) // beat) % 2 else 0
        left[n] = 0.5 * low + 0.4 * kick + 0.25 * snare + 0.1 * rng.uniform(-1, 1)
        right[n] = 0.5 * low + 0.4 * kick + 0.25 * snare + 0.1 * rng.uniform(-1, 1)
    return left, right


def main():
    kinds = {"tones": tones, "bright": bright, "quiet_loud": quiet_loud}
    if len(sys.argv) != 3 or sys.argv[1] not in kinds:
        sys.exit("usage: dolby_corpus_material.py tones|bright|quiet_loud OUT.wav")
    left, right = kinds[sys.argv[1]]()
    write_wav(sys.argv[2], left, right)


if __name__ == "__main__":
    main()
