#!/usr/bin/env python3
"""A differential test of the model compiler, the generator and the solver:
seeded random small models (places with bounded markings, exponential
activities with cases and marking-dependent rates, instantaneous activities
with ranks, weights and cases) are built by the project and by a small
independent builder of the same chain written here, and must agree on the
number of states, their breadth-first numbering, every transition and its
rate. Then `gen -U` and `solve` compute each model's reward variables (every
kind, with rate and impulse parts) and must agree with this file's own
solution of its own chain: Poisson-weighted powers of the uniformised chain
for the transient kinds, absorption probabilities and each bottom
component's balance equations by Gaussian elimination for the steady state.

Compiling a gen per model would take minutes, so the random models travel
in batches: a batch is one model file whose atomic model holds every random
model of the batch, each one's activities enabled only in its own experiment
(the global `which`), so that experiment k explores random model k alone.

    differential.py write DIR            writes the batches' model files
    differential.py check MODELS_DIR SOLVE
                                         runs MODELS_DIR/<batch>/gen on each
                                         experiment, then SOLVE, and compares

CMake writes the batches when it configures and builds their gens with the
model library's; CTest runs `check`.
"""

from __future__ import annotations

import csv
import math
import os
import random
import subprocess
import sys
import tempfile

BATCHES = 2
PER_BATCH = 150
CAP = 3  # every marking stays in 0..CAP
MAX_STATES = 400
# The reward variables of every batch: (name, kind, times or intervals,
# rate part, impulse part). Each model's rate reward is a weighted sum of its
# places, its impulses a constant plus a place on the firing's marking.
VARIABLES = [
    ("at", "instant", [0.7, 3.0], True, True),
    ("earned", "interval", [[0.0, 1.5], [0.5, 4.0]], False, True),
    ("held", "interval", [[0.0, 2.0]], True, False),
    ("mean", "time_averaged", [[0.2, 2.5]], True, True),
    ("long_run", "steady_state", None, True, True),
]
# Every impulse node is a class of generated code, so impulses on every
# activity of every model for each of the four variables above made a batch's
# reward unit the slowest file of the build. Model k carries its impulses in
# one of them, in turn: each variable still meets impulses on a quarter of the
# models, and each model meets them in one kind.
IMPULSIVE = [v for v, variable in enumerate(VARIABLES) if variable[4]]


def carries_impulses(v: int, k: int) -> bool:
    """Whether variable v earns the impulses of random model k."""
    return VARIABLES[v][4] and IMPULSIVE.index(v) == k % len(IMPULSIVE)


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
        # Rewards: a weight per place for the rate part; per activity an
        # impulse of a constant plus (maybe) a place's marking after firing.
        self.weights = [rnd.choice([0.0, 1.0, 2.5, -1.0]) for _ in self.places]
        self.impulses = {a.name: (rnd.choice([0.5, 1.0, 3.0]), rnd.choice([None] + self.places))
                         for a in self.activities}

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

        def settle(m, p, out, earned):
            # Zero-time: highest rank among the enabled, all of that rank (and
            # their cases) by raw weight; a lone action fires with certainty.
            # `earned` is the impulse of the path so far; impulse[0] adds up
            # p times it, the rate at which the firing earns impulse reward.
            on = [a for a in instant if self.enabled(a[0], m)]
            if not on:
                if m not in number:
                    number[m] = len(order) + 1
                    order.append(m)
                k = number[m]
                out[k] = out.get(k, 0.0) + p
                impulse[0] += p * earned
                return
            if len(on) == 1:
                after = self.fire(on[0][3], m)
                settle(after, p, out, earned + self.impulse_of(on[0][0], after))
                return
            top = max(a[0].rank for a in on)
            competing = [a for a in on if a[0].rank == top]
            total = sum(a[1] for a in competing)
            for act, w, _share, effect in competing:
                after = self.fire(effect, m)
                settle(after, p * w / total, out, earned + self.impulse_of(act, after))

        impulse = [0.0]
        self.impulse_rate = []
        i = 0
        while i < len(order):
            m = order[i]
            out = {}
            impulse[0] = 0.0
            for act, _w, share, effect in timed:
                if self.enabled(act, m):
                    const, place = act.rate
                    rate = const * (m[self.places.index(place)] + 1) if place else const
                    after = self.fire(effect, m)
                    settle(after, rate * share, out, self.impulse_of(act, after))
            records.append(out)
            self.impulse_rate.append(impulse[0])
            if len(order) > MAX_STATES:
                return None
            i += 1
        return order, records

    def impulse_of(self, act, m):
        const, place = self.impulses[act.name]
        return const + (m[self.places.index(place)] if place else 0)

    def rate_reward(self, m):
        return sum(w * v for w, v in zip(self.weights, m))

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


def reward_toml(models) -> list:
    """The batch's reward variables: the rate part of model k counts only in
    experiment k (`which == k`), as other models' places keep their initial
    markings there; impulses belong to activities that fire in one
    experiment only."""
    out = []
    for v, (name, kind, times, rated, impulsive) in enumerate(VARIABLES):
        out += ["[[reward]]", f'name = "{name}"', f'kind = "{kind}"']
        if kind == "instant":
            out.append(f"times = {times!r}")
        elif times is not None:
            out.append(f"intervals = {times!r}")
        if rated:
            terms = []
            for k, (_s, model, _r) in enumerate(models):
                part = " + ".join(f"{w!r} * random.{p}_{k}" for w, p in zip(model.weights, model.places) if w)
                if part:
                    terms.append(f"(which == {k}) * ({part})")
            out.append(f'rate = "{" + ".join(terms) or "0"}"')
        if impulsive:
            for k, (_s, model, _r) in enumerate(models):
                if not carries_impulses(v, k):
                    continue
                for act in model.activities:
                    const, place = model.impulses[act.name]
                    out += ["[[reward.impulse]]", f'activity = "random.{act.name}_{k}"',
                            f'value = "{const!r}' + (f" + {place}_{k}" if place else "") + '"']
        out.append("")
    return out


def batch_toml(batch: int, models) -> str:
    out = [f'name = "differential{batch}"', "", "[globals]", 'which = "int"', "", "[experiments]"]
    out += [f"seed{seed} = {{ which = {k} }}" for k, (seed, _m, _r) in enumerate(models)]
    out += ["", "[[atomic]]", 'name = "random"', "", "[atomic.places]"]
    for k, (_s, model, _r) in enumerate(models):
        out += [f"{p}_{k} = {v}" for p, v in zip(model.places, model.initial)]
    out.append("")
    for k, (_s, model, _r) in enumerate(models):
        out.append(model.toml(k))
    out += reward_toml(models)
    return "\n".join(out) + "\n"


# -- the test's own solution of its own chain

def solve_dense(a, b):
    """x with a x = b by Gaussian elimination with partial pivoting (a is a
    list of rows; b a list of right-hand sides, one column each)."""
    n = len(a)
    m = [list(row) + list(rhs) for row, rhs in zip(a, b)]
    width = len(m[0]) if m else 0
    for c in range(n):
        pivot = max(range(c, n), key=lambda r: abs(m[r][c]))
        m[c], m[pivot] = m[pivot], m[c]
        p = m[c][c]
        for r in range(n):
            if r != c and m[r][c] != 0.0:
                f = m[r][c] / p
                row, top = m[r], m[c]
                for j in range(c, width):
                    row[j] -= f * top[j]
    return [[m[r][j] / m[r][r] for j in range(n, width)] for r in range(n)]


def steady_state(records, rho):
    """The long-run reward from state 0: per bottom component its
    probability of absorption times its stationary mean reward."""
    n = len(records)
    succ = [{j - 1: r for j, r in rec.items() if j - 1 != i and r > 0} for i, rec in enumerate(records)]
    reach = []
    for i in range(n):
        seen, todo = {i}, [i]
        while todo:
            for j in succ[todo.pop()]:
                if j not in seen:
                    seen.add(j)
                    todo.append(j)
        reach.append(seen)
    bottom_of = {}
    bottoms = []
    for i in range(n):
        if i in bottom_of or not all(i in reach[j] for j in reach[i]):
            continue
        states = sorted(reach[i])
        for s in states:
            bottom_of[s] = len(bottoms)
        bottoms.append(states)
    # Each bottom component's mean reward: pi Q = 0 with sum pi = 1.
    means = []
    for states in bottoms:
        index = {s: k for k, s in enumerate(states)}
        size = len(states)
        a = [[0.0] * size for _ in range(size)]
        for s in states:
            for t, r in succ[s].items():
                a[index[t]][index[s]] += r
                a[index[s]][index[s]] -= r
        a[size - 1] = [1.0] * size
        b = [[0.0] for _ in range(size)]
        b[size - 1] = [1.0]
        pi = [row[0] for row in solve_dense(a, b)]
        means.append(sum(p * rho[s] for p, s in zip(pi, states)))
    if 0 in bottom_of:
        return means[bottom_of[0]]
    # Absorption: h_i = sum_j (q_ij / q_i) h_j on the transient states.
    transient = [i for i in range(n) if i not in bottom_of]
    index = {s: k for k, s in enumerate(transient)}
    a = [[0.0] * len(transient) for _ in transient]
    b = [[0.0] * len(bottoms) for _ in transient]
    for i in transient:
        out = sum(succ[i].values())
        a[index[i]][index[i]] = out
        for j, r in succ[i].items():
            if j in index:
                a[index[i]][index[j]] -= r
            else:
                b[index[i]][bottom_of[j]] += r
    h = solve_dense(a, b)[index[0]]
    return sum(p * mean for p, mean in zip(h, means))


def transient(records, rho, times):
    """E[rho(X_t)] and its integral from 0 to t, for each t, from state 0:
    uniformisation, each Poisson weight from its logarithm."""
    n = len(records)
    q = max([sum(r for j, r in rec.items() if j - 1 != i) for i, rec in enumerate(records)] + [0.0])
    if q == 0:
        return {t: (rho[0], rho[0] * t) for t in times}
    q *= 1.1
    lam_max = q * max(times)
    steps = int(lam_max + 12 * math.sqrt(lam_max) + 60)
    pi = [0.0] * n
    pi[0] = 1.0
    earned = []
    for _ in range(steps + 1):
        earned.append(sum(p * r for p, r in zip(pi, rho)))
        nxt = [0.0] * n
        for i, rec in enumerate(records):
            if pi[i] == 0.0:
                continue
            out = 0.0
            for j, r in rec.items():
                if j - 1 != i:
                    nxt[j - 1] += pi[i] * r / q
                    out += r
            nxt[i] += pi[i] * (1 - out / q)
        pi = nxt
    result = {}
    for t in times:
        lam = q * t
        instant = integral = 0.0
        cdf = 0.0
        for k in range(steps + 1):
            p = math.exp(k * math.log(lam) - lam - math.lgamma(k + 1)) if lam > 0 else (1.0 if k == 0 else 0.0)
            cdf += p
            instant += p * earned[k]
            integral += max(0.0, 1.0 - cdf) * earned[k] / q
        result[t] = (instant, integral)
    return result


def expected_values(model, k, order, records):
    """(variable, kind, start, stop) -> value, for every variable of model k
    of its batch."""
    rate = [model.rate_reward(m) for m in order]
    impulse = model.impulse_rate
    out = {}
    for v, (name, kind, times, rated, _impulsive) in enumerate(VARIABLES):
        earns = carries_impulses(v, k)
        rho = [(rate[i] if rated else 0.0) + (impulse[i] if earns else 0.0) for i in range(len(order))]
        if kind == "steady_state":
            out[(name, kind, None, None)] = steady_state(records, rho)
            continue
        points = sorted({t for pair in times for t in (pair if isinstance(pair, list) else [pair])})
        values = transient(records, rho, points)
        for pair in times:
            if kind == "instant":
                out[(name, kind, pair, pair)] = values[pair][0]
            else:
                a, b = pair
                v = values[b][1] - values[a][1]
                out[(name, kind, a, b)] = v / (b - a) if kind == "time_averaged" else v
    return out


def solve_values(solve: str, d: str):
    """solve's values from its CSV, keyed as expected_values keys them; or
    the reason there are none."""
    run = subprocess.run([solve, f"-P{d}/", "-Nx"], capture_output=True, text=True)
    if run.returncode != 0:
        return None, f"solve failed ({run.returncode}): {run.stderr}"
    values = {}
    with open(os.path.join(d, "x.results.csv"), newline="") as f:
        for row in csv.DictReader(f):
            start = float(row["start"]) if row["start"] else None
            stop = float(row["stop"]) if row["stop"] else None
            values[(row["variable"], row["kind"], start, stop)] = float(row["value"])
    return values, None


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


def check(models_dir: str, solve: str) -> int:
    failures = 0
    checked = 0
    compared = 0
    for batch in range(BATCHES):
        gen = os.path.join(models_dir, f"differential{batch}", "gen")
        for k, (seed, model, (order, expected)) in enumerate(batch_models(batch)):
            with tempfile.TemporaryDirectory() as d:
                run = subprocess.run([gen, f"-P{d}/", "-Nx", f"-B{k}", "-U"], capture_output=True, text=True)
                if run.returncode != 0:
                    print(f"seed {seed}: gen failed ({run.returncode}): {run.stderr}", file=sys.stderr)
                    failures += 1
                    continue
                count, records = read_arm(os.path.join(d, "x.arm"))
                solved, why = solve_values(solve, d)
            if solved is None:
                print(f"seed {seed} (batch {batch}, experiment {k}): {why}", file=sys.stderr)
                failures += 1
            else:
                for key, want in expected_values(model, k, order, expected).items():
                    got = solved.get(key)
                    compared += 1
                    if got is None or not abs(got - want) <= 1e-8 * max(1.0, abs(want)):
                        print(f"seed {seed} (batch {batch}, experiment {k}): {key}: solve {got}, the test's own "
                              f"{want}", file=sys.stderr)
                        failures += 1
                        break
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
    print(f"{checked} random models compared, {compared} of solve's values, {failures} disagreements")
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
    if len(argv) == 4 and argv[1] == "check":
        return check(argv[2], argv[3])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
