"""The compile: reads the model file, checks it, emits its units and writes
them; and the command line."""

from __future__ import annotations

import os
import re
import sys
import tempfile
import tomllib

from .check import Checker
from .cpp import substitute, names_used
from .model import DIST_CODE, MAX_DEPTH, MAX_INT, REWARD_KINDS, Activity, Atomic, Fragment, ModelError, Node
from .names import GLOBALS_NS, formula_function
from .tomlmap import scan_toml


# ---------------------------------------------------------------------------
# Output.


class Unit:
    """A generated file: lines, with #line directives that name the model file
    for fragments and the unit itself after them."""

    def __init__(self, name: str, model_path: str, line_name: str):
        self.name = name
        self.model_path = model_path
        self.line_name = line_name
        self.lines: list[str] = []

    def add(self, text: str = ""):
        self.lines.extend(text.split("\n"))

    def fragment(self, before: str, frag: Fragment, after: str, indent: str = "  ", bindings=()):
        """Emits before + fragment text + after, the fragment's lines mapped to
        the model file, after `bindings`: the block-scope declarations that
        give the fragment's names their meaning."""
        for line in bindings:
            self.add(indent + line)
        if frag.line is None:
            self.add(indent + before + frag.text + after)
            return
        # The text starts in the column it has in the model file, so that the
        # compiler's columns point into the model file's line.
        if before:
            self.lines.append(indent + before)
        self.lines.append(f'#line {frag.line} "{cpp_string(self.model_path)}"')
        body = frag.text.rstrip().split("\n")
        body[0] = " " * frag.column + body[0]
        self.lines.extend(body)
        self.lines.append(f'#line {len(self.lines) + 2} "{cpp_string(self.line_name)}"')
        if after:
            self.lines.append(indent + after)

    def text(self) -> str:
        return "\n".join(self.lines).rstrip("\n") + "\n"


def cpp_string(s: str) -> str:
    return s.replace("\\", "\\\\").replace('"', '\\"')


def cpp_double(x: float) -> str:
    text = repr(float(x))
    return text if ("." in text or "e" in text or "n" in text) else text + ".0"


class Emitter:
    def __init__(self, model: Checker, model_path: str, outdir: str):
        self.m = model
        self.model_path = model_path
        self.outdir = outdir
        self.units: dict[str, str] = {}
        self.study_h = f"{model.name}_studyRangeStudy.h"
        shown = re.sub(r"[^\w.\- ]", "?", os.path.basename(model_path))
        self.banner = f"// Generated from {shown}; edit the model file, not this unit."

    def unit(self, name: str) -> Unit:
        return Unit(name, self.model_path, os.path.join(self.outdir, name))

    def emit(self):
        self.emit_study()
        for atomic in self.m.atomics.values():
            self.emit_atomic(atomic)
        for node in getattr(self.m, "node_order", []):
            if node.kind == "join":
                self.emit_join(node)
            else:
                self.emit_rep(node)
        self.emit_reward()
        self.emit_factory()
        return self.units

    def put(self, unit: Unit):
        self.units[unit.name] = unit.text()

    # -- study

    def emit_study(self):
        m = self.m
        cls = f"{m.name}_studyRangeStudy"
        guard = cls.upper() + "_H"
        h = self.unit(f"{cls}.h")
        h.add(self.banner)
        h.add(f"#ifndef {guard}\n#define {guard}\n\n#include <memory>\n\n#include \"BaseStudyClass.h\"\n")
        h.add(f"// Global variables of the {m.name} model, in the study's variable order. They")
        h.add("// are zero until SetGVs loads an experiment; the model code reads them when")
        h.add("// it is built. Their namespace keeps their names apart from every other.")
        h.add(f"namespace {GLOBALS_NS} {{")
        for name, ctype in m.globals.items():
            h.add(f"extern {ctype} {name};")
        if m.constants:
            h.add("")
            h.add("// Constants of the model file, computed from the global variables as they")
            h.add("// stand at each use.")
            for name, frag in m.constants.items():
                h.add(f"inline auto {name}() {{")
                h.fragment("return (", Fragment(self.with_constants(frag.text), frag.line, frag.column), ");")
                h.add("}")
        h.add(f"}}  // namespace {GLOBALS_NS}\n")
        h.add(f"// Range study of {m.name}: {len(m.globals)} global variables over "
              f"{len(m.experiments)} experiments (numbered 0 to {len(m.experiments) - 1}).")
        h.add(f"class {cls} : public BaseStudyClass {{\n public:")
        h.add(f"  static constexpr int NumberOfGVs = {len(m.globals)};")
        h.add(f"  static constexpr int NumberOfExperiments = {len(m.experiments)};\n")
        if m.globals:
            h.add("  // Per-experiment values, one array per variable, NumExps entries each.")
        for name, ctype in m.globals.items():
            h.add(f"  {ctype}* {name}Values;")
        h.add(f"\n  {cls}();\n  ~{cls}() override;\n")
        h.add("  std::unique_ptr<PVModel> GetPVModel(bool expandTimePoints) override;")
        h.add("  void SetGVs(int experiment) override;")
        h.add("  void PrintGlobalValues(int experiment) override;")
        h.add("  void* GetGVValue(const char* name) override;")
        h.add("  void OverrideGVValue(const char* name, const void* value) override;")
        if m.globals:
            h.add("\n  // Each refills its variable's value array with the experiment table.")
        for name in m.globals:
            h.add(f"  void SetValues_{name}();")
        h.add("};\n\n#endif")
        self.put(h)

        c = self.unit(f"{cls}.cpp")
        c.add(self.banner)
        c.add(f'#include "{cls}.h"\n')
        c.add("#include <algorithm>\n#include <cstring>\n#include <iostream>\n#include <sstream>\n")
        c.add(f'#include "GenAssert.h"\n#include "{m.name}_rewardPVModel.h"\n')
        c.add(f"namespace {GLOBALS_NS} {{")
        for name, ctype in m.globals.items():
            c.add(f"{ctype} {name};")
        c.add(f"}}  // namespace {GLOBALS_NS}\n")
        c.add("namespace {\n")
        c.add(f"using Study = {cls};")
        n = len(m.experiments)
        c.add(f"constexpr int kExps = {n};\n")
        if m.globals:
            names = ", ".join(re.sub(r"[^\w.\- ]", "?", e) for e, _ in m.experiments)
            c.add(f"// The experiment table: {names}.")
            for name, ctype in m.globals.items():
                values = ", ".join(values[name] for _e, values in m.experiments)
                c.add(f"constexpr {ctype} k_{name}[kExps] = {{{values}}};")
            names = ", ".join(f'"{g}"' for g in m.globals)
            types = ", ".join(f'"{t}"' for t in m.globals.values())
            c.add(f"constexpr const char* kNames[Study::NumberOfGVs] = {{{names}}};")
            c.add(f"constexpr const char* kTypes[Study::NumberOfGVs] = {{{types}}};")
            c.add("constexpr std::size_t kSizes[Study::NumberOfGVs] = {"
                  + ", ".join(f"sizeof({t})" for t in m.globals.values()) + "};\n")
            c.add("// Address of each global variable, in variable order.\nvoid* variableAddress(int index) {")
            c.add("  switch (index) {")
            for i, name in enumerate(m.globals):
                c.add(f"    case {i}: return &::{GLOBALS_NS}::{name};")
            c.add("    default: return nullptr;\n  }\n}\n")
            c.add("template <typename T>\nT* newValueArray(const T (&table)[kExps]) {")
            c.add("  T* values = new T[kExps];\n  std::copy(table, table + kExps, values);\n  return values;\n}\n")
        c.add("}  // namespace\n")
        c.add(f"{cls}::{cls}() {{")
        c.add("  NumGVs = NumberOfGVs;\n  NumExps = NumberOfExperiments;")
        if m.globals:
            c.add("  GVNames = new char*[NumGVs];\n  GVTypes = new char*[NumGVs];")
            c.add("  for (int i = 0; i < NumGVs; i++) {\n    GVNames[i] = strdup(kNames[i]);\n"
                  "    GVTypes[i] = strdup(kTypes[i]);\n  }")
        for name in m.globals:
            c.add(f"  {name}Values = newValueArray(k_{name});")
        c.add('  SetDefaultTarvelRoot("c:/Tarvel-2.4/");\n}\n')
        c.add(f"{cls}::~{cls}() {{")
        for name in m.globals:
            c.add(f"  delete[] {name}Values;")
        c.add("}\n")
        c.add(f"std::unique_ptr<PVModel> {cls}::GetPVModel(bool expandTimePoints) {{")
        c.add("  // The new model is built from the global variables as they stand now.")
        c.add(f"  return std::make_unique<{m.name}_rewardPVModel>(expandTimePoints);\n}}\n")
        c.add(f"void {cls}::SetGVs(int e) {{")
        c.add("  // The driver validates the experiment number; an unchecked index would read")
        c.add("  // past the value arrays.")
        c.add(f'  GEN_ASSERT(e >= 0 && e < NumExps, "0 <= e && e < NumExps", "{cls}");')
        for name in m.globals:
            c.add(f"  ::{GLOBALS_NS}::{name} = {name}Values[e];")
        c.add("}\n")
        c.add(f"void {cls}::PrintGlobalValues(int e) {{")
        c.add("  if (NumGVs == 0) {\n    std::cout << \"There are no global variables.\\n\";\n    return;\n  }")
        if m.globals:
            c.add("  SetGVs(e);")
            c.add("  // A fresh stream gives the default formatting (six significant digits,")
            c.add("  // shortest form) whatever flags std::cout carries.")
            c.add("  std::ostringstream text;")
            c.add('  text << "The Global Variable values for experiment " << GetExpName(e) << " are:\\n";')
            for name, ctype in m.globals.items():
                g = f"::{GLOBALS_NS}::{name}"
                value = {"float": f"static_cast<double>({g})", "char": f"static_cast<int>({g})",
                         "bool": f"static_cast<int>({g})"}.get(ctype, g)
                c.add(f"  text << \"{name}\\t{ctype}\\t\" << {value} << '\\n';")
            c.add("  std::cout << text.str();")
        else:
            c.add("  (void)e;")
        c.add("}\n")
        c.add(f"void* {cls}::GetGVValue(const char* name) {{")
        if m.globals:
            c.add("  for (int i = 0; name && i < NumberOfGVs; i++)")
            c.add("    if (std::strcmp(name, kNames[i]) == 0) return variableAddress(i);")
        c.add(f'  std::cerr << "!! {cls}::GetGVValue: Global Variable " << (name ? name : "")')
        c.add('            << " does not exist.\\n";\n  return nullptr;\n}\n')
        c.add(f"void {cls}::OverrideGVValue(const char* name, const void* value) {{")
        if m.globals:
            c.add("  for (int i = 0; name && i < NumberOfGVs; i++) {")
            c.add("    if (std::strcmp(name, kNames[i]) != 0) continue;")
            c.add("    if (!value) return;")
            c.add("    // Copy exactly one value of the variable's own type.")
            c.add("    std::memcpy(variableAddress(i), value, kSizes[i]);\n    return;\n  }")
        else:
            c.add("  (void)value;")
        c.add(f'  std::cerr << "!! {cls}::OverrideGVValue: Global Variable "')
        c.add('            << (name ? name : "") << " does not exist.\\n";\n}')
        for name in m.globals:
            c.add(f"\nvoid {cls}::SetValues_{name}() {{ std::copy(k_{name}, k_{name} + kExps, {name}Values); }}")
        self.put(c)

    # -- atomic models

    # A fragment runs in a function whose block scope declares the model's
    # names it uses: each place a reference to its marking, each array a
    # reference to the array, each global variable a using-declaration. Block
    # scope hides every name of the generated classes, the framework and the
    # libraries, so a model may call its places and globals what it likes.
    # A constant is bound to its value; a formula's name is replaced by the
    # call of its function with the places it reads.

    def global_bindings(self, text: str) -> list[str]:
        return [f"using ::{GLOBALS_NS}::{g};" for g in names_used(text, self.m.globals)] + \
            [f"const auto {c} = ::{GLOBALS_NS}::{c}();" for c in names_used(text, self.m.constants)]

    def with_formulas(self, atomic: Atomic, frag: Fragment) -> Fragment:
        def call(name, *_):
            if name not in self.m.formulas:
                return None
            return f"::{atomic.cls}::{formula_function(name)}({', '.join(self.m.formula_places(atomic, name))})"

        return Fragment(substitute(frag.text, call), frag.line, frag.column)

    def activity_bindings(self, atomic: Atomic, act: Activity, text: str) -> list[str]:
        out = []
        for sv in names_used(text, atomic.svnames):
            k = act.uses.index(sv)
            if sv in atomic.places:
                out.append(f"short& {sv} = *this->Mark{k};")
            else:
                out.append(f"::{self.array_cls(atomic, sv)}& {sv} = *this->Array{k};")
        return out + self.global_bindings(text)

    def with_constants(self, text: str) -> str:
        """A constant's name stands for its value: the call of its function."""
        return substitute(text, lambda name, *_: f"{name}()" if name in self.m.constants else None)

    def emit_formulas(self, h: Unit, a: Atomic):
        """The formulas the atomic model uses: static member functions over the
        markings of the places they read (arrays by reference), in file order,
        so that each is defined before a later one calls it."""
        used = [name for name in self.m.formulas if name in a.formulas_used]
        if not used:
            return
        h.add("  // Formulas of the model file, over the markings they read.")
        for name in used:
            params = ", ".join(f"short {sv}" if sv in a.places else f"::{self.array_cls(a, sv)}& {sv}"
                               for sv in self.m.formula_places(a, name))
            frag = self.m.formulas[name]
            h.add(f"  static auto {formula_function(name)}({params}) {{")
            h.fragment("return (", self.with_formulas(a, frag), ");", "    ", bindings=self.global_bindings(frag.text))
            h.add("  }")
        h.add("")

    def array_cls(self, atomic: Atomic, name: str) -> str:
        return f"{atomic.cls}_{name}Array"

    def emit_atomic(self, a: Atomic):
        guard = a.cls.upper() + "_H"
        h = self.unit(f"{a.cls}.h")
        h.add(self.banner)
        h.add(f"#ifndef {guard}\n#define {guard}\n")
        h.add("#include <memory>")
        if a.arrays:
            h.add("#include <vector>")
        h.add('\n#include "Activity.h"')
        if a.arrays:
            h.add('#include "BaseStructStateVariable.h"')
        h.add('#include "Place.h"\n#include "PostselectGroup.h"\n#include "SANModel.h"')
        # Formulas are defined in this header: those over globals or constants
        # need their declarations here.
        if any(self.global_bindings(self.m.formulas[f].text) for f in self.m.formulas if f in a.formulas_used):
            h.add(f'#include "{self.study_h}"')
        h.add("")
        for name, (size, _init) in a.arrays.items():
            acls = self.array_cls(a, name)
            h.add(f"// Array of {size} places; element i is the place named \"i\".")
            h.add(f"class {acls} : public BaseStructStateVariable {{\n public:")
            h.add(f"  static constexpr int Size = {size};")
            h.add(f"  {acls}(const char* name, short initialMarking);")
            h.add(f"  ~{acls}() override;")
            h.add("  // The marking of element i (checked index).")
            h.add("  short& operator[](int i);")
            h.add("  Place* element(int i);\n")
            h.add(" private:\n  std::vector<std::unique_ptr<Place>> elements_;\n};\n")
        h.add(f"// Atomic model \"{a.name}\".")
        h.add("//\n// State variables: " + ", ".join(f"{i} {n}" for i, n in enumerate(a.svnames)))
        h.add("// Activities:      " + ", ".join(f"{i} {act.name}" for i, act in enumerate(a.activities)))
        h.add("// Groups:          " + ", ".join(f"{i} {g['name']}" for i, g in enumerate(a.groups)))
        h.add(f"class {a.cls} : public SANModel {{\n public:")
        for act in a.activities:
            h.add(f"  // {act.name}: {act.kind}.")
            h.add(f"  class {act.cls} : public Activity {{\n   public:")
            # The places its expressions use, by index into its own list: the
            # model's names never become members of the activity's class.
            for k, sv in enumerate(act.uses):
                if sv in a.places:
                    h.add(f"    ::Place* Place{k} = nullptr;  // {sv}\n    short* Mark{k} = nullptr;")
                else:
                    h.add(f"    ::{self.array_cls(a, sv)}* Array{k} = nullptr;  // {sv}")
            if act.kind != "instantaneous":
                h.add("    std::unique_ptr<double[]> Parameters;")
            h.add(f"\n    {act.cls}();\n    ~{act.cls}() override;")
            for decl in ("bool Enabled()", "double Weight()", "double Rate()", "bool ReactivationPredicate()",
                         "bool ReactivationFunction()", "double SampleDistribution()",
                         "double* ReturnDistributionParameters()", "void Fire()", "int Rank()",
                         "void LinkVariables()"):
                h.add(f"    {decl} override;")
            if act.kind == "deterministic":
                h.add("    double DeterministicParamValue();")
            if act.kind == "erlang":
                h.add("    double ErlangParamM() override;")
            h.add("  };\n")
        self.emit_formulas(h, a)
        h.add("  // State variables (owned; created by the constructor, released by the destructor).")
        for name in a.places:
            h.add(f"  ::Place* {name} = nullptr;")
        for name in a.arrays:
            h.add(f"  ::{self.array_cls(a, name)}* {name} = nullptr;")
        h.add("\n  // Activities, in activity order.")
        for act in a.activities:
            h.add(f"  {act.cls} {act.name};")
        case_groups = [g for g in a.groups if g["cases"]]
        if case_groups:
            h.add("\n  // Case groups.")
            for g in case_groups:
                h.add(f"  ::PostselectGroup {g['name']};")
        h.add(f"\n  {a.cls}();\n  ~{a.cls}() override;\n")
        h.add("  void CustomInitialization();\n  void assignPlacesToActivitiesInst();")
        h.add("  void assignPlacesToActivitiesTimed();\n};\n\n#endif")
        self.put(h)

        c = self.unit(f"{a.cls}.cpp")
        c.add(self.banner)
        c.add(f'#include "{a.cls}.h"\n')
        c.add('#include <string>\n\n#include "Distributions.h"')
        if any(act.kind == "erlang" for act in a.activities) or a.arrays:
            c.add('#include "GenError.h"')
        if a.bounds:
            c.add('#include "ModelFault.h"')
        inits = list(a.places.values()) + [init for _size, init in a.arrays.values()]
        if any(self.m.globals.get(init) in ("int", "long") for init in inits) or \
                any(act.kind == "erlang" for act in a.activities):
            c.add('#include "ModelValueChecks.h"')
        c.add(f'#include "{self.study_h}"\n')
        c.add("// Markings are 16-bit: a change computed in int is converted back, which")
        c.add("// wraps modulo 2^16.")
        for name, (size, _init) in a.arrays.items():
            acls = self.array_cls(a, name)
            c.add(f"\n{acls}::{acls}(const char* name, short initialMarking) : BaseStructStateVariable(name, \"\") {{")
            c.add("  elements_.reserve(Size);\n  for (int i = 0; i < Size; i++) {")
            c.add("    elements_.push_back(std::make_unique<Place>(std::to_string(i).c_str(), initialMarking));")
            c.add("    fields.push_back(BaseStructStateVariable::field(ARRAY_SHORT, elements_.back().get()));\n  }\n}")
            c.add(f"{acls}::~{acls}() = default;")
            c.add(f"short& {acls}::operator[](int i) {{ return *element(i)->Mark; }}")
            c.add(f"Place* {acls}::element(int i) {{")
            c.add("  if (i < 0 || i >= Size)")
            c.add(f'    throw GenError("{a.name}: index " + std::to_string(i) + " outside array {name}[{size}]");')
            c.add("  return elements_[static_cast<std::size_t>(i)].get();\n}")
        for act in a.activities:
            self.emit_activity(c, a, act)
        self.emit_atomic_model(c, a)
        self.put(c)

    def emit_activity(self, c: Unit, a: Atomic, act: Activity):
        q = f"{a.cls}::{act.cls}"
        c.add("\n// " + "-" * 75 + f"\n// {act.name} ({act.kind})\n")
        params = {"instantaneous": "", "erlang": " : Parameters(new double[2])"}.get(act.kind, " : Parameters(new double[1])")
        c.add(f"{q}::{act.cls}(){params} {{")
        c.add(f'  ActivityInitialize("{act.name}", {act.group_id}, ::{DIST_CODE[act.kind]}, ::POLICY_DEFAULT, '
              f'{len(act.affects)}, {len(act.enables)}, {"true" if act.reactivation else "false"});\n}}')
        c.add(f"{q}::~{act.cls}() = default;\n")
        def fragment(before, frag, after):
            frag = self.with_formulas(a, frag)
            c.fragment(before, frag, after, bindings=self.activity_bindings(a, act, frag.text))

        c.add(f"bool {q}::Enabled() {{\n  this->PreviousEnabledFlag = this->EnabledFlag;")
        fragment("this->EnabledFlag = (", act.enabled, ");")
        c.add("  return this->EnabledFlag;\n}")
        c.add(f"double {q}::Weight() {{")
        fragment("return (", act.weight, ");")
        c.add("}")
        c.add(f"double {q}::Rate() {{")
        if act.kind in ("exponential", "erlang"):
            fragment("return (", act.rate, ");")
        else:
            c.add("  return 0;")
        c.add("}")
        c.add(f"bool {q}::ReactivationPredicate() {{")
        fragment("return (", act.reactivation_predicate, ");")
        c.add(f"}}\nbool {q}::ReactivationFunction() {{")
        fragment("return (", act.reactivation_function, ");")
        c.add("}")
        c.add(f"double {q}::SampleDistribution() {{")
        if act.kind == "exponential":
            c.add("  return ::TheDistribution->Exponential(Rate());")
        elif act.kind == "deterministic":
            fragment("return (", act.delay, ");")
        elif act.kind == "erlang":
            c.add("  return ::TheDistribution->Erlang(ErlangParamM(), ErlangParamM() / Rate());")
        else:
            c.add("  return 0;")
        c.add("}")
        c.add(f"double* {q}::ReturnDistributionParameters() {{")
        if act.kind == "exponential":
            c.add("  Parameters[0] = Rate();\n  return Parameters.get();")
        elif act.kind == "deterministic":
            c.add("  Parameters[0] = DeterministicParamValue();\n  return Parameters.get();")
        elif act.kind == "erlang":
            c.add("  Parameters[0] = ErlangParamM();\n  Parameters[1] = Rate();\n  return Parameters.get();")
        else:
            c.add("  return nullptr;")
        c.add("}")
        c.add(f"void {q}::Fire() {{")
        if act.effect.text.strip():
            fragment("", act.effect, "")
        self.emit_bounds_checks(c, a, act)
        c.add("}")
        c.add(f"int {q}::Rank() {{ return {act.rank if act.kind == 'instantaneous' else 1}; }}")
        c.add(f"void {q}::LinkVariables() {{")
        for k, sv in enumerate(act.uses):
            if sv in a.places:
                c.add(f"  Place{k}->registerAlias(&Mark{k});")
        c.add("}")
        if act.kind == "deterministic":
            c.add(f"double {q}::DeterministicParamValue() {{")
            fragment("return (", act.delay, ");")
            c.add("}")
        if act.kind == "erlang":
            c.add(f"double {q}::ErlangParamM() {{")
            fragment("return ::genCheckedPhases((", act.phases, f'), "{a.name}.{act.name}");')
            c.add("}")

    def emit_bounds_checks(self, c: Unit, a: Atomic, act: Activity):
        """After the effect: every bounded place the firing may change is
        still within its bounds, or the firing is a fault of the model."""
        label = f"activity '{act.base}'"
        if act.group["cases"]:
            label += f" (case {act.group['members'].index(act) + 1})"
        label += f" of atomic model '{a.name}'"
        for sv in act.checked:
            low, high = a.bounds[sv]
            lo, hi = self.bound_cpp(low, "::kNoLowerBound"), self.bound_cpp(high, "::kNoUpperBound")
            tests = " || ".join(t for t in (low is not None and f"v < {lo}", high is not None and f"v > {hi}") if t)
            k = act.uses.index(sv)
            if sv in a.places:
                c.add(f"  if (const int v = *this->Mark{k}; {tests})")
                c.add(f'    ::markingOutOfBounds("{label}", "{sv}", v, {lo}, {hi});')
            else:
                c.add(f"  for (int i = 0; i < ::{self.array_cls(a, sv)}::Size; i++)")
                c.add(f"    if (const int v = (*this->Array{k})[i]; {tests})")
                c.add(f'      ::markingOutOfBounds("{label}", "{sv}[" + std::to_string(i) + "]", v, {lo}, {hi});')

    def bound_cpp(self, bound: str | None, none: str) -> str:
        """A bound in C++: an integer, a global variable or a constant."""
        if bound is None:
            return none
        if bound in self.m.globals:
            return f"::{GLOBALS_NS}::{bound}"
        if bound in self.m.constants:
            return f"::{GLOBALS_NS}::{bound}()"
        return bound

    def emit_atomic_model(self, c: Unit, a: Atomic):
        # The model's names are members of this class beside the framework's:
        # the generated code reaches the former through this-> and the latter
        # qualified, so that neither hides the other.
        c.add("\n// " + "-" * 75 + "\n// The model\n")
        c.add(f"{a.cls}::{a.cls}() {{")
        case_groups = [g for g in a.groups if g["cases"]]
        if case_groups:
            c.add("  // Case groups, case 1 first.")
        for g in case_groups:
            c.add(f'  this->{g["name"]}.initialize({len(g["members"])}, "{g["name"]}");')
            for act in g["members"]:
                c.add(f"  this->{g['name']}.appendGroup(&this->{act.name});")
        c.add("\n  // State variables, with their initial markings (global variables as they stand now).")
        for name, init in a.places.items():
            c.add(f'  this->{name} = new ::Place("{name}", {self.initial_marking(a, name, init)});')
        for name, (_size, init) in a.arrays.items():
            c.add(f'  this->{name} = new ::{self.array_cls(a, name)}("{name}", {self.initial_marking(a, name, init)});')
        for name, (low, high) in a.bounds.items():
            init = a.places[name] if name in a.places else a.arrays[name][1]
            if all(x is None or x.lstrip("-").isdigit() for x in (init, low, high)):
                continue  # the compiler has checked it
            mark = f"*this->{name}->Mark" if name in a.places else f"(*this->{name})[0]"
            c.add(f'  ::checkInitialMarking("atomic model \'{a.name}\'", "{name}", {mark}, '
                  f'{self.bound_cpp(low, "::kNoLowerBound")}, {self.bound_cpp(high, "::kNoUpperBound")});')
        c.add(f"\n  ::BaseStateVariableClass* places[] = {{{', '.join('this->' + n for n in a.svnames)}}};")
        c.add(f"  ::Activity* activities[] = {{{', '.join('&this->' + x.name for x in a.activities)}}};")
        groups = ", ".join("&this->" + (g["name"] if g["cases"] else g["members"][0].name) for g in a.groups)
        c.add(f"  ::BaseGroupClass* groups[] = {{{groups}}};")
        c.add(f'  SANModel::initializeSANModelNow("{a.name}", {len(a.svnames)}, places, 0, nullptr, {len(a.activities)}, '
              f"activities, {len(a.groups)}, groups);\n")
        c.add(f"  {a.cls}::assignPlacesToActivitiesInst();\n  {a.cls}::assignPlacesToActivitiesTimed();\n")
        c.add("  // Arcs, in registration order.")
        for act in a.activities:
            for sv in act.affects:
                c.add(f"  SANModel::AddAffectArc(this->{sv}, &this->{act.name});")
        for act in a.activities:
            for sv in act.enables:
                c.add(f"  SANModel::AddEnableArc(this->{sv}, &this->{act.name});")
        c.add("\n  for (::Activity* activity : activities) activity->LinkVariables();\n}\n")
        c.add(f"{a.cls}::~{a.cls}() {{\n  for (int i = 0; i < {len(a.svnames)}; i++) delete SANModel::Places[i];\n}}\n")
        c.add(f"void {a.cls}::CustomInitialization() {{}}\n")
        for which, pick in (("Inst", lambda x: x.kind == "instantaneous"), ("Timed", lambda x: x.kind != "instantaneous")):
            acts = [x for x in a.activities if pick(x) and x.uses]
            c.add(f"// Sets the place pointers of the {'instantaneous' if which == 'Inst' else 'timed'} "
                  "activities from the Places array.")
            c.add(f"void {a.cls}::assignPlacesToActivities{which}() {{")
            for x in acts:
                for k, sv in enumerate(x.uses):
                    idx = a.svnames.index(sv)
                    if sv in a.places:
                        c.add(f"  this->{x.name}.Place{k} = static_cast<::Place*>(SANModel::Places[{idx}]);")
                    else:
                        t = self.array_cls(a, sv)
                        c.add(f"  this->{x.name}.Array{k} = static_cast<::{t}*>(SANModel::Places[{idx}]);")
            c.add("}\n")

    def initial_marking(self, a: Atomic, name: str, init: str) -> str:
        """The C++ of an initial marking: a literal, or a global variable as it
        stands, checked against the 16 bits of a marking when its type is wider."""
        if init in self.m.constants:
            return f"static_cast<short>(::{GLOBALS_NS}::{init}())"
        if init not in self.m.globals:
            return f"static_cast<short>({init})"
        g = f"::{GLOBALS_NS}::{init}"
        if self.m.globals[init] in ("char", "short"):
            return f"static_cast<short>({g})"
        where = cpp_string(f"{a.name}: the initial marking of {name}")
        return f'::genCheckedMarking({g}, "{init}", "{where}")'

    # -- composed models

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

    # -- reward model

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
            if r["aggregates"]:
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
        if any(r["aggregates"] for r in m.rewards):
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
            if r["aggregates"]:
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
            if r["aggregates"]:
                c.add("  EvaluateOverWholeModel();")
            for k, imp in enumerate(r["impulses"]):
                c.add(f'  AddImpulse("{imp["activity"].name}", "{imp["submodel"]}", &impulse{k});')
            c.add("}\n")
            c.add("// Workers are created here, so they are deleted here; the base releases the")
            c.add("// Workers array and everything else.")
            c.add(f"{node}::~{node}() {{")
            c.add("  for (int i = 0; i < NumWorkers; i++) {\n    delete Workers[i];\n    Workers[i] = nullptr;\n  }\n}\n")
            c.add(f"void {node}::CreateWorkerList() {{")
            if r["aggregates"]:
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
        if r["kind"] == "instant":
            return f"{what} at " + ", ".join(cpp_double(t) for t in r["starts"])
        if r["kind"] == "steady_state":
            return what
        return f"{what} over " + ", ".join(f"[{cpp_double(a)}, {cpp_double(b)}]" for a, b in zip(r["starts"], r["stops"]))

    def emit_factory(self):
        m = self.m
        c = self.unit(f"{m.name}_Factory.cpp")
        c.add(self.banner)
        c.add("#include <iterator>\n#include <memory>\n\n#include \"ModelFactory.h\"")
        c.add(f'#include "{m.name}_rewardPVModel.h"\n#include "{self.study_h}"\n')
        c.add("namespace {\n")
        c.add(f"class {m.name}_Factory final : public ModelFactory {{\n public:")
        c.add(f'  std::string_view name() const override {{ return "{m.name}"; }}')
        c.add(f"  int numberOfExperiments() const override {{ return {m.name}_studyRangeStudy::NumberOfExperiments; }}")
        names = ", ".join(f'"{cpp_string(e)}"' for e, _ in m.experiments)
        c.add("  std::string_view experimentName(int experiment) const override {")
        c.add(f"    static constexpr std::string_view kNames[] = {{{names}}};")
        c.add("    return experiment >= 0 && experiment < static_cast<int>(std::size(kNames)) ? kNames[experiment] : \"\";")
        c.add("  }")
        c.add("  std::unique_ptr<BaseStudyClass> makeStudy() const override {")
        c.add(f"    return std::make_unique<{m.name}_studyRangeStudy>();\n  }}")
        c.add("  std::unique_ptr<PVModel> makeRewardModel(bool expandTimePoints) const override {")
        c.add(f"    return std::make_unique<{m.name}_rewardPVModel>(expandTimePoints);\n  }}\n}};\n")
        c.add("}  // namespace\n")
        c.add(f"std::unique_ptr<ModelFactory> makeModelFactory() {{ return std::make_unique<{m.name}_Factory>(); }}")
        self.put(c)


# ---------------------------------------------------------------------------


def compile_model(path: str, outdir: str = ".", source_name: str | None = None,
                  warnings: list | None = None) -> tuple[str, dict[str, str]]:
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError as e:
        raise ModelError(None, "", f"cannot read the model file: {e.strerror}")
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        raise ModelError(None, "", "the model file is not UTF-8 text")
    too_deep = scan_toml(text)[2]
    if too_deep is not None:
        raise ModelError(too_deep, "", f"arrays and inline tables nest more than {MAX_DEPTH} deep here; "
                         f"at most {MAX_DEPTH} levels are read")
    try:
        data = tomllib.loads(text)
    except RecursionError:
        raise ModelError(None, "", f"the model file nests deeper than can be read (at most {MAX_DEPTH} levels)")
    except tomllib.TOMLDecodeError as e:
        m = re.search(r"\(at line (\d+), column (\d+)\)", str(e))
        message = re.sub(r"\s*\(at line \d+, column \d+\)", "", str(e))
        raise ModelError(int(m.group(1)) if m else None, "", f"TOML syntax error: {message}")
    model = Checker(path, text, data).check()
    units = Emitter(model, source_name or path, outdir).emit()
    if warnings is not None:
        warnings.extend(model.warnings)
    return model.name, units


def write_units(outdir: str, files: dict[str, str]):
    """Writes every changed file to a new temporary in `outdir` (random name,
    created exclusively, never through a link) and renames them into place
    only once all are written; a failure removes the temporaries and leaves
    the earlier units as they were."""
    mask = os.umask(0o022)
    os.umask(mask)
    pending = []
    try:
        for name, text in files.items():
            path = os.path.join(outdir, name)
            try:
                with open(path, encoding="utf-8") as f:
                    if f.read() == text:
                        continue
            except (OSError, UnicodeDecodeError):
                pass
            fd, tmp = tempfile.mkstemp(prefix=".modelc-", suffix=".tmp", dir=outdir)
            pending.append((tmp, path))
            os.fchmod(fd, 0o666 & ~mask)
            with os.fdopen(fd, "w", encoding="utf-8") as f:
                f.write(text)
        # The manifest goes last: it names the units of a complete compile.
        for tmp, path in pending:
            os.replace(tmp, path)
        pending = []
    finally:
        for tmp, _path in pending:
            try:
                os.unlink(tmp)
            except OSError:
                pass


def main(argv: list[str]) -> int:
    args = argv[1:]
    options = {"--source-name": None, "--line-dir": None}
    while len(args) > 2 and args[-2] in options:
        options[args[-2]] = args[-1]
        args = args[:-2]
    if len(args) != 2:
        print("usage: modelc.py MODEL.toml OUTDIR [--source-name NAME] [--line-dir DIR]", file=sys.stderr)
        return 2
    path, outdir = args
    check_only = path == "--check"
    if check_only:
        path, outdir = outdir, "."
    def report(e: ModelError):
        where = path + (f":{e.line}" if e.line else "")
        field = f" {e.field}:" if e.field else ""
        print(f"{where}:{field} {e.message}", file=sys.stderr)

    warnings: list[ModelError] = []
    try:
        name, units = compile_model(path, options["--line-dir"] or outdir, options["--source-name"], warnings)
    except ModelError as e:
        report(e)
        return 1
    for w in warnings:
        report(w)
    if check_only:
        return 0
    try:
        os.makedirs(outdir, exist_ok=True)
        manifest = os.path.join(outdir, "manifest.txt")
        old = []
        if os.path.exists(manifest):
            with open(manifest, encoding="utf-8") as f:
                old = f.read().split("\n")[1:]
        files = dict(units)
        files["manifest.txt"] = "\n".join([name] + sorted(units)) + "\n"
        write_units(outdir, files)
        for stale in old:
            if stale and stale not in units and os.path.basename(stale) == stale:
                try:
                    os.unlink(os.path.join(outdir, stale))
                except FileNotFoundError:
                    pass
    except OSError as e:
        print(f"{path}: cannot write the generated units into {outdir}: {e}", file=sys.stderr)
        return 1
    return 0
