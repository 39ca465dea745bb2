"""Checks of the composition: joins and reps, their children, the one root,
and the places they share."""

from __future__ import annotations

from ..model import INTEGER_TYPES, MAX_DEPTH, MAX_INT, Atomic, Count, Node, toml_text
from ..names import GLOBALS_NS


class CompositionChecks:
    """Part of Checker: the joins and reps above the atomic models."""

    def count_expr(self, value, path: tuple, what: str) -> Count:
        if isinstance(value, int) and not isinstance(value, bool):
            if value < 0:
                self.fail(path, f"{what} must not be negative")
            if value > MAX_INT:
                self.fail(path, f"{what} {value} is more than {MAX_INT}, the most a model can hold")
            return Count(str(value), str(value), False)
        if isinstance(value, str) and self.globals.get(value) in INTEGER_TYPES:
            # A long may exceed an int: checked when the model is built.
            return Count(f"::{GLOBALS_NS}::{value}", value, self.globals[value] == "long")
        self.fail(path, f"{what} {toml_text(value)} is neither an integer nor an integer global variable")

    def check_composition(self):
        self.nodes = {}
        order = []
        for kind in ("join", "rep"):
            for i, spec in enumerate(self.get(self.data, (), kind, list, required=False, default=[])):
                path = (kind, i)
                if not isinstance(spec, dict):
                    self.fail(path, f"a {kind} must be a table")
                n = Node()
                n.kind = kind
                n.path = path
                n.spec = spec
                n.name = self.ident(self.get(spec, path, "name", str), path + ("name",), f"{kind} name")
                if n.name in self.nodes or n.name in self.atomics:
                    self.fail(path + ("name",), f"duplicate name '{n.name}': another model has it")
                self.nodes[n.name] = n
                order.append(n)
        referenced = {}
        for n in order:
            if n.kind == "join":
                self.unknown_keys(n.spec, n.path, ("name", "children", "shared"))
                children = self.get(n.spec, n.path, "children", list)
                if not children:
                    self.fail(n.path + ("children",), "a join needs at least one child")
                n.children = []
                for k, c in enumerate(children):
                    cpath = n.path + ("children",)
                    if isinstance(c, str):
                        c = {"model": c}
                    if not isinstance(c, dict):
                        self.fail(cpath, "a child is a model name or a table { model = ..., name = ..., copies = ... }")
                    self.unknown_keys(c, cpath, ("model", "name", "copies"))
                    model = self.get(c, cpath, "model", str)
                    self.child_model(model, cpath, n, referenced)
                    inst = self.ident(c.get("name", model), cpath, "child name")
                    copies = None
                    if "copies" in c:
                        if model not in self.atomics:
                            self.fail(cpath, "'copies' repeats an atomic model only")
                        copies = self.count_expr(c["copies"], cpath, "copies")
                    if any(inst == other["name"] for other in n.children):
                        self.fail(cpath, f"duplicate name '{inst}' among the children of '{n.name}'", inst)
                    n.children.append({"model": model, "name": inst, "copies": copies})
            else:
                self.unknown_keys(n.spec, n.path, ("name", "child", "count", "shared"))
                model = self.get(n.spec, n.path, "child", str)
                self.child_model(model, n.path + ("child",), n, referenced)
                if "count" not in n.spec:
                    self.fail(n.path, "missing required field 'count'")
                n.count = self.count_expr(n.spec["count"], n.path + ("count",), "the rep count")
                n.children = [{"model": model, "name": model, "copies": None}]
        # A cycle, which leaves no root, is found here, by its own name.
        self.check_depth(order)
        roots = [n for n in order if n.name not in referenced]
        if len(roots) > 1:
            self.fail(roots[1].path + ("name",), f"'{roots[1].name}' is part of no other node, nor is "
                      f"'{roots[0].name}': the composition needs exactly one root (make one a child of the other "
                      "or of a join)")
        if order:
            self.root = roots[0]
            self.assign_classes(self.root, f"{self.name}_modelRJ")
            self.check_tree_cycles()
        else:
            if len(self.atomics) != 1:
                self.fail(("atomic",), "without 'join' or 'rep' the model must have exactly one atomic model")
            self.root = next(iter(self.atomics.values()))
        # Shared places, checked bottom-up so that a node knows its own.
        self.node_order = []
        if order:
            self.check_shared(self.root)
        self.instances = {}
        self.collect_instances(self.root, None)

    def child_model(self, model: str, path: tuple, parent: Node, referenced):
        if model not in self.atomics and model not in self.nodes:
            self.fail(path, f"'{model}' is neither an atomic model nor a join or rep "
                      f"(models: {', '.join(list(self.atomics) + list(self.nodes))})", model)
        if model in self.nodes:
            if model in referenced:
                self.fail(path, f"'{model}' is already a child of '{referenced[model]}'", model)
            if model == parent.name:
                self.fail(path, f"'{model}' cannot contain itself", model)
            referenced[model] = parent.name

    def assign_classes(self, node: Node, cls: str):
        node.cls = cls
        for c in node.children:
            if c["model"] in self.nodes:
                self.assign_classes(self.nodes[c["model"]], f"{cls}__{c['model']}")

    def check_depth(self, order):
        """Each node's depth below the root, found without recursion: the
        compiler walks the tree recursively, and its class names grow with
        the depth."""
        parent = {c["model"]: n.name for n in order for c in n.children if c["model"] in self.nodes}
        for n in order:
            depth, name, chain = 0, n.name, [n.name]
            while name in parent:
                name = parent[name]
                depth += 1
                if name in chain:
                    cycle = list(reversed(chain[chain.index(name):]))
                    first = self.nodes[cycle[0]]
                    self.fail(first.path + ("name",), " -> ".join(f"'{c}'" for c in cycle + [cycle[0]])
                              + " contain each other in a cycle")
                chain.append(name)
                if depth > MAX_DEPTH:
                    self.fail(n.path + ("name",), f"'{n.name}' lies more than {MAX_DEPTH} levels below the root "
                              f"of the composition; at most {MAX_DEPTH} are allowed")

    def check_tree_cycles(self):
        seen = set()

        def walk(n: Node):
            if n.name in seen:
                self.fail(n.path, f"'{n.name}' occurs twice in the composition")
            seen.add(n.name)
            for c in n.children:
                if c["model"] in self.nodes:
                    walk(self.nodes[c["model"]])

        walk(self.root)
        for n in self.nodes.values():
            if n.name not in seen:
                self.fail(n.path, f"'{n.name}' is not part of the composition")

    def has_shared(self, model: str, place: str) -> bool:
        if model in self.atomics:
            return place in self.atomics[model].places
        return place in self.nodes[model].shared_names

    def check_shared(self, node: Node):
        for c in node.children:
            if c["model"] in self.nodes:
                self.check_shared(self.nodes[c["model"]])
        spec_list = node.spec.get("shared", [])
        path = node.path + ("shared",)
        if not isinstance(spec_list, list):
            self.fail(path, "'shared' must list place names")
        node.shared = []  # (place, [child index])
        names = []
        for entry in spec_list:
            if isinstance(entry, str):
                place, members = entry, list(range(len(node.children)))
            elif isinstance(entry, dict) and isinstance(entry.get("place"), str) and isinstance(entry.get("children"), list):
                for key in entry:
                    if key not in ("place", "children"):
                        self.fail(path, f"unknown field '{key}' in a shared entry (it takes 'place' and 'children')", key)
                place = entry["place"]
                members = []
                for cname in entry["children"]:
                    idx = [k for k, c in enumerate(node.children) if c["name"] == cname]
                    if not idx:
                        self.fail(path, f"'{cname}' is no child of '{node.name}' (its children: "
                                  f"{', '.join(c['name'] for c in node.children)})", cname if isinstance(cname, str) else None)
                    members.append(idx[0])
            else:
                self.fail(path, "a shared entry is a place name or { place = ..., children = [...] }")
            self.ident(place, path, "shared place")
            if place in names:
                self.fail(path, f"duplicate name '{place}' in the shared places of '{node.name}'", place)
            names.append(place)
            if node.kind == "rep" and place == "InstanceArray":
                self.fail(path, "shared place 'InstanceArray' cannot be used: it is the Rep's list of its copies",
                          place)
            if place in [c["name"] for c in node.children]:
                self.fail(path, f"duplicate name '{place}': also a child of '{node.name}'", place)
            for k in members:
                c = node.children[k]
                if not self.has_shared(c["model"], place):
                    what = "place" if c["model"] in self.atomics else "shared place"
                    self.fail(path, f"shared place '{place}': child model '{c['model']}' has no {what} '{place}'", place)
            self.check_shared_marking(node, place, members, path)
            node.shared.append((place, members))
        node.shared_names = names
        self.node_order.append(node)

    def shared_init(self, model: str, place: str) -> str:
        """The initial marking a child gives its shared place: an atomic model
        its place's; a Rep its copies' (all alike); a Join the last sharing
        child's, which is the one that takes effect."""
        if model in self.atomics:
            return self.atomics[model].places[place]
        node = self.nodes[model]
        members = next(m for p, m in node.shared if p == place)
        return self.shared_init(node.children[members[-1]]["model"], place)

    def check_shared_marking(self, node: Node, place: str, members: list, path: tuple):
        inits = [(node.children[k]["name"], self.shared_init(node.children[k]["model"], place)) for k in members]
        if len({init for _c, init in inits}) > 1:
            listed = ", ".join(f"{c}: {init}" for c, init in inits)
            self.fail(path, f"shared place '{place}' has different initial markings in the children of '{node.name}' "
                      f"({listed}); give it the same one in each", place)

    def collect_instances(self, model, inst_name):
        if isinstance(model, Atomic):
            name = inst_name or model.name
            prev = self.instances.get(name)
            if prev is not None and prev is not model:
                self.fail(model.path, f"duplicate name '{name}': two different atomic models are known by it")
            self.instances[name] = model
            return
        for c in model.children:
            if c["model"] in self.atomics:
                a = self.atomics[c["model"]]
                # Rep replicas and Join copies carry the atomic model's name.
                named = c["name"] if (model.kind == "join" and c["copies"] is None) else a.name
                self.collect_instances(a, named)
            else:
                self.collect_instances(self.nodes[c["model"]], None)
