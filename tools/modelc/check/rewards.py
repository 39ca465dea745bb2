"""Checks of the rewards: their kinds and times, rate rewards (with count and
sum over all instances of a submodel) and impulses."""

from __future__ import annotations

import math
import re

from ..cpp import TOKEN, scan_identifiers
from ..model import REWARD_KINDS, Atomic, Fragment
from ..names import formula_function


class RewardChecks:
    """Part of Checker: the reward variables."""

    def check_rewards(self):
        self.rewards = []
        seen = set()
        for i, r in enumerate(self.get(self.data, (), "reward", list, required=False, default=[])):
            path = ("reward", i)
            if not isinstance(r, dict):
                self.fail(path, "a reward must be a table")
            self.unknown_keys(r, path, ("name", "kind", "times", "intervals", "rate", "submodels", "impulse",
                                          "until", "cap"))
            name = self.get(r, path, "name", str)
            if not re.fullmatch(r"[A-Za-z0-9_][A-Za-z0-9_.\-]*", name):
                self.fail(path + ("name",), "a reward name is one word of letters, digits, '_', '.' and '-'")
            if name in seen:
                self.fail(path + ("name",), f"duplicate name '{name}': another reward has it")
            seen.add(name)
            kind = self.get(r, path, "kind", str, required=False, default="instant")
            if kind not in REWARD_KINDS or kind == "until":
                kinds = [k for k in REWARD_KINDS if k != "until"]
                self.fail(path + ("kind",), f"unknown reward kind '{kind}' (one of " + ", ".join(kinds) + ")")
            starts, stops = self.reward_times(r, path, kind)
            passage = kind in ("reached", "first_passage")
            until = self.fragment(r, path, "until", required=passage)
            if until is not None and not passage:
                self.fail(path + ("until",), f"a reward of kind '{kind}' has no 'until' (kinds 'reached' and "
                          "'first_passage' take it)")
            if kind == "reached":
                for key in ("rate", "impulse"):
                    if key in r:
                        self.fail(path + (key,), "a reward of kind 'reached' is the probability that 'until' held "
                                  f"by each time: it takes no '{key}'")
            rate = self.fragment(r, path, "rate", required=False)
            self.refuse_integer_division(rate, path + ("rate",))
            subs = r.get("submodels")
            if subs is not None and (not isinstance(subs, list) or not all(isinstance(s, str) for s in subs)):
                self.fail(path + ("submodels",), "'submodels' must list submodel names")
            reward = {"name": name, "kind": kind, "starts": starts, "stops": stops, "rate": None, "deps": [],
                      "vardeps": [], "impulses": [], "aggregates": []}
            if kind == "reached":
                self.check_rate(reward, until, subs, path)
            elif rate is not None:
                self.check_rate(reward, rate, subs, path)
            for k, imp in enumerate(self.get(r, path, "impulse", list, required=False, default=[])):
                ipath = path + ("impulse", k)
                if not isinstance(imp, dict):
                    self.fail(ipath, "an impulse must be a table { activity = \"submodel.activity\", value = ... }")
                self.unknown_keys(imp, ipath, ("activity", "case", "value"))
                target = self.get(imp, ipath, "activity", str)
                if target.count(".") != 1:
                    self.fail(ipath + ("activity",), "'activity' is written submodel.activity")
                sub, act = target.split(".")
                if sub not in self.instances:
                    self.fail(ipath + ("activity",), f"impulse names unknown submodel '{sub}' "
                              f"(submodels: {', '.join(self.instances)})")
                atomic = self.instances[sub]
                # The whole activity (every case), or one case by its
                # generated name.
                acts = [a for a in atomic.activities if a.base == act] or \
                    [a for a in atomic.activities if a.name == act and a.group["cases"]]
                if not acts:
                    names = ", ".join(dict.fromkeys(a.base for a in atomic.activities))
                    self.fail(ipath + ("activity",), f"impulse names unknown activity '{act}' of '{sub}' "
                              f"(its activities: {names})")
                if "case" in imp:
                    case = imp["case"]
                    cases = len(acts) if acts[0].group["cases"] and acts[0].base == act else 0
                    if not cases:
                        self.fail(ipath + ("case",), f"activity '{act}' of '{sub}' has no cases to choose from")
                    if isinstance(case, bool) or not isinstance(case, int) or not 1 <= case <= cases:
                        self.fail(ipath + ("case",), f"'case' must be a case number from 1 to {cases}, "
                                  f"the cases of activity '{act}' in file order")
                    acts = [acts[case - 1]]
                value = self.fragment(imp, ipath, "value")
                self.refuse_integer_division(value, ipath + ("value",))
                if any(n in ("count", "sum") and p not in (".", "->", "::") and self._AGGREGATE.match(value.text, e)
                       for n, _s, e, p in scan_identifiers(value.text)):
                    self.fail(ipath + ("value",), "count(...) and sum(...) belong in a rate reward: an impulse "
                              "value is earned by one instance and sees that instance's places")
                self.places_in(atomic, value, ipath + ("value",))
                for a in acts:
                    reward["impulses"].append({"submodel": sub, "atomic": atomic, "activity": a, "value": value})
            if reward["rate"] is None and not reward["impulses"]:
                if kind != "first_passage":
                    self.fail(path, f"reward '{name}' has neither 'rate' nor 'impulse'")
                # The time until the condition holds: a rate of 1, once per
                # state over the whole model.
                reward["rate"] = Fragment("1.0", None)
                reward["whole"] = True
            self.rewards.append(reward)
            if kind == "first_passage":
                # The condition travels as a variable of its own right after
                # the passage's; ':' keeps its name apart from every reward's.
                condition = {"name": name + ":until", "kind": "until", "starts": [], "stops": [], "rate": None,
                             "deps": [], "vardeps": [], "impulses": [], "aggregates": []}
                self.check_rate(condition, until, subs, path)
                self.rewards.append(condition)

    def reward_times(self, r: dict, path: tuple, kind: str) -> tuple[list, list]:
        """The start and stop times of a reward of `kind`: an instant t is the
        pair (t, t); a steady-state reward has none."""
        def number(x):
            return isinstance(x, (int, float)) and not isinstance(x, bool) and math.isfinite(x) and x >= 0

        wants = {"instant": "times", "reached": "times", "interval": "intervals",
                 "time_averaged": "intervals"}.get(kind)
        if "cap" in r and kind != "first_passage":
            self.fail(path + ("cap",), f"a reward of kind '{kind}' has no 'cap' (kind 'first_passage' takes it)")
        if kind == "first_passage" and "cap" in r:
            cap = r["cap"]
            if not number(cap) or not cap > 0:
                self.fail(path + ("cap",), "'cap' must be a finite number above 0: the time a simulated path "
                          "waits for the condition")
            return [0.0], [float(cap)]
        for key in ("times", "intervals"):
            if key in r and key != wants:
                self.fail(path + (key,), f"a reward of kind '{kind}' has no '{key}'"
                          + (f" (it takes '{wants}')" if wants else ""))
        if wants is None:
            return [], []
        if wants == "times":
            times = self.get(r, path, "times", list)
            if not times or not all(number(t) for t in times):
                self.fail(path + ("times",), "'times' must list one or more time points (finite numbers from 0 on)")
            return [float(t) for t in times], [float(t) for t in times]
        intervals = self.get(r, path, "intervals", list)
        shape = "'intervals' must list one or more [start, stop] pairs of finite numbers from 0 on"
        if not intervals:
            self.fail(path + ("intervals",), shape)
        for pair in intervals:
            if not isinstance(pair, list) or len(pair) != 2 or not all(number(t) for t in pair):
                self.fail(path + ("intervals",), shape)
            start, stop = pair
            if kind == "time_averaged" and not stop > start:
                self.fail(path + ("intervals",), f"interval [{start}, {stop}] is empty: a time-averaged "
                          "interval needs stop > start")
            if stop < start:
                self.fail(path + ("intervals",), f"interval [{start}, {stop}] ends before it starts")
        return [float(p[0]) for p in intervals], [float(p[1]) for p in intervals]

    _AGGREGATE = re.compile(r"\s*\(\s*([A-Za-z_][A-Za-z0-9_]*)\s*:(?!:)")

    def aggregates(self, rate: Fragment, path: tuple) -> tuple[Fragment, list]:
        """The rate with each count(sub: condition) and sum(sub: expression)
        replaced by the call of a function of the worker over all instances
        of `sub`, and those aggregates, in order."""
        text = rate.text
        out, found, last = [], [], 0
        for name, start, end, previous in scan_identifiers(text):
            if start < last or name not in ("count", "sum") or previous in (".", "->", "::"):
                continue
            head = self._AGGREGATE.match(text, end)
            if not head:
                continue
            depth = 0
            for token in TOKEN.finditer(text, end):
                tok = token.group("other")
                depth += tok in ("(", "[", "{")
                depth -= tok in (")", "]", "}")
                if depth == 0:
                    close = token.start()
                    break
            sub, inner = head.group(1), text[head.end():close]
            where = f"{name}({sub}: ...)"
            if sub not in self.instances:
                self.fail(path + ("rate",), f"{where} names unknown submodel '{sub}' "
                          f"(submodels: {', '.join(self.instances)})")
            if not inner.strip():
                self.fail(path + ("rate",), f"{where} is empty: it takes an expression over the places of '{sub}'")
            if any(n in ("count", "sum") and self._AGGREGATE.match(inner, e) for n, _s, e, _p in
                   scan_identifiers(inner)):
                self.fail(path + ("rate",), f"{where} holds another count or sum: they do not nest")
            before = text[:head.end()]
            line = rate.line + before.count("\n") if rate.line is not None else None
            column = rate.column + len(before) if "\n" not in before else len(before) - before.rfind("\n") - 1
            frag = Fragment(inner, line, column)
            atomic = self.instances[sub]
            self.places_in(atomic, frag, path + ("rate",))
            out.append(text[last:start])
            out.append(f"this->Aggregate{len(found)}()")
            last = close + 1
            found.append({"kind": name, "submodel": sub, "atomic": atomic, "term": frag})
        out.append(text[last:])
        return Fragment("".join(out), rate.line, rate.column), found

    def check_rate(self, reward, rate: Fragment, subs, path: tuple):
        rate, aggregates = self.aggregates(rate, path)
        deps = []
        for s in subs or []:
            if s not in self.instances:
                self.fail(path + ("submodels",), f"reward names unknown submodel '{s}' "
                          f"(submodels: {', '.join(self.instances)})", s)
            if s not in deps:
                deps.append(s)
        vardeps = []
        problems = []

        def access(sub: str, atomic: Atomic, name: str) -> str:
            if name not in self.formulas:
                if (name, sub) not in vardeps:
                    vardeps.append((name, sub))
                return self.reward_access(deps.index(sub), atomic, name)
            self.use_formula(atomic, name, path + ("rate",))
            places = self.formula_places(atomic, name)
            for sv in places:
                if (sv, sub) not in vardeps:
                    vardeps.append((sv, sub))
            args = ", ".join(self.reward_access(deps.index(sub), atomic, sv) for sv in places)
            return f"::{atomic.cls}::{formula_function(name)}({args})"

        known = ", ".join(self.instances)
        # Dotted references sub.place first.
        out = []
        last = 0
        text = rate.text
        for name, start, end, previous in scan_identifiers(text):
            if previous in (".", "->", "::"):
                continue
            m = re.match(r"\s*\.\s*([A-Za-z_][A-Za-z0-9_]*)", text[end:])
            if m and (name in self.instances or name not in self.globals):
                if name not in self.instances:
                    problems.append(f"reward names unknown submodel '{name}' (submodels: {known})")
                    continue
                atomic = self.instances[name]
                sv = m.group(1)
                if sv not in atomic.svnames and sv not in self.formulas:
                    problems.append(f"'{sv}' is no place of submodel '{name}' (its places: {', '.join(atomic.svnames)})")
                    continue
                if subs is not None and name not in deps:
                    problems.append(f"submodel '{name}' is not listed in 'submodels'")
                    continue
                if name not in deps:
                    deps.append(name)
                out.append(text[last:start])
                out.append(access(name, atomic, sv))
                last = end + m.end()
                continue
            if name in self.globals or name in self.constants:
                continue
            # A bare name: a place (or formula) of the one submodel named, or
            # of the one submodel that has such a place.
            if len(deps) == 1 or (subs is not None and len(subs) == 1):
                owners = [deps[0] if deps else subs[0]]
            elif deps or subs is not None:
                continue
            else:
                owners = [inst for inst, a in self.instances.items() if name in a.svnames]
                if not owners and name in self.formulas and len(self.instances) == 1:
                    owners = list(self.instances)
                if len(owners) > 1:
                    problems.append(f"place '{name}' belongs to several submodels ({', '.join(owners)}): "
                                    f"write one of {', '.join(o + '.' + name for o in owners)}")
                    continue
            if len(owners) != 1:
                continue
            only = owners[0]
            atomic = self.instances[only]
            if name in atomic.svnames or name in self.formulas:
                if only not in deps:
                    deps.append(only)
                out.append(text[last:start])
                out.append(access(only, atomic, name))
                last = end
        out.append(text[last:])
        if problems:
            self.fail(path + ("rate",), problems[0])
        if aggregates and deps:
            self.fail(path + ("rate",), "a rate with count(...) or sum(...) is evaluated once per state over the "
                      f"whole model: outside them it names no place (here of '{deps[0]}')")
        if not deps and not aggregates:
            self.fail(path + ("rate",), "the rate reward names no place of a submodel (write submodel.place; "
                      f"submodels: {known})")
        reward["rate"] = Fragment("".join(out), rate.line, rate.column)
        reward["deps"] = deps
        reward["vardeps"] = vardeps
        reward["aggregates"] = aggregates

    @staticmethod
    def reward_access(slot: int, atomic: Atomic, sv: str) -> str:
        """A place of the worker's model slot `slot`, reached through the
        slot's member so that no model name becomes a member of the worker."""
        if sv in atomic.places:
            return f"(*this->Slot{slot}->{sv}->Mark)"
        return f"(*this->Slot{slot}->{sv})"
