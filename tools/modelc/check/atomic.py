"""Checks of the atomic models: places, arrays and their bounds, activities
and their cases, and the arcs between them."""

from __future__ import annotations

import math

from ..cpp import names_used
from ..model import INTEGER_TYPES, KINDS, MAX_INT, MAX_PHASES, Activity, Atomic, literal_number, toml_text


class AtomicChecks:
    """Part of Checker: the atomic models and their activities."""

    def check_kinds(self):
        # The generator has one procedure for deterministic delays and another
        # that keeps Erlang phases; no procedure takes both.
        first = {}
        for atomic in self.atomics.values():
            for act in atomic.activities:
                if act.kind in ("deterministic", "erlang"):
                    first.setdefault(act.kind, act)
                    other = "erlang" if act.kind == "deterministic" else "deterministic"
                    if other in first:
                        o = first[other]
                        self.fail(act.path + ("kind",), f"{act.kind} activity '{act.base}' beside {other} activity "
                                  f"'{o.base}' (line {self.map.line(o.path + ('kind',))}): one model cannot mix "
                                  "deterministic and Erlang activities")

    # -- atomic models

    def check_atomic(self, a, path: tuple) -> Atomic:
        if not isinstance(a, dict):
            self.fail(path, "an atomic model must be a table")
        self.unknown_keys(a, path, ("name", "places", "arrays", "activity"))
        m = Atomic()
        m.path = path
        m.name = self.ident(self.get(a, path, "name", str), path + ("name",), "atomic model name")
        m.cls = m.name + "SAN"
        m.places = {}  # name -> initial (C++ text)
        m.arrays = {}  # name -> (size, initial)
        m.bounds = {}  # place or array name -> (min, max), C++ text or None each
        m.formulas_used = set()
        local = {}

        def claim(name, where, token=None):
            self.ident(name, where, "name")
            if name in self.globals:
                self.fail(where, f"duplicate name '{name}': it is also a global variable", token)
            for table, what in ((self.constants, "constant"), (self.formulas, "formula")):
                if name in table:
                    self.fail(where, f"duplicate name '{name}': it is also a {what}", token)
            if name in local:
                self.fail(where, f"duplicate name '{name}' in atomic model '{m.name}': also {local[name]}", token)
            local[name] = where[-2] if len(where) > 1 and isinstance(where[-2], str) else "used"

        for name, init in self.get(a, path, "places", dict, required=False, default={}).items():
            where = path + ("places", name)
            claim(name, where, name)
            if isinstance(init, dict):
                self.unknown_keys(init, where, ("init", "min", "max"))
                self.place_bounds(m, name, init, where)
                init = init.get("init", 0)
            m.places[name] = self.marking(init, where)
            self.check_initial_in_bounds(m, name, init, where)
        for name, spec in self.get(a, path, "arrays", dict, required=False, default={}).items():
            where = path + ("arrays", name)
            claim(name, where, name)
            if not isinstance(spec, dict):
                self.fail(where, "an array is a table { size = N, init = M }", name)
            self.unknown_keys(spec, where, ("size", "init", "min", "max"))
            size = spec.get("size")
            if isinstance(size, bool) or not isinstance(size, int) or size < 1 or size > 100000:
                self.fail(where, "an array needs an integer 'size' from 1 on", name)
            self.place_bounds(m, name, spec, where)
            m.arrays[name] = (size, self.marking(spec.get("init", 0), where))
            self.check_initial_in_bounds(m, name, spec.get("init", 0), where)
        if not m.places and not m.arrays:
            self.fail(path, f"atomic model '{m.name}' has no place")
        m.svnames = list(m.places) + list(m.arrays)

        m.activities = []  # expanded: one per case
        m.groups = []  # (kind, name, [activity]); timed groups first, then instantaneous
        acts = self.get(a, path, "activity", list)
        declared = {}
        timed_groups, instant_groups = [], []
        for i, spec in enumerate(acts):
            apath = path + ("activity", i)
            members = self.check_activity(m, spec, apath, declared, local)
            group = members[0].group
            (instant_groups if members[0].kind == "instantaneous" else timed_groups).append(group)
            m.activities.extend(members)
        m.groups = timed_groups + instant_groups
        members = {}
        for act in m.activities:
            members.setdefault(act.name, []).append("activity")
        for g in m.groups:
            if g["cases"]:
                members.setdefault(g["name"], []).append("case group")
        # Names the generated class gives its own members and nested classes.
        own = {m.cls: "the name of the model's class", "CustomInitialization": "a member function of the model's class",
               "assignPlacesToActivitiesInst": "a member function of the model's class",
               "assignPlacesToActivitiesTimed": "a member function of the model's class"}
        for act in m.activities:
            own.setdefault(act.cls, f"the class of activity '{act.name}'")
        for name in list(local) + list(members):
            if name in own:
                self.fail(path, f"name '{name}' in atomic model '{m.name}' cannot be used: it is {own[name]}", name)
        for name, what in members.items():
            if len(what) > 1 or name in local:
                also = " and a place" if name in local else ""
                self.fail(path, f"duplicate name '{name}' in atomic model '{m.name}' "
                          f"(generated {' and '.join(what)}{also})", name)
        for gid, group in enumerate(m.groups):
            for act in group["members"]:
                act.group_id = gid
        return m

    def check_phases(self, value, path: tuple):
        phases = literal_number(value)
        if phases is not None and not (math.isfinite(phases) and 1 <= phases <= MAX_PHASES and phases == int(phases)):
            self.fail(path, f"phases {toml_text(value)} must be a whole number from 1 to {MAX_PHASES}")

    def marking(self, init, path: tuple, what: str = "initial marking") -> str:
        if isinstance(init, bool):
            self.fail(path, f"{what} is an integer, a global variable or a constant")
        if isinstance(init, int):
            if not -32768 <= init <= 32767:
                self.fail(path, f"{what} {init} does not fit a 16-bit marking")
            return str(init)
        if isinstance(init, str) and init in self.globals:
            if self.globals[init] not in INTEGER_TYPES:
                self.fail(path, f"initial marking '{init}' is a {self.globals[init]} global variable; a marking "
                          f"takes an integer or a global of an integer type ({', '.join(INTEGER_TYPES)})")
            return init
        if isinstance(init, str) and init in self.constants:
            return init
        self.fail(path, f"{what} '{init}' is neither an integer, a global variable nor a constant")

    # -- bounds

    def place_bounds(self, m: Atomic, name: str, spec: dict, where: tuple):
        """The bounds a place or array declares ({ min = ..., max = ... })."""
        low = self.marking(spec["min"], where + ("min",), "bound") if "min" in spec else None
        high = self.marking(spec["max"], where + ("max",), "bound") if "max" in spec else None
        if isinstance(spec.get("min"), int) and isinstance(spec.get("max"), int) and spec["min"] > spec["max"]:
            self.fail(where + ("max",), f"the bounds of '{name}' are empty: min {spec['min']} is above max {spec['max']}")
        if low is not None or high is not None:
            m.bounds[name] = (low, high)

    def check_initial_in_bounds(self, m: Atomic, name: str, init, where: tuple):
        low, high = m.bounds.get(name, (None, None))
        if not isinstance(init, int) or isinstance(init, bool):
            return  # a global's value is checked when the model is built
        for bound, outside in ((low, lambda b: init < b), (high, lambda b: init > b)):
            if bound is not None and bound.lstrip("-").isdigit() and outside(int(bound)):
                self.fail(where, f"initial marking {init} of '{name}' is outside its bounds "
                          f"(min {low if low is not None else 'none'}, max {high if high is not None else 'none'})", name)

    def places_in(self, m: Atomic, frag, path: tuple) -> list:
        """The places of `m` a fragment reads or writes, by name or through a
        formula, in order of first mention."""
        out = []
        if frag is None:
            return out
        for name in names_used(frag.text, set(m.svnames) | set(self.formulas)):
            if name in self.formulas:
                self.use_formula(m, name, path)
                named = self.formula_places(m, name)
            else:
                named = [name]
            for sv in named:
                if sv not in out:
                    out.append(sv)
        return out

    def check_activity(self, m: Atomic, spec, path: tuple, declared, local) -> list:
        if not isinstance(spec, dict):
            self.fail(path, "an activity must be a table")
        self.unknown_keys(spec, path, (
            "name", "kind", "rate", "delay", "phases", "rank", "weight", "enabled", "effect", "case",
            "affects", "enables", "reactivation", "reactivation_predicate", "reactivation_function"))
        name = self.ident(self.get(spec, path, "name", str), path + ("name",), "activity name")
        if name in declared or name in local:
            self.fail(path + ("name",), f"duplicate name '{name}' in atomic model '{m.name}'")
        declared[name] = True
        kind = self.get(spec, path, "kind", str)
        if kind not in KINDS:
            self.fail(path + ("kind",), f"unknown distribution '{kind}' (use one of {', '.join(KINDS)})")
        enabled = self.fragment(spec, path, "enabled", required=False, default="true")
        rate = delay = phases = None
        if kind in ("exponential", "erlang"):
            rate = self.fragment(spec, path, "rate")
        if kind == "erlang":
            phases = self.fragment(spec, path, "phases")
        if kind == "deterministic":
            delay = self.fragment(spec, path, "delay")
        self.refuse_integer_division(rate, path + ("rate",))
        self.refuse_integer_division(delay, path + ("delay",))
        for key, needs in (("rate", ("exponential", "erlang")), ("delay", ("deterministic",)),
                           ("phases", ("erlang",)), ("rank", ("instantaneous",))):
            if key in spec and kind not in needs:
                self.fail(path + (key,), f"a {kind} activity has no '{key}'")
        rank = 1
        if "rank" in spec:
            rank = self.get(spec, path, "rank", int)
            if not -MAX_INT - 1 <= rank <= MAX_INT:
                self.fail(path + ("rank",), f"rank {rank} does not fit an int ({-MAX_INT - 1} to {MAX_INT})")
        if phases is not None:
            self.check_phases(spec["phases"], path + ("phases",))
        if "weight" in spec and "case" not in spec and kind != "instantaneous":
            self.warn(path + ("weight",), f"the weight of {kind} activity '{name}' is ignored: only cases and "
                      "instantaneous activities that compete are chosen by weight")
        reactivation = self.get(spec, path, "reactivation", bool, required=False, default=False)
        predicate = self.fragment(spec, path, "reactivation_predicate", required=False, default="false")
        function = self.fragment(spec, path, "reactivation_function", required=False, default="false")
        enables = self.arc_list(m, spec, path, "enables")

        cases = spec.get("case")
        if cases is not None:
            if "effect" in spec or "weight" in spec or "affects" in spec:
                self.fail(path, "an activity with cases gives 'weight', 'effect' and 'affects' per case")
            if not isinstance(cases, list) or len(cases) < 1:
                self.fail(path + ("case",), "'case' must list one or more cases")
            variants = []
            for k, case in enumerate(cases):
                cpath = path + ("case", k)
                if not isinstance(case, dict):
                    self.fail(cpath, "a case must be a table")
                self.unknown_keys(case, cpath, ("weight", "effect", "affects"))
                variants.append((cpath, case))
        else:
            variants = [(path, spec)]

        members = []
        group = {"name": name + "Group" if cases is not None else name, "members": members,
                 "cases": cases is not None}
        for k, (vpath, vspec) in enumerate(variants):
            act = Activity()
            act.path = vpath
            act.base = name
            act.kind = kind
            act.rank = rank
            act.reactivation = reactivation
            act.reactivation_predicate = predicate
            act.reactivation_function = function
            act.enabled = enabled
            act.rate, act.delay, act.phases = rate, delay, phases
            act.weight = self.fragment(vspec, vpath, "weight", required=False, default="1")
            self.refuse_integer_division(act.weight, vpath + ("weight",))
            weight = literal_number(vspec.get("weight"))
            if weight is not None and not (math.isfinite(weight) and weight >= 0):
                self.fail(vpath + ("weight",), f"weight {vspec['weight']} must be a finite number, not negative")
            act.effect = self.fragment(vspec, vpath, "effect", required=False, default="")
            if cases is not None:
                act.name = f"{name}_case{k + 1}"
                act.cls = f"{name}Activity_case{k + 1}"
            else:
                act.name = name
                act.cls = f"{name}Activity"
            act.group = group
            # Arcs: as listed, or the places the predicate (enable) and the
            # effect (affect) name, in order of first appearance.
            act.enables = enables if enables is not None else self.places_in(m, enabled, path + ("enabled",))
            affects = self.arc_list(m, vspec, vpath, "affects")
            changed = self.places_in(m, act.effect, vpath + ("effect",))
            act.affects = affects if affects is not None else changed
            used = []
            for sv in act.enables + act.affects:
                if sv not in used:
                    used.append(sv)
            for frag in (act.enabled, act.rate, act.delay, act.phases, act.weight, act.effect,
                         act.reactivation_predicate, act.reactivation_function):
                for sv in self.places_in(m, frag, vpath):
                    if sv not in used:
                        used.append(sv)
            act.uses = used
            # The bounded places the firing may change, checked after it.
            act.checked = [sv for sv in m.svnames if sv in m.bounds and (sv in changed or sv in act.affects)]
            members.append(act)
        return members

    def arc_list(self, m: Atomic, spec, path: tuple, key: str):
        if key not in spec:
            return None
        value = spec[key]
        if not isinstance(value, list) or not all(isinstance(v, str) for v in value):
            self.fail(path + (key,), f"'{key}' must list place names")
        for v in value:
            if v not in m.svnames:
                self.fail(path + (key,), f"'{key}' names '{v}', which is no place of '{m.name}' "
                          f"(its places: {', '.join(m.svnames)})", v)
        if len(set(value)) != len(value):
            self.fail(path + (key,), f"'{key}' names a place twice")
        return list(value)
