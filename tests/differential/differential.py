#!/usr/bin/env python3
"""A differential test of the model compiler and the generator: seeded random
small models (places with bounded markings, exponential activities with
cases and marking-dependent rates, instantaneous activities with ranks,
weights and cases) are built by the project and by a small independent
builder of the same chain written here, and must agree on the number of
states, their breadth-first numbering, every transition and its rate.

Compiling a gen per model would take minutes, so the random models travel
in batches: a batch is one model file whose atomic model holds every random
model of the batch, each one's activities enabled only in its own experiment
(the global `which`), so that experiment k explores random model k alone.

    differential.py write DIR            writes the batches' model files
    differential.py check MODELS_DIR     runs MODELS_DIR/<batch>/gen on each
                                         experiment and compares

CMake writes the batches when it configures and builds their gens with the
model library's; CTest runs `check`.
"""

from __future__ import annotations

import os
import random
import subprocess
import sys
import tempfile

BATCHES = 2
PER_BATCH = 150
CAP = 3  # every marking stays in 0..CAP
MAX_STATES = 400


class Activity:
    def __init__(self, name, instant, rank, guard, cases, rate):
        self.name = name
        self.instant = instant
        self.rank = rank
        self.guard = guard  # [(place, op, value)]: all must hold
        self.cases = cases  # [(weight, [(place, +1 or -1)])]
        self.rate = rate  # (constant, place or None): constant * (marking + 1)


class RandomModel:
    """One random model: places p0.. (the last, t, is the trigger that the
    instantaneous activities consume, so zero-time chains end)."""

    def __init__(self, seed: int):
        rnd = random.Random(seed)
        n = rnd.randint(2, 3)
        self.places = [f"p{i}" for i in range(n)] + ["t"]
        self.initial = [rnd.randint(0, 2) for _ in range(n)] + [0]
        self.activities = []
        normal = self.places[:-1]

        def moves():
            src, dst = rnd.sample(normal + ["t"], 2)
            out = []
            if rnd.random() < 0.8:
                out.append((src, -1))
            out.append((dst, +1))
            return out

        for i in range(rnd.randint(2, 4)):
            ncases = 1 if rnd.random() < 0.6 else 2
            cases = [(rnd.choice([1.0, 2.0, 3.0, 0.5]), moves()) for _ in range(ncases)]
            rate = (rnd.choice([0.5, 1.0, 2.0, 3.0]), rnd.choice([None, None] + normal))
            self.activities.append(Activity(f"a{i}", False, 1, self.guard_of(cases), cases, rate))
        for i in range(rnd.randint(0, 3)):
            ncases = 1 if rnd.random() < 0.7 else 2
            cases = []
            for _ in range(ncases):
                dst = rnd.choice(normal)
                cases.append((rnd.choice([1.0, 2.0, 3.0]), [("t", -1), (dst, +1)]))
            self.activities.append(Activity(f"i{i}", True, rnd.choice([1, 1, 2]), self.guard_of(cases), cases, None))
        # Activities interleave in the file as they would in a hand-written one.
        rnd.shuffle(self.activities)

    @staticmethod
    def guard_of(cases):
        guard = []
        for _w, effect in cases:
            for place, delta in effect:
                cond = (place, ">", 0) if delta < 0 else (place, "<", CAP)
                if cond not in guard:
                    guard.append(cond)
        return guard

    # -- the independent builder

    def enabled(self, act, m):
        for place, op, value in act.guard:
            v = m[self.places.index(place)]
            if not (v > value if op == ">" else v < value):
                return False
        return True

    def fire(self, effect, m):
        m = list(m)
        for place, delta in effect:
            m[self.places.index(place)] += delta
        return tuple(m)

    def actions(self):
        """The actions in the generator's order: activities in file order,
        each case its own action (with the weight share of its activity)."""
        out = []
        for act in self.activities:
            total = sum(w for w, _e in act.cases)
            for w, effect in act.cases:
                out.append((act, w, w / total, effect))
        return out

    def explore(self):
        """(states in numbering order, per state {successor: rate}), or None
        when the model is unusable (unstable initial state, too large)."""
        actions = self.actions()
        timed = [a for a in actions if not a[0].instant]
        instant = [a for a in actions if a[0].instant]
        init = tuple(self.initial)
        if any(self.enabled(a[0], init) for a in instant):
            return None
        number = {init: 1}
        order = [init]
        records = []

        def settle(m, p, out):
            # Zero-time: highest rank among the enabled, all of that rank (and
            # their cases) by raw weight; a lone action fires with certainty.
            on = [a for a in instant if self.enabled(a[0], m)]
            if not on:
                if m not in number:
                    number[m] = len(order) + 1
                    order.append(m)
                k = number[m]
                out[k] = out.get(k, 0.0) + p
                return
            if len(on) == 1:
                settle(self.fire(on[0][3], m), p, out)
                return
            top = max(a[0].rank for a in on)
            competing = [a for a in on if a[0].rank == top]
            total = sum(a[1] for a in competing)
            for act, w, _share, effect in competing:
                settle(self.fire(effect, m), p * w / total, out)

        i = 0
        while i < len(order):
            m = order[i]
            out = {}
            for act, _w, share, effect in timed:
                if self.enabled(act, m):
                    const, place = act.rate
                    rate = const * (m[self.places.index(place)] + 1) if place else const
                    settle(self.fire(effect, m), rate * share, out)
            records.append(out)
            if len(order) > MAX_STATES:
                return None
            i += 1
        return order, records

    # -- the model file

    def toml(self, k: int) -> str:
        """Random model k's places and activities inside the batch's atomic
        model: names suffixed _k, enabled only in experiment k."""
        lines = []

        def name(p):
            return f"{p}_{k}"

        def cond(guard):
            return " && ".join([f"which == {k}"] + [f"{name(p)} {op} {v}" for p, op, v in guard])

        def effect(moves):
            return " ".join(f"{name(p)}{'--' if d < 0 else '++'};" for p, d in moves)

        for act in self.activities:
            lines.append("[[atomic.activity]]")
            lines.append(f'name = "{act.name}_{k}"')
            lines.append(f'kind = "{"instantaneous" if act.instant else "exponential"}"')
            if act.instant:
                lines.append(f"rank = {act.rank}")
            else:
                const, place = act.rate
                lines.append(f'rate = "{const!r} * ({name(place)} + 1)"' if place else f'rate = "{const!r}"')
            lines.append(f'enabled = "{cond(act.guard)}"')
            if len(act.cases) == 1:
                w, moves = act.cases[0]
                if act.instant:
                    lines.append(f'weight = "{w!r}"')
                lines.append(f'effect = "{effect(moves)}"')
            else:
                for w, moves in act.cases:
                    lines.append("[[atomic.activity.case]]")
                    lines.append(f'weight = "{w!r}"')
                    lines.append(f'effect = "{effect(moves)}"')
            lines.append("")
        return "\n".join(lines)


def batch_models(batch: int):
    """The usable random models of a batch, by seed, PER_BATCH of them."""
    models = []
    seed = batch * 100000
    while len(models) < PER_BATCH:
        model = RandomModel(seed)
        result = model.explore()
        if result is not None:
            models.append((seed, model, result))
        seed += 1
    return models


def batch_toml(batch: int, models) -> str:
    out = [f'name = "differential{batch}"', "", "[globals]", 'which = "int"', "", "[experiments]"]
    out += [f"seed{seed} = {{ which = {k} }}" for k, (seed, _m, _r) in enumerate(models)]
    out += ["", "[[atomic]]", 'name = "random"', "", "[atomic.places]"]
    for k, (_s, model, _r) in enumerate(models):
        out += [f"{p}_{k} = {v}" for p, v in zip(model.places, model.initial)]
    out.append("")
    for k, (_s, model, _r) in enumerate(models):
        out.append(model.toml(k))
    return "\n".join(out) + "\n"


def read_arm(path: str):
    tokens = open(path).read().split()
    count = int(tokens[1])
    records, i = [], 2
    while i < len(tokens):
        state = int(tokens[i])
        i += 1
        out = {}
        while tokens[i] != "0":
            out[int(tokens[i])] = float(tokens[i + 1])
            i += 2
        i += 1
        records.append((state, out))
    return count, records


def check(models_dir: str) -> int:
    failures = 0
    checked = 0
    for batch in range(BATCHES):
        gen = os.path.join(models_dir, f"differential{batch}", "gen")
        for k, (seed, _model, (order, expected)) in enumerate(batch_models(batch)):
            with tempfile.TemporaryDirectory() as d:
                run = subprocess.run([gen, f"-P{d}/", "-Nx", f"-B{k}"], capture_output=True, text=True)
                if run.returncode != 0:
                    print(f"seed {seed}: gen failed ({run.returncode}): {run.stderr}", file=sys.stderr)
                    failures += 1
                    continue
                count, records = read_arm(os.path.join(d, "x.arm"))
            problem = None
            if count != len(order) or len(records) != len(order):
                problem = f"{count} states, the builder has {len(order)}"
            else:
                for (state, got), (n, want) in zip(records, enumerate(expected, start=1)):
                    if state != n or sorted(got) != sorted(want) or any(
                            abs(got[s] - want[s]) > 1e-9 * abs(want[s]) for s in want):
                        problem = f"state {n}: gen {got}, builder {want}"
                        break
            if problem:
                print(f"seed {seed} (batch {batch}, experiment {k}): {problem}", file=sys.stderr)
                failures += 1
            checked += 1
    print(f"{checked} random models compared, {failures} disagreements")
    return 1 if failures else 0


def main(argv) -> int:
    if len(argv) == 3 and argv[1] == "write":
        os.makedirs(argv[2], exist_ok=True)
        for batch in range(BATCHES):
            text = batch_toml(batch, batch_models(batch))
            path = os.path.join(argv[2], f"differential{batch}.toml")
            try:
                with open(path) as f:
                    if f.read() == text:
                        continue
            except OSError:
                pass
            with open(path, "w") as f:
                f.write(text)
        return 0
    if len(argv) == 3 and argv[1] == "check":
        return check(argv[2])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
