"""The atomic models' units: each model's class, its activities' classes,
its arrays and its formulas."""

from __future__ import annotations

from ..cpp import names_used, substitute
from ..model import Activity, Atomic, Fragment
from ..names import GLOBALS_NS, formula_function
from .unit import Unit, cpp_string


DIST_CODE = {
    "exponential": "DIST_EXPONENTIAL",
    "deterministic": "DIST_DETERMINISTIC",
    "instantaneous": "DIST_INSTANTANEOUS",
    "erlang": "DIST_ERLANG",
}


class AtomicUnits:
    """Part of Emitter: one header and one unit per atomic model."""

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
