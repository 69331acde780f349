#!/usr/bin/env python3
"""Writes the built-in demo: a short 16-bit stereo "cassette transfer" at 44.1 kHz.

A few bars of plucked chords with harmonics, as a tape deck would hand them over: a little
tape hiss that differs between the channels, a right channel that lags the left by a fraction
of a sample (azimuth error) and sits 1 dB lower. Deterministic, standard library only.
"""
import math
import random
import struct
import sys
import wave

RATE = 44100
SECONDS = 12
HISS_LEVEL = 300.0          # in 16-bit units, about -40 dBFS
AZIMUTH_LAG = 0.35          # samples the right channel lags behind
RIGHT_GAIN = 10 ** (-1 / 20)

CHORDS = [(220.0, 277.18, 329.63), (196.0, 246.94, 293.66), (174.61, 220.0, 261.63),
          (196.0, 246.94, 329.63)]


def music(t):
    bar = int(t / 1.5) % len(CHORDS)
    into = t % 1.5
    envelope = math.exp(-2.2 * into) * min(1.0, into * 200)
    value = 0.0
    for f in CHORDS[bar]:
        for harmonic, weight in ((1, 1.0), (2, 0.45), (3, 0.25), (5, 0.1)):
            value += weight * math.sin(2 * math.pi * f * harmonic * t)
    return 2600.0 * envelope * value


def main(path):
    rng = random.Random(1984)
    frames = bytearray()
    for n in range(RATE * SECONDS):
        t = n / RATE
        left = music(t) + rng.gauss(0, HISS_LEVEL)
        right = RIGHT_GAIN * music(t - AZIMUTH_LAG / RATE) + rng.gauss(0, HISS_LEVEL)
        frames += struct.pack("<hh", *(max(-32768, min(32767, int(round(v)))) for v in (left, right)))
    with wave.open(path, "wb") as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(bytes(frames))
    print(f"demo recording: {path} ({SECONDS} s, 16-bit stereo, {RATE} Hz)")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "demo.wav")
