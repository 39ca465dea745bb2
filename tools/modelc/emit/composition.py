"""The composed models' units: a class per join and per rep."""

from __future__ import annotations

from ..model import MAX_INT, Node


class CompositionUnits:
    """Part of Emitter: the joins and reps."""

    def child_info(self, c: dict):
        """(class, header, accessor of a shared place given an object expression)."""
        if c["model"] in self.m.atomics:
            a = self.m.atomics[c["model"]]
            return a.cls, f"{a.cls}.h", lambda obj, p: f"{obj}->{p}"
        n = self.m.nodes[c["model"]]
        return n.cls, f"{n.cls}.h", lambda obj, p: f"{obj}->{p}.get()"

    # As in the atomic models: the model's names (children, shared places) are
    # members reached through this->, the composer's own qualified.

    def emit_composed(self, n: Node, base: str, includes: list, shared_by: str, about: str, members: list,
                      shared_note: str, unit_includes: list, before: list, count: str, body: list, children: str,
                      release: list):
        """The shape a Join and a Rep share: a header declaring the class with
        its children (`members`) and its shared places, and a unit with the
        names of the shared places, the constructor's `body` and a destructor
        that releases the shared places before the children (`release`). Each
        list holds texts as Unit.add takes them."""
        guard = n.cls.upper() + "_H"
        h = self.unit(f"{n.cls}.h")
        h.add(self.banner)
        h.add(f"#ifndef {guard}\n#define {guard}\n\n#include <memory>\n#include <vector>\n")
        for hd in includes:
            h.add(f'#include "{hd}"')
        h.add(f"\n// Names of the variables shared {shared_by}, in sharing order.\n"
              f"extern const char* {n.cls}__SharedNames[];\n")
        h.add(about)
        h.add(f"class {n.cls} : public {base} {{\n public:")
        for line in members:
            h.add(line)
        for place, _ in n.shared:
            h.add(f"  std::unique_ptr<::Place> {place};  // shared place ({shared_note})")
        h.add(f"\n  {n.cls}();\n  ~{n.cls}() override;\n}};\n\n#endif")
        self.put(h)

        c = self.unit(f"{n.cls}.cpp")
        c.add(self.banner)
        c.add(f'#include "{n.cls}.h"\n')
        for line in unit_includes:
            c.add(line)
        c.add(f'#include "{self.study_h}"\n')
        names = ", ".join(f'"{p}"' for p, _ in n.shared) or "nullptr"
        c.add(f"const char* {n.cls}__SharedNames[] = {{{names}}};\n")
        for line in before:
            c.add(line)
        c.add(f'{n.cls}::{n.cls}() : {base}("{n.name}", {count}, {len(n.shared)}, {n.cls}__SharedNames) {{')
        for line in body:
            c.add(line)
        c.add(f"// The shared places go first (they hold the cells), then the {children}.")
        c.add(f"{n.cls}::~{n.cls}() {{")
        for place, _ in n.shared:
            c.add(f"  this->{place}.reset();")
        for line in release:
            c.add(line)
        c.add("}")
        self.put(c)

    @staticmethod
    def sharing(base: str, n: Node, prologue: list, share, epilogue: list) -> list:
        """The constructor's sharing, as a Join and a Rep both do it: with no
        child holding state there is nothing to share; otherwise each shared
        place is made and registered, and `share(place, members)` gives the
        lines that join the children's places to it."""
        if not n.shared:
            return []
        lines = [f"  if ({base}::AllChildrenEmpty()) {{\n    {base}::NumSharedStateVariables = 0;\n  }} else {{"]
        lines += prologue
        for place, members in n.shared:
            lines.append(f'    this->{place} = std::make_unique<::Place>("{place}");')
            lines.append(f'    {base}::addSharedPtr(this->{place}.get(), "{place}");')
            lines += share(place, members)
        return lines + epilogue + ["  }"]

    def emit_join(self, n: Node):
        members = []
        for ch in n.children:
            cls = self.child_info(ch)[0]
            if ch["copies"] is None:
                members.append(f"  std::unique_ptr<::{cls}> {ch['name']};")
            else:
                members.append(f"  std::vector<std::unique_ptr<::{cls}>> {ch['name']};  // {ch['copies'].shown} copies")
        unit_includes = ["#include <climits>\n", '#include "GenError.h"']
        if any(ch["copies"] is not None and ch["copies"].checked for ch in n.children):
            unit_includes.append('#include "ModelValueChecks.h"')

        copies = [ch for ch in n.children if ch["copies"] is not None]
        before = ["namespace {\n"]
        before.append("// The children, copies counted each: at most INT_MAX, the count the Join holds.")
        before.append("int childCount() {")
        fixed = len(n.children) - len(copies)
        before.append(f"  long long count = {fixed};")
        for ch in copies:
            k = ch["copies"]
            before.append(f"  if ({k.cpp} < 0)")
            before.append(f'    throw GenError("{n.name}: the number of copies of {ch["name"]} ({k.shown}) is negative");')
            if k.checked:
                before.append(f'  count += ::genCheckedCount({k.cpp}, "{k.shown}", "{n.name}: the number of copies of {ch["name"]}");')
            else:
                before.append(f"  count += {k.cpp};")
        if copies:
            before.append("  if (count > INT_MAX)")
            before.append(f'    throw GenError("Error: {n.name}: " + std::to_string(count) + " children, more than {MAX_INT}");')
        before.append("  return static_cast<int>(count);\n}\n\n}  // namespace\n")

        body = ["  int next = 0;"]
        for ch in n.children:
            cls = self.child_info(ch)[0]
            if ch["copies"] is None:
                body.append(f"  this->{ch['name']} = std::make_unique<::{cls}>();")
                body.append(f"  Join::Children[next++] = this->{ch['name']}.get();")
                body.append(f'  this->{ch["name"]}->BaseModelClass::DefineName("{ch["name"]}");')
            else:
                body.append(f"  for (int i = 0; i < {ch['copies'].cpp}; i++) {{")
                body.append(f"    this->{ch['name']}.push_back(std::make_unique<::{cls}>());")
                body.append(f"    Join::Children[next++] = this->{ch['name']}.back().get();\n  }}")
        body.append("\n  Join::SetupActions();")

        def share(place, members_of):
            lines = []
            for k in members_of:
                ch = n.children[k]
                acc = self.child_info(ch)[2]
                if ch["copies"] is None:
                    obj = f"this->{ch['name']}"
                    pv = acc(obj, place)
                    lines.append(f"    if ({obj}->BaseModelClass::NumStateVariables > 0) {{")
                    lines.append(f"      this->{place}->ShareWith({pv});")
                    lines.append(f"      Join::addSharingInfo({pv}, this->{place}.get(), {obj}.get());\n    }}")
                else:
                    lines.append(f"    for (auto& copy : this->{ch['name']}) {{")
                    lines.append("      if (copy->BaseModelClass::NumStateVariables == 0) continue;")
                    lines.append(f"      this->{place}->ShareWith({acc('copy', place)});")
                    lines.append(f"      Join::addSharingInfo({acc('copy', place)}, this->{place}.get(), copy.get());\n    }}")
            return lines

        body += self.sharing("Join", n, [], share, [])
        body.append("  Join::Setup();\n}\n")
        release = [f"  this->{ch['name']}." + ("reset();" if ch["copies"] is None else "clear();") for ch in n.children]
        self.emit_composed(
            n, "Join", includes=["Join.h", "Place.h"] + sorted({self.child_info(c)[1] for c in n.children}),
            shared_by="at the Join",
            about=f'// The composed model "{n.name}", a Join of ' + ", ".join(c["name"] for c in n.children) + ".",
            members=members, shared_note="null when no child has state", unit_includes=unit_includes,
            before=before, count="childCount()", body=body, children="children", release=release)

    def emit_rep(self, n: Node):
        ch = n.children[0]
        cls, header, acc = self.child_info(ch)
        members = ["  // The copies, in index order; the same objects fill the Rep's child array.",
                   f"  std::vector<std::unique_ptr<::{cls}>> InstanceArray;"]
        count = n.count.cpp
        if n.count.checked:
            count = f'::genCheckedCount({count}, "{n.count.shown}", "{n.name}: the count")'
        body = [f"  // The copies, in index order (the count is {n.count.shown} as it stands now).",
                "  this->InstanceArray.reserve(Rep::NumChildren);\n  for (int i = 0; i < Rep::NumChildren; i++) {",
                f"    this->InstanceArray.push_back(std::make_unique<::{cls}>());",
                "    Rep::Children[i] = this->InstanceArray[i].get();\n  }",
                "  Rep::SetupActions();\n  if (Rep::NumChildren == 0) return;  // no copies: no sharing, no state\n"]
        prologue = [f"    ::{cls}& first = *this->InstanceArray[0];\n",
                    "    // The shared places take copy 0's initial markings."]
        epilogue = [f"    for (auto& copy : this->InstanceArray) Rep::addSharingInfo({acc('copy', place)}, "
                    f"this->{place}.get(), nullptr);" for place, _ in n.shared]
        epilogue.append("\n    // Every further copy's places follow copy 0's (that is, the shared) cell.")
        epilogue.append("    for (int i = 1; i < Rep::NumChildren; i++) {")
        for place, _ in n.shared:
            epilogue.append(f"      {acc('(&first)', place)}->ShareWith({acc('this->InstanceArray[i]', place)});")
        epilogue.append("    }")
        body += self.sharing("Rep", n, prologue,
                             lambda place, _: [f"    this->{place}->ShareWith({acc('(&first)', place)});\n"], epilogue)
        body.append(f'  Rep::Setup("{ch["model"]}");\n}}\n')
        self.emit_composed(
            n, "Rep", includes=["Place.h", "Rep.h", header], shared_by="by all copies",
            about=f'// "{n.name}": {n.count.shown} copies of {ch["model"]}'
            + (", all sharing " + ", ".join(p for p, _ in n.shared) if n.shared else "") + ".",
            members=members, shared_note="null with zero copies",
            unit_includes=['#include "ModelValueChecks.h"'] if n.count.checked else [], before=[], count=count,
            body=body, children="copies", release=["  this->InstanceArray.clear();"])
