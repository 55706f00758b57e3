#!/usr/bin/env python3
"""Reference temperatures for the NOAA-15, -16, -18 and -19 thermal calibration.

Works only from the published AVHRR/3 channel-4 constants (NOAA KLM User's
Guide, Appendix D) and Planck's law, so ThermalTest.cpp checks the sensor
against numbers that owe nothing to its code. Prints the C++ tables that
ThermalTest.cpp holds; run it again and paste the output if a constant
changes.
"""

import math

C1 = 1.1910427e-5  # mW m-2 sr-1 (cm-1)-4
C2 = 1.4387752  # cm K

MODELS = {
    "smNOAA18": dict(
        nu=928.1460,
        d0=[276.601, 276.683, 276.565, 276.615],
        d1=[0.05090, 0.05101, 0.05117, 0.05103],
        d2=[1.657e-06, 1.482e-06, 1.313e-06, 1.484e-06],
        a=0.436645, b=0.998607, ns=-5.53,
        b2=0.00052337, b1=-0.11069, b0=5.82),
    "smNOAA19": dict(
        nu=928.9,
        d0=[276.6067, 276.6119, 276.6311, 276.6268],
        d1=[0.051111, 0.051090, 0.051033, 0.051058],
        d2=[1.405783e-06, 1.496037e-06, 1.496990e-06, 1.493110e-06],
        a=0.53959, b=0.998534, ns=-5.49,
        b2=0.00054668, b1=-0.11187, b0=5.70),
}

# PRT polynomials of the satellites whose calibration is checked by hand in
# ThermalTest.cpp: coefficients d0 .. dn of each PRT.
PRT_ONLY = {
    "smNOAA15": dict(
        d0=[276.60157, 276.62531, 276.67413, 276.59258],
        d1=[0.051045, 0.050909, 0.050907, 0.050966],
        d2=[1.36328e-06, 1.47266e-06, 1.47656e-06, 1.47656e-06]),
    "smNOAA16": dict(
        d0=[276.355, 276.142, 275.996, 276.132],
        d1=[0.05526, 0.05605, 0.05486, 0.05494],
        d2=[-1.59e-05, -1.707e-05, -1.223e-05, -1.344e-05],
        d3=[2.486e-08, 2.595e-08, 1.862e-08, 2.112e-08],
        d4=[-1.199e-11, -1.224e-11, -8.53e-12, -1.001e-11]),
}

# PRT wedge sets: all zero, one PRT at a time at full scale (which tells the
# four polynomials apart), and a typical blackbody.
PRT_SETS = [(0, 0, 0, 0), (255, 0, 0, 0), (0, 255, 0, 0), (0, 0, 255, 0), (0, 0, 0, 255),
            (100, 101, 102, 103)]

# Calibration cases: PRT wedges, blackbody and space 8-bit values.
CASES = {"smNOAA18": ((100, 101, 102, 103), 160, 230), "smNOAA19": ((90, 92, 94, 96), 150, 225)}
VALUES = [0, 40, 100, "blackbody", 180, 200, 220, "space", "space+1", 255]


def count(v):
    """10-bit count of an 8-bit APT value."""
    return 4.0 * v + 1.5


def planck(t, nu):
    return C1 * nu**3 / (math.exp(C2 * nu / t) - 1.0)


def inverse_planck(n, nu):
    return C2 * nu / math.log(1.0 + C1 * nu**3 / n)


def prt_temperature(m, wedges):
    return sum(m[f"d{j}"][k] * count(p) ** j
               for k, p in enumerate(wedges) for j in range(5) if f"d{j}" in m) / 4.0


def scene_temperature(m, value, blackbody, space, tbb):
    nbb = planck(m["a"] + m["b"] * tbb, m["nu"])
    cs, cb = count(space), count(blackbody)
    lin = m["ns"] + (nbb - m["ns"]) * (cs - count(value)) / (cs - cb)
    n = lin + m["b2"] * lin * lin + m["b1"] * lin + m["b0"]
    if n <= 0.0:
        return 0.0
    return (inverse_planck(n, m["nu"]) - m["a"]) / m["b"]


def main():
    print("// PRT wedges -> blackbody temperature (K)")
    for name, m in {**PRT_ONLY, **MODELS}.items():
        for wedges in PRT_SETS:
            w = ", ".join(str(p) for p in wedges)
            print(f"    {{{name}, {{{w}}}, {prt_temperature(m, wedges):.6f}}},")
    print("// 8-bit value -> scene temperature (K)")
    for name, (wedges, blackbody, space) in CASES.items():
        m = MODELS[name]
        tbb = prt_temperature(m, wedges)
        values = [{"blackbody": blackbody, "space": space, "space+1": space + 1}.get(v, v)
                  for v in VALUES]
        kelvin = [scene_temperature(m, v, blackbody, space, tbb) for v in values]
        w = ", ".join(str(p) for p in wedges)
        print(f"    {{{name}, {{{w}}}, {blackbody}, {space},")
        print(f"     {{{', '.join(str(v) for v in values)}}},")
        print(f"     {{{', '.join(f'{k:.4f}' if k else '0' for k in kelvin)}}}}},")

if __name__ == "__main__":
    main()
