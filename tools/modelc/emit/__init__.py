"""Output: the units of a checked model, as file name -> text."""

from __future__ import annotations

from .atomic import AtomicUnits
from .base import UnitWriter
from .composition import CompositionUnits
from .factory import FactoryUnit
from .rewards import RewardUnits
from .study import StudyUnits


class Emitter(StudyUnits, AtomicUnits, CompositionUnits, RewardUnits, FactoryUnit, UnitWriter):
    """Every unit of the model: the study, each atomic model, each join and rep
    from the leaves up, the reward model and the factory."""

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
