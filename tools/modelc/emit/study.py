"""The study's units: the global variables, the constants and the experiment
table."""

from __future__ import annotations

import re

from ..cpp import substitute
from ..model import Fragment
from ..names import GLOBALS_NS


class StudyUnits:
    """Part of Emitter: the range study."""

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

    def with_constants(self, text: str) -> str:
        """A constant's name stands for its value: the call of its function."""
        return substitute(text, lambda name, *_: f"{name}()" if name in self.m.constants else None)
