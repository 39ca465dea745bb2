#!/usr/bin/env python3
"""A solve that leaves variables for the simulator, for the tests of the
glue: runs the real solve (REAL_SOLVE) on PARTIAL_EXACT's variables alone,
then adds a row for each variable of PARTIAL_LEFT as solve marks one it
cannot compute (steady-state rows: value empty, method simulate), names it
on standard error and ends with status 3. Blank PARTIAL_EXACT: no solve
runs and every row is left."""

import os
import subprocess
import sys

args = sys.argv[1:]
prefix = next(a[2:] for a in args if a.startswith("-P"))
name = next(a[2:] for a in args if a.startswith("-N"))
results = prefix + name + ".results.csv"
exact = os.environ.get("PARTIAL_EXACT", "").split()
if exact:
    status = subprocess.run([os.environ["REAL_SOLVE"]] + args + [f"-V{v}" for v in exact]).returncode
    if status != 0:
        sys.exit(status)
    with open(results) as stream:
        text = stream.read()
else:
    text = "variable,kind,start,stop,value,method,iterations,error_bound\n"
for variable in os.environ["PARTIAL_LEFT"].split():
    text += f"{variable},steady_state,,,,simulate,,\n"
    print(f"solve: {variable}: a fixed delay beside another; left for the simulator", file=sys.stderr)
with open(results, "w") as stream:
    stream.write(text)
sys.exit(3)
