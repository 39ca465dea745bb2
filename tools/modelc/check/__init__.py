"""The model, checked: a Checker reads the parsed model file and either fails
with a ModelError that names the field and its line, or holds everything the
emitters need."""

from __future__ import annotations

from ..model import NAME_MAX
from .atomic import AtomicChecks
from .base import FieldChecks
from .composition import CompositionChecks
from .rewards import RewardChecks
from .study import StudyChecks


class Checker(StudyChecks, AtomicChecks, CompositionChecks, RewardChecks, FieldChecks):
    """The whole model file: the study, the atomic models, the composition and
    the rewards, in that order, each part using what the parts before it
    found."""

    def check(self):
        d = self.data
        self.unknown_keys(d, (), ("name", "globals", "experiments", "constants", "formulas", "atomic", "join",
                                  "rep", "reward"))
        self.name = self.ident(self.get(d, (), "name", str), ("name",), "model name")
        self.taken = {}  # C++-level names that must stay distinct: name -> what
        self.check_globals()
        self.check_experiments()
        self.check_constants()
        self.check_formulas()
        # Every place name of every atomic model: a formula naming one that
        # the model using it lacks is refused.
        self.all_places = set()
        for a in d.get("atomic", []) if isinstance(d.get("atomic"), list) else []:
            for key in ("places", "arrays"):
                if isinstance(a, dict) and isinstance(a.get(key), dict):
                    self.all_places.update(a[key])
        self.atomics = {}
        for i, a in enumerate(self.get(d, (), "atomic", list)):
            atomic = self.check_atomic(a, ("atomic", i))
            if atomic.name in self.atomics:
                self.fail(("atomic", i, "name"), f"duplicate name '{atomic.name}': another atomic model has it")
            self.atomics[atomic.name] = atomic
        self.check_kinds()
        self.check_composition()
        self.check_rewards()
        self.check_file_names()
        return self

    def check_file_names(self):
        # Found here rather than by the file system half-way through writing.
        units = [(("name",), f"{self.name}_{role}.cpp")
                 for role in ("studyRangeStudy", "rewardPVModel", "rewardPVNodes", "Factory")]
        units += [(a.path + ("name",), f"{a.cls}.cpp") for a in self.atomics.values()]
        units += [(n.path + ("name",), f"{n.cls}.cpp") for n in self.nodes.values()]
        for path, unit in units:
            if len(unit.encode()) > NAME_MAX:
                self.fail(path, f"the generated unit {unit[:40]}... would have a {len(unit.encode())}-byte file name, "
                          f"more than the {NAME_MAX} a file system takes; shorten the name (of the model, or of "
                          "the joins and reps above it)")
