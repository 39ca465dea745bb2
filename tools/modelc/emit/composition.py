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

    def emit_join(self, n: Node):
        guard = n.cls.upper() + "_H"
        h = self.unit(f"{n.cls}.h")
        h.add(self.banner)
        h.add(f"#ifndef {guard}\n#define {guard}\n\n#include <memory>\n#include <vector>\n")
        headers = sorted({self.child_info(c)[1] for c in n.children})
        h.add('#include "Join.h"\n#include "Place.h"')
        for hd in headers:
            h.add(f'#include "{hd}"')
        h.add(f"\n// Names of the variables shared at the Join, in sharing order.\nextern const char* {n.cls}__SharedNames[];\n")
        h.add(f'// The composed model "{n.name}", a Join of ' + ", ".join(c["name"] for c in n.children) + ".")
        h.add(f"class {n.cls} : public Join {{\n public:")
        for c in n.children:
            cls = self.child_info(c)[0]
            if c["copies"] is None:
                h.add(f"  std::unique_ptr<::{cls}> {c['name']};")
            else:
                h.add(f"  std::vector<std::unique_ptr<::{cls}>> {c['name']};  // {c['copies'].shown} copies")
        for place, _ in n.shared:
            h.add(f"  std::unique_ptr<::Place> {place};  // shared place (null when no child has state)")
        h.add(f"\n  {n.cls}();\n  ~{n.cls}() override;\n}};\n\n#endif")
        self.put(h)

        c = self.unit(f"{n.cls}.cpp")
        c.add(self.banner)
        c.add(f'#include "{n.cls}.h"\n')
        c.add("#include <climits>\n")
        c.add('#include "GenError.h"')
        if any(ch["copies"] is not None and ch["copies"].checked for ch in n.children):
            c.add('#include "ModelValueChecks.h"')
        c.add(f'#include "{self.study_h}"\n')
        names = ", ".join(f'"{p}"' for p, _ in n.shared) or "nullptr"
        c.add(f"const char* {n.cls}__SharedNames[] = {{{names}}};\n")
        copies = [ch for ch in n.children if ch["copies"] is not None]
        c.add("namespace {\n")
        c.add("// The children, copies counted each: at most INT_MAX, the count the Join holds.")
        c.add("int childCount() {")
        fixed = len(n.children) - len(copies)
        c.add(f"  long long count = {fixed};")
        for ch in copies:
            k = ch["copies"]
            c.add(f"  if ({k.cpp} < 0)")
            c.add(f'    throw GenError("{n.name}: the number of copies of {ch["name"]} ({k.shown}) is negative");')
            if k.checked:
                c.add(f'  count += ::genCheckedCount({k.cpp}, "{k.shown}", "{n.name}: the number of copies of {ch["name"]}");')
            else:
                c.add(f"  count += {k.cpp};")
        if copies:
            c.add("  if (count > INT_MAX)")
            c.add(f'    throw GenError("Error: {n.name}: " + std::to_string(count) + " children, more than {MAX_INT}");')
        c.add("  return static_cast<int>(count);\n}\n\n}  // namespace\n")
        c.add(f'{n.cls}::{n.cls}() : Join("{n.name}", childCount(), {len(n.shared)}, {n.cls}__SharedNames) {{')
        c.add("  int next = 0;")
        for ch in n.children:
            cls = self.child_info(ch)[0]
            if ch["copies"] is None:
                c.add(f"  this->{ch['name']} = std::make_unique<::{cls}>();")
                c.add(f"  Join::Children[next++] = this->{ch['name']}.get();")
                c.add(f'  this->{ch["name"]}->BaseModelClass::DefineName("{ch["name"]}");')
            else:
                c.add(f"  for (int i = 0; i < {ch['copies'].cpp}; i++) {{")
                c.add(f"    this->{ch['name']}.push_back(std::make_unique<::{cls}>());")
                c.add(f"    Join::Children[next++] = this->{ch['name']}.back().get();\n  }}")
        c.add("\n  Join::SetupActions();")
        if n.shared:
            c.add("  if (Join::AllChildrenEmpty()) {\n    Join::NumSharedStateVariables = 0;\n  } else {")
            for place, members in n.shared:
                c.add(f'    this->{place} = std::make_unique<::Place>("{place}");')
                c.add(f'    Join::addSharedPtr(this->{place}.get(), "{place}");')
                for k in members:
                    ch = n.children[k]
                    acc = self.child_info(ch)[2]
                    if ch["copies"] is None:
                        obj = f"this->{ch['name']}"
                        pv = acc(obj, place)
                        c.add(f"    if ({obj}->BaseModelClass::NumStateVariables > 0) {{")
                        c.add(f"      this->{place}->ShareWith({pv});")
                        c.add(f"      Join::addSharingInfo({pv}, this->{place}.get(), {obj}.get());\n    }}")
                    else:
                        c.add(f"    for (auto& copy : this->{ch['name']}) {{")
                        c.add("      if (copy->BaseModelClass::NumStateVariables == 0) continue;")
                        c.add(f"      this->{place}->ShareWith({acc('copy', place)});")
                        c.add(f"      Join::addSharingInfo({acc('copy', place)}, this->{place}.get(), copy.get());\n    }}")
            c.add("  }")
        c.add("  Join::Setup();\n}\n")
        c.add("// The shared places go first (they hold the cells), then the children.")
        c.add(f"{n.cls}::~{n.cls}() {{")
        for place, _ in n.shared:
            c.add(f"  this->{place}.reset();")
        for ch in n.children:
            c.add(f"  this->{ch['name']}." + ("reset();" if ch["copies"] is None else "clear();"))
        c.add("}")
        self.put(c)

    def emit_rep(self, n: Node):
        ch = n.children[0]
        cls, header, acc = self.child_info(ch)
        guard = n.cls.upper() + "_H"
        h = self.unit(f"{n.cls}.h")
        h.add(self.banner)
        h.add(f"#ifndef {guard}\n#define {guard}\n\n#include <memory>\n#include <vector>\n")
        h.add(f'#include "Place.h"\n#include "Rep.h"\n#include "{header}"\n')
        h.add(f"// Names of the variables shared by all copies, in sharing order.\nextern const char* {n.cls}__SharedNames[];\n")
        h.add(f'// "{n.name}": {n.count.shown} copies of {ch["model"]}'
              + (", all sharing " + ", ".join(p for p, _ in n.shared) if n.shared else "") + ".")
        h.add(f"class {n.cls} : public Rep {{\n public:")
        h.add("  // The copies, in index order; the same objects fill the Rep's child array.")
        h.add(f"  std::vector<std::unique_ptr<::{cls}>> InstanceArray;")
        for place, _ in n.shared:
            h.add(f"  std::unique_ptr<::Place> {place};  // shared place (null with zero copies)")
        h.add(f"\n  {n.cls}();\n  ~{n.cls}() override;\n}};\n\n#endif")
        self.put(h)

        c = self.unit(f"{n.cls}.cpp")
        c.add(self.banner)
        c.add(f'#include "{n.cls}.h"\n')
        if n.count.checked:
            c.add('#include "ModelValueChecks.h"')
        c.add(f'#include "{self.study_h}"\n')
        names = ", ".join(f'"{p}"' for p, _ in n.shared) or "nullptr"
        c.add(f"const char* {n.cls}__SharedNames[] = {{{names}}};\n")
        count = n.count.cpp
        if n.count.checked:
            count = f'::genCheckedCount({count}, "{n.count.shown}", "{n.name}: the count")'
        c.add(f'{n.cls}::{n.cls}() : Rep("{n.name}", {count}, {len(n.shared)}, {n.cls}__SharedNames) {{')
        c.add(f"  // The copies, in index order (the count is {n.count.shown} as it stands now).")
        c.add("  this->InstanceArray.reserve(Rep::NumChildren);\n  for (int i = 0; i < Rep::NumChildren; i++) {")
        c.add(f"    this->InstanceArray.push_back(std::make_unique<::{cls}>());")
        c.add("    Rep::Children[i] = this->InstanceArray[i].get();\n  }")
        c.add("  Rep::SetupActions();\n  if (Rep::NumChildren == 0) return;  // no copies: no sharing, no state\n")
        if n.shared:
            c.add("  if (Rep::AllChildrenEmpty()) {\n    Rep::NumSharedStateVariables = 0;\n  } else {")
            c.add(f"    ::{cls}& first = *this->InstanceArray[0];\n")
            c.add("    // The shared places take copy 0's initial markings.")
            for place, _ in n.shared:
                c.add(f'    this->{place} = std::make_unique<::Place>("{place}");')
                c.add(f'    Rep::addSharedPtr(this->{place}.get(), "{place}");')
                c.add(f"    this->{place}->ShareWith({acc('(&first)', place)});\n")
            for place, _ in n.shared:
                c.add(f"    for (auto& copy : this->InstanceArray) Rep::addSharingInfo({acc('copy', place)}, this->{place}.get(), nullptr);")
            c.add("\n    // Every further copy's places follow copy 0's (that is, the shared) cell.")
            c.add("    for (int i = 1; i < Rep::NumChildren; i++) {")
            for place, _ in n.shared:
                c.add(f"      {acc('(&first)', place)}->ShareWith({acc('this->InstanceArray[i]', place)});")
            c.add("    }\n  }")
        c.add(f'  Rep::Setup("{ch["model"]}");\n}}\n')
        c.add("// The shared places go first (they hold the cells), then the copies.")
        c.add(f"{n.cls}::~{n.cls}() {{")
        for place, _ in n.shared:
            c.add(f"  this->{place}.reset();")
        c.add("  this->InstanceArray.clear();\n}")
        self.put(c)
