#!/usr/bin/env python3
"""Control-chart statistics computed independently with NumPy, for tst_qc.

Reads one series per line (numbers separated by blanks) from the file named first and prints, per
series, the mean, the sample standard deviation and the four limits (centre -3 s, -2 s, +2 s, +3 s)
with 17 significant digits.
"""
import sys

import numpy as np

with open(sys.argv[1], encoding="ascii") as source:
    for line in source:
        x = np.array([float(t) for t in line.split()], dtype=np.float64)
        mean = np.mean(x)
        s = np.std(x, ddof=1)
        limits = [mean + k * s for k in (-3, -2, 2, 3)]
        print(" ".join(repr(float(v)) for v in [mean, s] + limits))
