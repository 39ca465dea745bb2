"""The factory unit: what `gen` knows of the model it is built with."""

from __future__ import annotations

from .unit import cpp_string


class FactoryUnit:
    """Part of Emitter: the model's factory."""

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
