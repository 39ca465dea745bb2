"""The reward model's units: the reward variables, their workers and their
impulses."""

from __future__ import annotations

from ..cpp import substitute
from ..model import REWARD_KINDS, Fragment
from ..names import formula_function
from .unit import Unit, cpp_double


class RewardUnits:
    """Part of Emitter: the reward model and its nodes."""

    def root_cls(self) -> str:
        return self.m.root.cls

    def root_header(self) -> str:
        return f"{self.m.root.cls}.h"

    def emit_reward(self):
        m = self.m
        base = f"{m.name}_reward"
        h = self.unit(f"{base}PVModel.h")
        guard = f"{base}PVModel".upper() + "_H"
        h.add(self.banner)
        h.add(f"#ifndef {guard}\n#define {guard}\n\n#include \"PVModel.h\"\n")
        h.add(f"// Reward model of {m.name}: the composed model ({self.root_cls()}) with its reward variables.")
        h.add(f"class {base}PVModel : public PVModel {{\n public:")
        h.add(f"  static constexpr int NumRewardVariables = {len(m.rewards)};\n")
        h.add("  // expandTimePoints: one node per time point (true) or per variable (false).")
        h.add(f"  explicit {base}PVModel(bool expandTimePoints);\n  ~{base}PVModel() override;\n")
        h.add("  // A new node of reward variable pvIndex at time point timeIndex; null for")
        h.add("  // an index that names no reward variable.")
        h.add("  PerformanceVariableNode* createPVNode(int pvIndex, int timeIndex) override;\n};\n\n#endif")
        self.put(h)

        c = self.unit(f"{base}PVModel.cpp")
        c.add(self.banner)
        c.add(f'#include "{base}PVModel.h"\n\n#include "{self.root_header()}"\n#include "{base}PVNodes.h"\n')
        c.add(f"{base}PVModel::{base}PVModel(bool expandTimePoints) {{")
        c.add(f"  TheModel = new {self.root_cls()}();")
        c.add(f'  DefineName("{base}PVModel");')
        c.add("  CreatePVList(NumRewardVariables, expandTimePoints);\n  Initialize();\n}\n")
        c.add(f"{base}PVModel::~{base}PVModel() = default;\n")
        c.add(f"PerformanceVariableNode* {base}PVModel::createPVNode(int pvIndex, int timeIndex) {{")
        if m.rewards:
            c.add("  switch (pvIndex) {")
            for i in range(len(m.rewards)):
                c.add(f"    case {i}: return new {base}PV{i}(timeIndex);")
            c.add("    default: return nullptr;\n  }\n}")
        else:
            c.add("  (void)pvIndex;\n  (void)timeIndex;\n  return nullptr;\n}")
        self.put(c)

        h = self.unit(f"{base}PVNodes.h")
        guard = f"{base}PVNodes".upper() + "_H"
        h.add(self.banner)
        h.add(f"#ifndef {guard}\n#define {guard}\n\n#include <memory>\n#include <vector>\n")
        h.add('#include "ImpulseNodeClass.h"\n#include "InstantOfTime.h"\n#include "PerformanceVariableNode.h"')
        for a in sorted({x.cls for x in m.atomics.values()}):
            h.add(f'#include "{a}.h"')
        h.add("")
        for i, r in enumerate(m.rewards):
            if r["aggregates"] or r.get("whole"):
                self.emit_whole_model_worker(h, i, r)
            elif r["rate"] is not None:
                h.add(f'// Worker of "{r["name"]}": one per combination of the instances of '
                      + ", ".join(r["deps"]) + "; the node sums them.")
                h.add(f"class {base}PV{i}Worker : public InstantOfTime {{\n public:")
                for k, d in enumerate(r["deps"]):
                    h.add(f"  ::{m.instances[d].cls}* Slot{k} = nullptr;  // {d}")
                h.add(f"\n  {base}PV{i}Worker();\n  ~{base}PV{i}Worker() override;\n")
                h.add("  double Reward_Function() override;\n};\n")
            for k, imp in enumerate(r["impulses"]):
                icls = f"{base}PV{i}Impulse{k}"
                h.add(f'// Impulse of "{r["name"]}" earned when {imp["submodel"]}.{imp["activity"].name} fires.')
                h.add(f"class {icls} : public ImpulseNodeClass {{\n public:")
                h.add(f"  {imp['atomic'].cls}* instance = nullptr;  // model slot of the impulse's own model\n")
                h.add(f"  {icls}();")
                h.add("  double Impulse_Function() override;\n  void Accumulate(double) override {}")
                h.add("  void ResetAccumulation() override {}\n  void EvaluateImpulse() override;")
                h.add("  bool IsActiveAt(double) override { return true; }")
                h.add("  ImpulseNodeClass** CreateImpulseWorkers(int count) override;\n};\n")
            h.add(f'// Reward variable "{r["name"]}": {self.reward_description(r)}.')
            h.add(f"class {base}PV{i} : public PerformanceVariableNode {{\n public:")
            h.add("  BaseModelClass* TheModelPtr = nullptr;  // the composed model, set by FixReferences")
            for k, imp in enumerate(r["impulses"]):
                h.add(f"  {base}PV{i}Impulse{k} impulse{k};  // prototype")
            h.add(f"\n  explicit {base}PV{i}(int timeIndex);\n  ~{base}PV{i}() override;\n")
            h.add("  void CreateWorkerList() override;\n};\n")
        h.add("#endif")
        self.put(h)

        c = self.unit(f"{base}PVNodes.cpp")
        c.add(self.banner)
        if any(r["aggregates"] or r.get("whole") for r in m.rewards):
            c.add(f'#include "{base}PVNodes.h"\n\n#include "GenError.h"\n#include "List.h"\n#include "{self.study_h}"\n')
        else:
            c.add(f'#include "{base}PVNodes.h"\n\n#include "{self.study_h}"\n')
        for i, r in enumerate(m.rewards):
            c.add("// " + "-" * 75 + f"\n// {r['name']}\n")
            # An instant has one list for its starts and stops; a steady-state
            # variable has no times at all (a C++ array cannot be empty).
            starts, stops = f"kTimes{i}", f"kTimes{i}"
            if r["kind"] == "instant":
                c.add("namespace {\n")
                c.add(f"constexpr double kTimes{i}[{len(r['starts'])}] = {{{self.doubles(r['starts'])}}};\n")
                c.add("}  // namespace\n")
            elif r["starts"]:
                starts, stops = f"kStarts{i}", f"kStops{i}"
                c.add("namespace {\n")
                c.add(f"constexpr double kStarts{i}[{len(r['starts'])}] = {{{self.doubles(r['starts'])}}};")
                c.add(f"constexpr double kStops{i}[{len(r['stops'])}] = {{{self.doubles(r['stops'])}}};\n")
                c.add("}  // namespace\n")
            else:
                starts, stops = "nullptr", "nullptr"
            if r["aggregates"] or r.get("whole"):
                self.emit_whole_model_reward(c, i, r)
            elif r["rate"] is not None:
                w = f"{base}PV{i}Worker"
                slots = ", ".join(f"&Slot{k}" for k in range(len(r["deps"])))
                c.add(f"{w}::{w}() {{ BindModelSlots({slots}); }}\n")
                c.add(f"{w}::~{w}() = default;\n")
                c.add(f"double {w}::Reward_Function() {{")
                c.fragment("return (", r["rate"], ");", bindings=self.global_bindings(r["rate"].text))
                c.add("}\n")
            for k, imp in enumerate(r["impulses"]):
                icls = f"{base}PV{i}Impulse{k}"
                a = imp["atomic"]
                def marking(nm, a=a):
                    if nm in a.places:
                        return f"(*static_cast<::{a.cls}*>(this->Model)->{nm}->Mark)"
                    if nm in a.arrays:
                        return f"(*static_cast<::{a.cls}*>(this->Model)->{nm})"
                    if nm in self.m.formulas:
                        args = ", ".join(marking(sv) for sv in self.m.formula_places(a, nm))
                        return f"::{a.cls}::{formula_function(nm)}({args})"
                    return None

                value = substitute(imp["value"].text, lambda nm, *_: marking(nm))
                c.add(f"{icls}::{icls}() : ImpulseNodeClass(1) {{ BindModelSlots(&instance); }}")
                c.add(f"double {icls}::Impulse_Function() {{")
                c.fragment("return (", Fragment(value, imp["value"].line, imp["value"].column), ");",
                           bindings=self.global_bindings(imp["value"].text))
                c.add("}")
                c.add(f"void {icls}::EvaluateImpulse() {{\n  Value = Impulse_Function();\n  ValueSquared = Value * Value;\n}}")
                c.add(f"ImpulseNodeClass** {icls}::CreateImpulseWorkers(int count) {{")
                c.add("  auto** workers = new ImpulseNodeClass*[static_cast<std::size_t>(count)];")
                c.add(f"  for (int k = 0; k < count; k++) workers[k] = new {icls}();\n  return workers;\n}}\n")
            node = f"{base}PV{i}"
            c.add(f"{node}::{node}(int timeIndex) {{")
            c.add("  TopModelRef = &TheModelPtr;")
            n_models = len(r["deps"])
            c.add(f'  Initialize("{r["name"]}", {REWARD_KINDS[r["kind"]][0]}, {len(r["starts"])}, {starts}, {stops}, '
                  'timeIndex, '
                  f'{len(r["impulses"])}, {n_models}, {len(r["vardeps"])});')
            for sv, sub in r["vardeps"]:
                c.add(f'  AddVariableDependency("{sv}", "{sub}");')
            for d in r["deps"]:
                if not any(sub == d for _sv, sub in r["vardeps"]):
                    c.add(f'  AddModelDependency("{d}");')
            if r["aggregates"] or r.get("whole"):
                c.add("  EvaluateOverWholeModel();")
            for k, imp in enumerate(r["impulses"]):
                c.add(f'  AddImpulse("{imp["activity"].name}", "{imp["submodel"]}", &impulse{k});')
            c.add("}\n")
            c.add("// Workers are created here, so they are deleted here; the base releases the")
            c.add("// Workers array and everything else.")
            c.add(f"{node}::~{node}() {{")
            c.add("  for (int i = 0; i < NumWorkers; i++) {\n    delete Workers[i];\n    Workers[i] = nullptr;\n  }\n}\n")
            c.add(f"void {node}::CreateWorkerList() {{")
            if r["aggregates"] or r.get("whole"):
                c.add(f"  for (int i = 0; i < NumWorkers; i++) {{\n    auto* worker = new {base}PV{i}Worker();")
                c.add("    Workers[i] = worker;\n    worker->BindInstances(TheModelPtr);\n  }")
            elif r["rate"] is not None:
                c.add(f"  for (int i = 0; i < NumWorkers; i++) Workers[i] = new {base}PV{i}Worker();")
            c.add("}\n")
        self.put(c)

    def emit_whole_model_worker(self, h: Unit, i: int, r: dict):
        w = f"{self.m.name}_rewardPV{i}Worker"
        h.add(f'// Worker of "{r["name"]}": the only one, evaluated once per state over the whole')
        h.add("// composed model; Aggregate k counts or sums Term k over the instances of its")
        h.add("// submodel, each in turn in Current k.")
        h.add(f"class {w} : public InstantOfTime {{\n public:")
        for k, agg in enumerate(r["aggregates"]):
            cls = agg["atomic"].cls
            h.add(f"  std::vector<::{cls}*> Instances{k};  // {agg['submodel']}")
            h.add(f"  ::{cls}* Current{k} = nullptr;")
        h.add(f"\n  {w}();\n  ~{w}() override;\n")
        h.add("  // Finds the instances under the composed model.")
        h.add("  void BindInstances(BaseModelClass* root);")
        h.add("  double Reward_Function() override;")
        for k, agg in enumerate(r["aggregates"]):
            if agg["kind"] == "count":
                h.add(f"  int Aggregate{k}();\n  bool Term{k}();")
            else:
                h.add(f"  double Aggregate{k}();\n  double Term{k}();")
        h.add("};\n")

    def emit_whole_model_reward(self, c: Unit, i: int, r: dict):
        w = f"{self.m.name}_rewardPV{i}Worker"
        c.add(f"{w}::{w}() = default;\n")
        c.add(f"{w}::~{w}() = default;\n")
        if not r["aggregates"]:
            c.add(f"void {w}::BindInstances(BaseModelClass*) {{}}\n")
        else:
            c.add(f"void {w}::BindInstances(BaseModelClass* root) {{\n  List<BaseModelClass> found;")
        for k, agg in enumerate(r["aggregates"]):
            cls = agg["atomic"].cls
            c.add(f'  found.clearList();\n  root->listModels("{agg["submodel"]}", &found);')
            c.add("  for (int k = 0; k < found.getNumItems(); k++) {")
            c.add(f"    auto* instance = dynamic_cast<::{cls}*>(found[k]);")
            c.add("    if (instance == nullptr)")
            c.add(f'      throw GenError("Reward variable {r["name"]}: model {agg["submodel"]} is not of the class '
                  'its reward function expects.");')
            c.add(f"    Instances{k}.push_back(instance);\n  }}")
        if r["aggregates"]:
            c.add("}\n")
        c.add(f"double {w}::Reward_Function() {{")
        c.fragment("return (", r["rate"], ");", bindings=self.global_bindings(r["rate"].text))
        c.add("}\n")
        for k, agg in enumerate(r["aggregates"]):
            a = agg["atomic"]
            count = agg["kind"] == "count"
            c.add(f"{'int' if count else 'double'} {w}::Aggregate{k}() {{")
            c.add(f"  {'int' if count else 'double'} total = {'0' if count else '0.0'};")
            c.add(f"  for (::{a.cls}* instance : Instances{k}) {{\n    Current{k} = instance;")
            c.add(f"    {'if (Term' + str(k) + '()) total++;' if count else 'total += Term' + str(k) + '();'}")
            c.add("  }\n  return total;\n}\n")

            def marking(nm, k=k, a=a):
                if nm in a.places:
                    return f"(*this->Current{k}->{nm}->Mark)"
                if nm in a.arrays:
                    return f"(*this->Current{k}->{nm})"
                if nm in self.m.formulas:
                    args = ", ".join(marking(sv) for sv in self.m.formula_places(a, nm))
                    return f"::{a.cls}::{formula_function(nm)}({args})"
                return None

            term = agg["term"]
            c.add(f"{'bool' if count else 'double'} {w}::Term{k}() {{")
            c.fragment("return (", Fragment(substitute(term.text, lambda nm, *_: marking(nm)), term.line, term.column),
                       ");", bindings=self.global_bindings(term.text))
            c.add("}\n")

    @staticmethod
    def doubles(values) -> str:
        return ", ".join(cpp_double(t) for t in values)

    @staticmethod
    def reward_description(r) -> str:
        what = REWARD_KINDS[r["kind"]][1]
        if r["kind"] in ("instant", "reached"):
            return f"{what} at " + ", ".join(cpp_double(t) for t in r["starts"])
        if not r["starts"]:
            return what
        return f"{what} over " + ", ".join(f"[{cpp_double(a)}, {cpp_double(b)}]" for a, b in zip(r["starts"], r["stops"]))
